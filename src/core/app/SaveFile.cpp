#include "app/SaveFile.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "app/Texts.h"
#include "app/VelkorError.h"

namespace savefile {

namespace {
// Qt's account of a failure where it has one, else the system's (errno), never "Unknown error".
[[noreturn]] void fail(QSaveFile& f, int err) {
    const QString why = f.error() != QFileDevice::NoError || err == 0 ? f.errorString()
                                                                      : QString::fromLocal8Bit(std::strerror(err));
    const QString path = f.fileName();
    f.cancelWriting();
    throw VelkorError(texts::fileWriteError(path, why));
}

void open(QSaveFile& f) {
    errno = 0;
    if (!f.open(QIODevice::WriteOnly)) fail(f, errno);
}
}  // namespace

void commit(QSaveFile& f) {
    // QSaveFile::commit() renames the file also when writing out its last buffered bytes
    // fails (a full disk), and it ignores a failed sync: both are checked before it.
    errno = 0;
    if (f.error() != QFileDevice::NoError || !f.flush()) fail(f, errno);
    if (::fdatasync(f.handle()) != 0) fail(f, errno);
    if (!f.commit()) fail(f, errno);
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    open(f);
    errno = 0;
    if (f.write(bytes) != bytes.size()) fail(f, errno);
    commit(f);
}

void writeImage(const QString& path, const QImage& image, const char* format) {
    QSaveFile f(path);
    open(f);
    QImageWriter writer(&f, format);
    errno = 0;
    if (!writer.write(image)) {
        const int err = errno;
        if (f.error() == QFileDevice::NoError && err == 0)
            throw VelkorError(texts::fileWriteError(path, writer.errorString()));
        fail(f, err);
    }
    commit(f);
}

}  // namespace savefile
