#pragma once
// One line of a quote file as the import takes it: the bar-line test, the price texts,
// the running extremes and the value slots of its row. No window and no database.
#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "db/Slots.h"

namespace market {

// Fields of a bar line; fields past the twentieth are ignored.
inline constexpr int kBarFields = 20;

// The running extremes of one import.
struct ImportStats {
    std::array<int, 3> igc3{0, 0, 0};
    int iP = 0, iM = 0;
    std::array<int, 2> ihc{0, 999999}, icl{0, 999999};
    std::array<int, 2> ib0L{0, 999999}, ib1L{0, 999999}, ib4L{0, 999999};
    std::array<int, 2> ib0U{0, 999999}, ib1U{0, 999999}, ib4U{0, 999999};
    // The extremes as the file spells them (highest and lowest high, low and close, ATR and
    // RSI, lowest lower and highest upper band), for the statistics lines; their numbers.
    QString highMax, highMin = QStringLiteral("999999"), lowMax, lowMin = QStringLiteral("999999");
    QString closeMax, closeMin = QStringLiteral("999999");
    QString atrMax = QStringLiteral("0"), atrMin = QStringLiteral("99"), rsiMax = QStringLiteral("0"),
            rsiMin = QStringLiteral("99");
    QString bandLow = QStringLiteral("999999"), bandHigh = QStringLiteral("0");
    int hmh = 0, hml = 999999, lmh = 0, lml = 999999;
    double ath = 0, atl = 99, rsh = 0, rsl = 99;

    static void into(std::array<int, 2>& x, int d) {
        if (d > x[0]) x[0] = d;
        if (d < x[1]) x[1] = d;
    }
};

// Removes the first "." of a price and floors a text sorting before "0" to "0"; changes
// the text in place and returns it.
QString& priceToThousandths(QString& st);

// The bar-line test: the line is not empty and its first field lies between `sdt` and
// "999999" in a plain comparison of the texts.
bool isBarLine(const QString& line, const QString& sdt);

// Takes line `lineNo` (1-based) of the quote file `path`. A line that is no bar line (empty,
// dated before `sdt`, or whose first field sorts after "999999") gives false and changes
// nothing. For a bar line: a line of fewer than 20 fields, or an ATR or RSI that is not a
// number, throws VelkorError naming the file and line; otherwise the price fields pass
// through priceToThousandths, the statistics are updated, slot 11 gets `icn` and slots 12 to 31 the
// twenty fields of `slots`, and the result is true; `fields`, when given, gets the line's
// fields as read.
bool takeQuoteLine(Slots& values, ImportStats& x, const QString& line, const QString& sdt, const QString& path,
                   qsizetype lineNo, int icn, QStringList* fields = nullptr);

// The bar lines of one import that look wrong, stored or not: a date that is not
// "yyyy/mm/dd" or a time that is not "hh:nn" (server and local), a price without exactly
// three decimals or below zero, a bar not later than the readable bar before it, a bar dated
// after `today` ("yyyy/mm/dd"), a row that could not be stored. Keeps the first ten lines
// with their reasons and counts them all.
class SuspectBars {
public:
    explicit SuspectBars(QString today) : today_(std::move(today)) {}
    // Bar line `lineNo` (1-based) with its fields as read, and whether its row was stored.
    void add(qsizetype lineNo, const QStringList& fields, bool stored);
    const QStringList& first() const { return first_; }
    int count() const { return count_; }

private:
    QString today_;
    QString previous_;  // "yyyy/mm/dd hh:nn" of the last bar with a readable date and time
    QStringList first_;
    int count_ = 0;
};

// The server date of the last line of a quote file that begins with a readable date, or an
// invalid date when none does.
QDate lastBarDate(const QStringList& lines);
// Whether an import with these read days counted back from `today` covers at most half of its
// span, because the file's last bar is older than that.
bool isThinImport(const QDate& lastBar, const QDate& today, int readDays);

// The coming bar's server and local date and time ("yyyy/mm/dd", "hh:nn").
struct ComingBar {
    QString serverDate, serverTime, localDate, localTime;
};
// The `count` bars after the last line of a quote file (`path`, for messages), one bar period
// apart: the period between the file's last two lines, bar lines or not. A file of fewer than
// two lines, or a last line without its dates and times, throws VelkorError naming the line.
std::vector<ComingBar> comingBars(const QStringList& lines, const QString& path, int count);

// The two statistics lines of the side file.
QString statsLine1(const ImportStats& x);
QString statsLine2(const ImportStats& x);

}  // namespace market
