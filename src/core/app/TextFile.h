#pragma once
#include <QString>
#include <QStringList>

// Text files of the program. Read: a byte-order mark selects the encoding, UTF-8 without
// one; CR LF, LF or CR end a line; a final line end adds no empty line. Written: UTF-8 with
// a byte-order mark and CR LF after every line, replacing the file as a whole.
namespace textfile {

QStringList readLines(const QString& path);
// The old file stays as it was until the new one is complete; a failure throws VelkorError
// naming the file and the system's reason, and leaves nothing beside the file.
void writeLines(const QString& path, const QStringList& lines);
// Splits a line at commas only; a field enclosed in double quotes loses its quotes
// ("" inside a quoted field stands for one quote).
QStringList splitCommas(const QString& line);

}  // namespace textfile
