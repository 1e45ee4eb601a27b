#pragma once
#include <QByteArray>
#include <QString>

class QImage;
class QSaveFile;

// Files the program writes whole (QSaveFile): the old file stays as it was until the new one
// is complete and on the disk, and a write that fails anywhere (also in the last bytes, which
// Qt holds back until the end) throws VelkorError naming the file and the system's reason,
// leaving nothing beside the file.
namespace savefile {

// Ends a write of `f`, opened by the caller: writes out what Qt still holds, syncs the file to
// the disk and puts it in place of the old one.
void commit(QSaveFile& f);
void writeBytes(const QString& path, const QByteArray& bytes);
// The image in `format` ("png").
void writeImage(const QString& path, const QImage& image, const char* format = "png");

}  // namespace savefile
