#pragma once
#include <QString>
#include <QByteArrayView>
#include <QStringList>
#include <vector>

// Text files of the program: read as UTF-8 (a byte-order mark is skipped), with CR LF,
// LF or CR line ends; a final line end adds no empty line. Written as UTF-8 with a
// byte-order mark and CR LF after every line, replacing the file as a whole.
namespace textfile {

QStringList readLines(const QString& path);

// The lines of a text file as readLines splits them, each decoded only when asked for: a
// reader that passes over most lines of a long file pays for the few it takes.
class Lines {
public:
    explicit Lines(const QString& path);
    qsizetype size() const { return qsizetype(spans_.size()); }
    // Line i as it stands in the file (UTF-8, without its line end).
    QByteArrayView bytes(qsizetype i) const {
        const Span& s = spans_[size_t(i)];
        return QByteArrayView(data_.constData() + s.offset, s.length);
    }
    QString operator[](qsizetype i) const;

private:
    struct Span {
        qsizetype offset, length;
    };
    QByteArray data_;
    std::vector<Span> spans_;
};
// How a written file replaces the old one: Durable once its content is on the disk (what the
// user keeps); Rebuilt at once (files the program writes anew at every start, where waiting
// for the disk buys nothing). Either way the old file stays whole until the new one is.
enum class Replace { Durable, Rebuilt };
void writeLines(const QString& path, const QStringList& lines, Replace how = Replace::Durable);
// Splits a line at commas only; a field enclosed in double quotes loses its quotes
// ("" inside a quoted field stands for one quote).
QStringList splitCommas(const QString& line);

}  // namespace textfile
