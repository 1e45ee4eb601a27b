#pragma once
// A quote file read once for a backtest, its lines as the import reads them: per line whether
// the import takes it as a bar line, and its server date and time; the base bars of a date
// range and the cut of the file after a given time.
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

namespace backtest {

struct QuoteLine {
    bool bar = false;               // the import's bar-line test, without the read-days cutoff
    QString key;                    // the first field as that test compares it with the cutoff
    std::optional<QDateTime> server;  // server date and time (fields 1 and 2), when readable
    int close = 0;                  // close in thousandths (field 5), for bar lines
    QString local;                  // local date and time "yyyy/mm/dd hh:nn" (fields 19 and 20)
    QString serverText;             // server date and time as written ("yyyy/mm/dd hh:nn")
    int barNumber = -1;             // the place among the file's bar lines (0 for the first), for bar lines
};

// What a base bar needs before it: `bars` bar lines among those its step imports, the bar
// lines of the cut file dated from `readDays` days before the base bar's date on.
struct History {
    int readDays = 0;
    int bars = 0;  // 0: nothing
};

class QuoteFile {
public:
    // Reads `path` as the import does; throws VelkorError when it cannot be read.
    explicit QuoteFile(const QString& path);

    const QString& path() const { return path_; }
    const std::vector<QuoteLine>& lines() const { return lines_; }
    const QStringList& text() const { return text_; }

    // The number of lines up to and including the last line (in file order) whose server date
    // and time is not later than `t`; 0 when there is none. The file cut after `t` is
    // text().mid(0, cutAfter(t)).
    qsizetype cutAfter(const QDateTime& t) const;

    // The indexes of the bar lines whose server date lies from `from` to `to` and that have the
    // history, every `every`-th in file order from the first. A bar line whose date cannot be
    // read throws VelkorError naming the file and line. `leftOut`, when given, gets the bar
    // lines of the range without the history.
    std::vector<int> baseBars(const QDate& from, const QDate& to, int every, History history = {},
                              std::vector<int>* leftOut = nullptr) const;

    // The rows the import of the step of each bar line in `bars` takes: the bar lines of the
    // file cut after it that are dated from `readDays` days before its date on (itself too).
    std::vector<int> importedRows(const std::vector<int>& bars, int readDays) const;

    // A digest (SHA-256, hex) of the lines whose server date lies from `from` to `to`, as read:
    // the quote data those days hold.
    QString rangeDigest(const QDate& from, const QDate& to) const;

    // The close of the bar line before line `i` (in file order), or nothing for the first.
    std::optional<int> previousClose(int i) const;

    // The index of the last bar line whose local date and time is `local` ("yyyy/mm/dd hh:nn"),
    // or nothing.
    std::optional<int> barAtLocal(const QString& local) const;

private:
    QString path_;
    QStringList text_;
    std::vector<QuoteLine> lines_;
    // suffixMin_[i]: the earliest server time of the lines from i on (msecs since epoch; none:
    // the largest value). It does not fall with i, so the last line not later than t is found
    // by a binary search also in a file out of time order.
    std::vector<qint64> suffixMin_;
    std::vector<int> previousBar_;  // index of the bar line before line i, or -1
    QHash<QString, int> barByLocal_;
};

// A date and time "yyyy/mm/dd" and "hh:nn[:ss]" as the import reads them; nothing otherwise.
std::optional<QDateTime> serverDateTime(const QString& date, const QString& time);

}  // namespace backtest
