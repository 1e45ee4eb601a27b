#pragma once
// Bars as velkor-quotes reads, merges and resamples them. Prices are thousandths of a yen;
// a time is a whole minute on some wall clock, counted from 1970-01-01 00:00 of that clock
// (the clock of the source file until the bars are converted, server time after).

#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velkor::quotes {

struct Bar {
    qint64 minute = 0;   // opening time
    int localShift = 0;  // local time minus server time, minutes (set by the conversion)
    int open = 0;
    int high = 0;
    int low = 0;
    int close = 0;
};

// A fault in the input or the options that stops the run before any output file changes.
class QuotesError : public std::runtime_error {
public:
    explicit QuotesError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

inline constexpr qint64 kMinutesPerDay = 1440;

// Floor division for a positive divisor.
inline qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

qint64 wallMinute(QDate date, int minuteOfDay);
QDate dateOf(qint64 minute);
inline int minuteOfDay(qint64 minute) { return int(minute - floorDiv(minute, kMinutesPerDay) * kMinutesPerDay); }
inline bool onWeekend(qint64 minute) { return dateOf(minute).dayOfWeek() >= 6; }

// "yyyy/mm/dd" and "hh:nn" of a minute, the forms of the quote files.
QByteArray dateText(qint64 minute);
QByteArray timeText(qint64 minute);
// "yyyy/mm/dd hh:nn", for messages.
QString minuteText(qint64 minute);
// A price in thousandths as "148.740" (with a "-" below 0).
QString priceText(qint64 thousandths);
// A length of time as "2 d 3 h 5 min", leaving out the parts that are zero.
QString durationText(qint64 minutes);

}  // namespace velkor::quotes
