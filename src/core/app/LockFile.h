#pragma once
#include <QString>

// A lock file that one process at a time holds, for as long as the object lives. The lock is
// the kernel's (flock) on the file: it ends with the process that holds it, however that
// process ends, so whatever a file of that name holds (nothing, a killed run's number, any
// text) it is taken as soon as no live process holds it; a symbolic link of that name is
// replaced by a file. A folder, a FIFO or a file that cannot be opened is no lock file and
// cannot be taken: the lock fails at once, naming it. The holder writes its process id into
// the file for the message of a process that waits, and removes the file when it lets go.
class LockFile {
public:
    enum class Result { Taken, Busy, Failed };

    explicit LockFile(QString path) : path_(std::move(path)) {}
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Takes the lock without waiting: Busy while a live process holds it.
    Result tryLock() { return take(false); }
    // Waits until the process that holds the lock has ended, then takes it.
    Result lock() { return take(true); }

    const QString& path() const { return path_; }
    // The process id the holder wrote into the file; 0 when it wrote none.
    qint64 holder() const;
    // Why the lock was not taken (Failed): the file and the system's reason.
    const QString& error() const { return error_; }

private:
    Result take(bool wait);
    Result failed(const QString& why);

    QString path_;
    int fd_ = -1;
    QString error_;
};
