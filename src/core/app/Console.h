#pragma once
#include <QByteArray>
#include <QString>
#include <cstdio>

// Writes text to a stream as UTF-8 and flushes it, so that lines of the program and of its
// child runs reach a terminal or a log in the order they were made.
inline void printText(FILE* stream, const QByteArray& utf8) {
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stream);
    std::fflush(stream);
}
inline void printText(FILE* stream, const QString& text) { printText(stream, text.toUtf8()); }
// The same, with a line end after it.
inline void printLine(FILE* stream, const QString& line) { printText(stream, line.toUtf8() + '\n'); }
