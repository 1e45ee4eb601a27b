#include "app/TextFile.h"

#include <QFile>
#include <QSaveFile>

#include "app/Texts.h"
#include "app/VelkorError.h"

namespace textfile {

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw VelkorError(texts::fileOpenError(path, f.errorString()));
    QByteArray data = f.readAll();
    if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
    const QString text = QString::fromUtf8(data);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
            start = i + 1;
        }
    }
    if (start < n) lines.append(text.mid(start));
    return lines;
}

void writeLines(const QString& path, const QStringList& lines) {
    QByteArray out("\xEF\xBB\xBF");
    for (const QString& l : lines) {
        out += l.toUtf8();
        out += "\r\n";
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit())
        throw VelkorError(texts::fileWriteError(path, f.errorString()));
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
