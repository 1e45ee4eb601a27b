#include "app/TextFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/Texts.h"
#include "app/VelkorError.h"

namespace textfile {

Lines::Lines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw VelkorError(texts::fileOpenError(path, f.errorString()));
    data_ = f.readAll();
    // The file's byte-order mark, and one right after it (decoding the text skips that too).
    qsizetype bom = 0;
    while (bom < 6 && QByteArrayView(data_).sliced(bom).startsWith("\xEF\xBB\xBF")) bom += 3;
    // Line ends are ASCII bytes, never part of a longer UTF-8 sequence: splitting the bytes
    // gives the lines the decoded text would.
    const char* d = data_.constData();
    const qsizetype n = data_.size();
    qsizetype start = bom;
    for (qsizetype i = bom; i < n; ++i) {
        const char c = d[i];
        if (c == '\r' || c == '\n') {
            spans_.push_back({start, i - start});
            if (c == '\r' && i + 1 < n && d[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < n) spans_.push_back({start, n - start});
}

QString Lines::operator[](qsizetype i) const {
    const QByteArrayView b = bytes(i);
    // Decoding skips a byte-order mark at the start of what it decodes: one that starts a
    // line stays a character here, as it does in the file's text decoded at once.
    if (b.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder keepingMarks(QStringConverter::Utf8,
                                    QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
        return keepingMarks.decode(b);
    }
    return QString::fromUtf8(b);
}

QStringList readLines(const QString& path) {
    const Lines file(path);
    QStringList lines;
    lines.reserve(file.size());
    for (qsizetype i = 0; i < file.size(); ++i) lines.append(file[i]);
    return lines;
}

void writeLines(const QString& path, const QStringList& lines, Replace how) {
    qsizetype chars = 0;
    for (const QString& l : lines) chars += l.size() + 2;
    QStringEncoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QByteArray out;
    out.resize(3 + utf8.requiredSpace(chars));
    char* end = out.data();
    end = std::copy_n("\xEF\xBB\xBF", 3, end);
    for (const QString& l : lines) {
        end = utf8.appendToBuffer(end, l);
        *end++ = '\r';
        *end++ = '\n';
    }
    out.truncate(end - out.constData());

    if (how == Replace::Durable) {
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit())
            throw VelkorError(texts::fileWriteError(path, f.errorString()));
        return;
    }
    // Written beside the file under a name of this process, then renamed over it.
    const QString temp = path + QStringLiteral(".%1.new").arg(QCoreApplication::applicationPid());
    QFile f(temp);
    const bool written = f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(out) == out.size() && f.flush();
    const QString why = f.errorString();
    f.close();
    if (!written || std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        const QString reason = written ? QString::fromLocal8Bit(std::strerror(errno)) : why;
        QFile::remove(temp);
        throw VelkorError(texts::fileWriteError(path, reason));
    }
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
