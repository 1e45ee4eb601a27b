#pragma once
// Synthetic bar exports for the velkor-quotes tests: a seeded random walk on weekdays, and
// its text in each export's line form.

#include "Bars.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <vector>

// GoogleTest shows a QString as its text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace qtest {

using velkor::quotes::Bar;

// Bars of `step` minutes on the weekdays of [first, first + days), prices near 150 yen.
inline std::vector<Bar> weekdayWalk(QDate first, int days, int step = 5, unsigned seed = 1) {
    std::vector<Bar> bars;
    unsigned state = seed * 2654435761u + 12345u;
    auto next = [&state](int spread) {  // uniform in -spread..spread
        state = state * 1103515245u + 12345u;
        return int((state >> 8) % unsigned(2 * spread + 1)) - spread;
    };
    int price = 150000;
    for (int d = 0; d < days; ++d) {
        const QDate day = first.addDays(d);
        if (day.dayOfWeek() >= 6) continue;
        for (int m = 0; m < 1440; m += step) {
            const int open = price;
            price = std::clamp(price + next(40), 140000, 160000);
            const int high = std::max(open, price) + std::abs(next(15));
            const int low = std::min(open, price) - std::abs(next(15));
            bars.push_back({velkor::quotes::wallMinute(day, m), 0, open, high, low, price});
        }
    }
    return bars;
}

enum class Form { MT4, MT5, HistData, GenericOneField, GenericTwoFields };
inline constexpr Form kForms[] = {Form::MT4, Form::MT5, Form::HistData, Form::GenericOneField, Form::GenericTwoFields};

inline QByteArray price(int thousandths) {
    return QByteArray::number(thousandths / 1000) + '.' + QByteArray::number(thousandths % 1000).rightJustified(3, '0');
}

// One bar as a line of the form, without its line end.
inline QByteArray exportLine(const Bar& b, Form form) {
    const QDate d = velkor::quotes::dateOf(b.minute);
    const int m = velkor::quotes::minuteOfDay(b.minute);
    // Per form, in the order of Form: the date and time, and the field separator.
    static const char* const kStamp[] = {"%04d.%02d.%02d,%02d:%02d", "%04d.%02d.%02d\t%02d:%02d:00",
                                         "%04d%02d%02d %02d%02d00", "%04d-%02d-%02d %02d:%02d:00",
                                         "%04d/%02d/%02d,%02d:%02d"};
    static const char* const kSeparator[] = {",", "\t", ";", ",", ","};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, kStamp[int(form)], d.year(), d.month(), d.day(), m / 60, m % 60);
    const char* sep = kSeparator[int(form)];
    QByteArray line = stamp;
    for (const int p : {b.open, b.high, b.low, b.close}) line += sep + price(p);
    if (form == Form::MT4) line += ",123";
    if (form == Form::MT5) line += "\t88\t0\t3";
    if (form == Form::HistData) line += ";0";
    return line;
}

// A whole export: MetaTrader 5 and the generic two-field form with their header line.
inline QByteArray exportText(const std::vector<Bar>& bars, Form form) {
    QByteArray text;
    if (form == Form::MT5) text += "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\r\n";
    if (form == Form::GenericTwoFields) text += "Date,Time,Open,High,Low,Close\n";
    for (const Bar& b : bars) text += exportLine(b, form) + (form == Form::HistData ? "\n" : "\r\n");
    return text;
}

}  // namespace qtest
