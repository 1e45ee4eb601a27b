#pragma once
#include <QString>
#include <QStringList>

// Text files of the program: read as UTF-8 (a byte-order mark is skipped), with CR LF,
// LF or CR line ends; a final line end adds no empty line. Written as UTF-8 with a
// byte-order mark and CR LF after every line, replacing the file as a whole.
namespace textfile {

QStringList readLines(const QString& path);
void writeLines(const QString& path, const QStringList& lines);
// Splits a line at commas only; a field enclosed in double quotes loses its quotes
// ("" inside a quoted field stands for one quote).
QStringList splitCommas(const QString& line);

}  // namespace textfile
