#include "app/LockFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Texts.h"

namespace {
QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
}  // namespace

LockFile::~LockFile() {
    if (fd_ < 0) return;
    // Removed while still held: a process waiting on this file finds it gone once it has the
    // lock, and takes the lock again on the file of that name.
    ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
}

LockFile::Result LockFile::failed(const QString& why) {
    error_ = texts::lockFileError(path_, why);
    return Result::Failed;
}

LockFile::Result LockFile::take(bool wait) {
    if (fd_ >= 0) return Result::Taken;
    const QByteArray name = QFile::encodeName(path_);
    // Each round ends with the lock taken, or starts again when the file was removed or
    // replaced by its holder while this process waited for it.
    for (int round = 0; round < 1000; ++round) {
        bool writable = true;
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0 && errno == ELOOP) {  // a symbolic link: nothing of a holder's
            if (::unlink(name.constData()) != 0) return failed(systemReason(errno));
            continue;
        }
        const int refused = fd < 0 ? errno : 0;
        if (refused == EACCES || refused == EPERM) {  // a lock file this user may only read
            writable = false;
            fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd < 0) return failed(systemReason(refused));
        struct stat opened{};
        if (::fstat(fd, &opened) != 0) {
            const int err = errno;
            ::close(fd);
            return failed(systemReason(err));
        }
        if (!S_ISREG(opened.st_mode)) {  // a FIFO, a device, a socket
            ::close(fd);
            return failed(QStringLiteral("not a regular file"));
        }
        int rc;
        while ((rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {}
        if (rc != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) return Result::Busy;
            return failed(systemReason(err));
        }
        struct stat now{};
        if (::stat(name.constData(), &now) != 0 || !sameFile(now, opened)) {
            ::close(fd);
            continue;
        }
        if (writable) {
            const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
            errno = 0;
            if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) != pid.size()) {
                const int err = errno;
                ::unlink(name.constData());  // held still: no other process relies on this file
                ::close(fd);
                return failed(systemReason(err ? err : ENOSPC));
            }
        }
        fd_ = fd;
        return Result::Taken;
    }
    return failed(QStringLiteral("replaced again and again while waiting"));
}

qint64 LockFile::holder() const {
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    bool ok = false;
    const qint64 pid = QByteArray(text, n > 0 ? qsizetype(n) : 0).split('\n').first().trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}
