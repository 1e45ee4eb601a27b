// A full disk for chosen files, preloaded into a program under test (LD_PRELOAD): every write
// to a file whose path holds one of the texts in VELKOR_FULL_DISK (separated by ':') fails
// with ENOSPC, as it does on a disk that has no block left, and so does syncing it. Files of
// no name (O_TMPFILE) are refused with EOPNOTSUPP, as on a file system without them, so that
// a program falls back to a named temporary file beside its target and the name decides.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static int full(int fd) {
    const char* names = getenv("VELKOR_FULL_DISK");
    if (!names || !*names) return 0;
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = '\0';
    const char* from = names;
    while (*from) {
        const char* end = strchr(from, ':');
        const size_t len = end ? (size_t)(end - from) : strlen(from);
        if (len > 0 && memmem(path, (size_t)n, from, len)) return 1;
        if (!end) break;
        from = end + 1;
    }
    return 0;
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

ssize_t write(int fd, const void* buf, size_t count) {
    if (full(fd)) { errno = ENOSPC; return -1; }
    return NEXT(write)(fd, buf, count);
}
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
    if (full(fd)) { errno = ENOSPC; return -1; }
    return NEXT(pwrite)(fd, buf, count, offset);
}
ssize_t pwrite64(int fd, const void* buf, size_t count, off64_t offset) {
    if (full(fd)) { errno = ENOSPC; return -1; }
    return NEXT(pwrite64)(fd, buf, count, offset);
}
ssize_t writev(int fd, const struct iovec* iov, int n) {
    if (full(fd)) { errno = ENOSPC; return -1; }
    return NEXT(writev)(fd, iov, n);
}
int fsync(int fd) {
    if (full(fd)) { errno = ENOSPC; return -1; }
    return NEXT(fsync)(fd);
}
int fdatasync(int fd) {
    if (full(fd)) { errno = ENOSPC; return -1; }
    return NEXT(fdatasync)(fd);
}

static mode_t modeOf(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

#define OPEN(name, ...)                                                      \
    mode_t mode;                                                             \
    va_list ap;                                                              \
    va_start(ap, flags);                                                     \
    mode = modeOf(flags, ap);                                                \
    va_end(ap);                                                              \
    if ((flags & O_TMPFILE) == O_TMPFILE && getenv("VELKOR_FULL_DISK")) {   \
        errno = EOPNOTSUPP;                                                  \
        return -1;                                                           \
    }                                                                        \
    return NEXT(name)(__VA_ARGS__, flags, mode)

int open(const char* path, int flags, ...) { OPEN(open, path); }
int open64(const char* path, int flags, ...) { OPEN(open64, path); }
int openat(int dir, const char* path, int flags, ...) { OPEN(openat, dir, path); }
int openat64(int dir, const char* path, int flags, ...) { OPEN(openat64, dir, path); }
