/* A full disk for the velkor-quotes tests, preloaded into the program (LD_PRELOAD): the files
 * in the folder VELKOR_FULL_DISK_DIR share VELKOR_FULL_DISK_ROOM bytes (0 if unset); a write
 * past them fails with ENOSPC, one across them is cut short, as on a disk that fills up. With
 * VELKOR_FULL_DISK_AT=sync every write goes through and fsync or fdatasync of a file there
 * fails instead, as when the file system learns of the full disk only then. A file is told by
 * its path, so also a file made unnamed in the folder (O_TMPFILE) counts. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static int watched(int fd) {
    const char* dir = getenv("VELKOR_FULL_DISK_DIR");
    if (!dir || !*dir) return 0;
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = 0;
    const size_t length = strlen(dir);
    return strncmp(path, dir, length) == 0 && path[length] == '/';
}

static int failsAtSync(void) {
    const char* at = getenv("VELKOR_FULL_DISK_AT");
    return at && strcmp(at, "sync") == 0;
}

ssize_t write(int fd, const void* buf, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    static long long used;
    if (count > 0 && !failsAtSync() && watched(fd)) {
        const char* room = getenv("VELKOR_FULL_DISK_ROOM");
        const long long left = (room ? atoll(room) : 0) - used;
        if (left <= 0) {
            errno = ENOSPC;
            return -1;
        }
        if ((unsigned long long)left < count) count = (size_t)left;
        const ssize_t written = real(fd, buf, count);
        if (written > 0) used += written;
        return written;
    }
    return real(fd, buf, count);
}

static int failedSync(int fd, int (*real)(int)) {
    if (failsAtSync() && watched(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd);
}

int fsync(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return failedSync(fd, real);
}

int fdatasync(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    return failedSync(fd, real);
}
