#include "Bars.h"

#include <QStringList>

#include <cstdio>

namespace velkor::quotes {

namespace {
constexpr qint64 kEpochDay = 2440588;  // Julian day of 1970-01-01; a constant, so usable during static initialisation
}

qint64 wallMinute(QDate date, int minuteOfDay) {
    return (date.toJulianDay() - kEpochDay) * kMinutesPerDay + minuteOfDay;
}

QDate dateOf(qint64 minute) { return QDate::fromJulianDay(floorDiv(minute, kMinutesPerDay) + kEpochDay); }

QByteArray dateText(qint64 minute) {
    const QDate d = dateOf(minute);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", d.year(), d.month(), d.day());
    return buf;
}

QByteArray timeText(qint64 minute) {
    const int m = minuteOfDay(minute);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d", m / 60, m % 60);
    return buf;
}

QString minuteText(qint64 minute) { return QString::fromLatin1(dateText(minute) + ' ' + timeText(minute)); }

QString priceText(qint64 thousandths) {
    const qint64 a = thousandths < 0 ? -thousandths : thousandths;
    return QStringLiteral("%1%2.%3")
        .arg(thousandths < 0 ? QStringLiteral("-") : QString())
        .arg(a / 1000)
        .arg(a % 1000, 3, 10, QLatin1Char('0'));
}

QString durationText(qint64 minutes) {
    QStringList parts;
    if (minutes >= kMinutesPerDay) parts << QStringLiteral("%1 d").arg(minutes / kMinutesPerDay);
    if (minutes % kMinutesPerDay >= 60) parts << QStringLiteral("%1 h").arg(minutes % kMinutesPerDay / 60);
    if (minutes % 60 || parts.isEmpty()) parts << QStringLiteral("%1 min").arg(minutes % 60);
    return parts.join(QLatin1Char(' '));
}

}  // namespace velkor::quotes
