#include "app/TextFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextStream>
#include <cerrno>
#include <cstring>

#include "app/SaveFile.h"
#include "app/Texts.h"
#include "app/VelkorError.h"

namespace textfile {

namespace {
// The whole text of a file; a byte-order mark selects the encoding and is dropped.
QString decodedText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) throw VelkorError(texts::fileOpenError(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) throw VelkorError(texts::fileOpenError(path, f.errorString()));
    QStringDecoder decode(QStringConverter::encodingForData(bytes).value_or(QStringConverter::Utf8));
    return decode(bytes);
}
}  // namespace

QStringList readLines(const QString& path) {
    const QString text = decodedText(path);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < n) lines.append(text.sliced(start));
    return lines;
}

void writeLines(const QString& path, const QStringList& lines) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) throw VelkorError(texts::fileWriteError(path, f.errorString()));
    QTextStream out(&f);
    out.setEncoding(QStringConverter::Utf8);
    errno = 0;
    out << QChar(QChar::ByteOrderMark);  // also at the head of a file without lines
    for (const QString& l : lines) {
        out << l << "\r\n";
        if (out.status() != QTextStream::Ok) break;
    }
    out.flush();
    if (out.status() != QTextStream::Ok) {
        // A write the system cut short (a full disk) leaves its reason in errno only, and
        // commit() would keep the cut file: leaving without it removes what was written.
        const int err = errno;
        throw VelkorError(texts::fileWriteError(path, err ? QString::fromLocal8Bit(std::strerror(err)) : f.errorString()));
    }
    savefile::commit(f);
}

QStringList splitCommas(const QString& line) {
    if (!line.contains(QLatin1Char('"'))) return line.split(QLatin1Char(','));
    QStringList out;
    QString cur;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < line.size() && line[i + 1] == u'"') { cur += u'"'; ++i; }
                else quoted = false;
            } else {
                cur += c;
            }
        } else if (c == u'"' && cur.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == u',') {
            out.append(cur);
            cur.clear();
            wasQuoted = false;
        } else {
            cur += c;
        }
    }
    out.append(cur);
    return out;
}

}  // namespace textfile
