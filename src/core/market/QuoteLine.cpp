#include "market/QuoteLine.h"

#include <QDate>
#include <QTime>
#include <algorithm>
#include <cmath>

#include "app/TextFile.h"
#include "app/Texts.h"
#include "app/VelkorError.h"
#include "market/MarketCommon.h"
#include "net/Scaling.h"

namespace market {

namespace {

// A decimal number of the quote file (ATR, RSI); a text that is none ends the import.
double readDecimal(const QString& text, const QString& what, const QString& path, qsizetype line) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        throw VelkorError(texts::lineError(path, line, what + QLatin1Char(' ') + texts::notNumber(text)));
    return v;
}

// Updates the extremes from one bar line whose price fields (2..9, 12..17) already passed
// priceToThousandths.
void updateStats(ImportStats& x, const QStringList& f, const QString& path, qsizetype line) {
    const int icg = textToInt(f[4]);
    for (int i = 0; i < 3; ++i) {
        const int d = icg - x.igc3[size_t(i)];  // both are 0 or more: no overflow
        if (d > x.iP && d < 10000) x.iP = d;
        else if (d < x.iM) x.iM = d;
    }
    x.igc3 = {icg, x.igc3[0], x.igc3[1]};

    const int h = textToInt(f[2]);
    if (h > x.hmh) { x.highMax = f[2]; x.hmh = h; }
    if (h < x.hml) { x.highMin = f[2]; x.hml = h; }
    ImportStats::into(x.ihc, h - icg);

    const int l = textToInt(f[3]);
    if (l > x.lmh) { x.lowMax = f[3]; x.lmh = l; }
    if (l < x.lml) { x.lowMin = f[3]; x.lml = l; }
    ImportStats::into(x.icl, icg - l);

    int cmh = textToInt(x.closeMax), cml = textToInt(x.closeMin);
    if (icg > 50000) {
        if (icg > cmh) cmh = icg;
        if (icg < cml) cml = icg;
    }
    x.closeMax = QString::number(cmh);
    x.closeMin = QString::number(cml);

    const double a = readDecimal(f[10], QStringLiteral("ATR"), path, line);
    if (a > 0) {
        if (a > x.ath) { x.atrMax = f[10]; x.ath = a; }
        if (a < x.atl) { x.atrMin = f[10]; x.atl = a; }
    }
    const double r = readDecimal(f[11], QStringLiteral("RSI"), path, line);
    if (r > 0) {
        if (r > x.rsh) { x.rsiMax = f[11]; x.rsh = r; }
        if (r < x.rsl) { x.rsiMin = f[11]; x.rsl = r; }
    }

    int lo = textToInt(x.bandLow), hi = textToInt(x.bandHigh);
    auto lower = [&](int field, std::array<int, 2>& into, bool positiveOnly) {
        const int b = textToInt(f[field]);
        if (b < lo && (!positiveOnly || b > 0)) lo = b;
        ImportStats::into(into, icg - b);
    };
    auto upper = [&](int field, std::array<int, 2>& into) {
        const int b = textToInt(f[field]);
        if (b > hi) hi = b;
        ImportStats::into(into, b - icg);
    };
    lower(12, x.ib0L, false);
    upper(13, x.ib0U);
    lower(14, x.ib1L, false);
    upper(15, x.ib1U);
    lower(16, x.ib4L, true);
    upper(17, x.ib4U);
    x.bandLow = QString::number(lo);
    x.bandHigh = QString::number(hi);
}

bool isPriceField(int i) { return (i >= 2 && i <= 9) || (i >= 12 && i <= 17); }

}  // namespace

QString& priceToThousandths(QString& st) {
    const qsizetype dot = st.indexOf(QLatin1Char('.'));
    if (dot >= 0) st.remove(dot, 1);
    if (st < QLatin1String("0")) st = QStringLiteral("0");
    return st;
}

bool isBarLine(const QString& line, const QString& sdt) {
    auto dated = [&](QStringView first) { return first.compare(sdt) >= 0 && first.compare(u"999999") <= 0; };
    if (line.isEmpty()) return false;
    // The first field alone: only a quoted one needs the line split.
    if (line.startsWith(u'"')) return dated(textfile::splitCommas(line).first());
    return dated(QStringView(line).left(line.indexOf(u',')));
}

bool takeQuoteLine(Slots& values, ImportStats& x, const QString& line, const QString& sdt, const QString& path,
                   qsizetype lineNo, int icn, QStringList* fields) {
    if (!isBarLine(line, sdt)) return false;
    QStringList f = textfile::splitCommas(line);
    if (f.size() < kBarFields)
        throw VelkorError(texts::lineError(path, lineNo, texts::tooFewFields(f.size(), kBarFields)));
    if (fields) *fields = f;
    for (int k = 0; k < kBarFields; ++k)
        if (isPriceField(k)) priceToThousandths(f[k]);
    updateStats(x, f, path, lineNo);

    values[11] = QString::number(icn);
    for (int k = 0; k < kBarFields; ++k) values[12 + k] = f[k];
    return true;
}

namespace {
// Digits at every position of `s` but the separators at `seps`, each being `sep`.
bool digitsWith(const QString& s, std::initializer_list<int> seps, QChar sep) {
    for (int i = 0; i < s.size(); ++i) {
        const bool isSep = std::find(seps.begin(), seps.end(), i) != seps.end();
        if (isSep ? s[i] != sep : !s[i].isDigit() || s[i].unicode() > '9') return false;
    }
    return true;
}
int number(const QString& s, int from, int length) { return QStringView(s).mid(from, length).toInt(); }
// "yyyy/mm/dd" of a real calendar day, and "hh:nn" of a real time of day.
bool isDate(const QString& d) {
    return d.size() == 10 && digitsWith(d, {4, 7}, u'/') && QDate(number(d, 0, 4), number(d, 5, 2), number(d, 8, 2)).isValid();
}
bool isTime(const QString& t) { return t.size() == 5 && digitsWith(t, {2}, u':') && number(t, 0, 2) < 24 && number(t, 3, 2) < 60; }
// A price with exactly three decimals and no sign.
bool isPrice(const QString& p) { return p.size() >= 5 && p[p.size() - 4] == u'.' && digitsWith(p, {int(p.size()) - 4}, u'.'); }
}  // namespace

void SuspectBars::add(qsizetype lineNo, const QStringList& f, bool stored) {
    QStringList why;
    for (int k : {0, 18})
        if (k + 1 < f.size() && (!isDate(f[k]) || !isTime(f[k + 1])))
            why << texts::suspectDateTime(f[k].left(20), f[k + 1].left(20));
    for (int k = 0; k < kBarFields && k < f.size(); ++k)
        if (isPriceField(k) && !f[k].isEmpty() && !isPrice(f[k])) {
            why << texts::suspectPrice(f[k].left(20));
            break;
        }
    if (f.size() > 1 && isDate(f[0]) && isTime(f[1])) {
        const QString stamp = f[0] + QLatin1Char(' ') + f[1];
        if (!previous_.isEmpty() && stamp <= previous_) why << texts::suspectOrder(stamp, previous_);
        if (f[0] > today_) why << texts::suspectFuture(f[0]);
        previous_ = stamp;
    }
    if (!stored) why << texts::suspectNotStored;
    if (why.isEmpty()) return;
    if (++count_ <= 10) first_ << QStringLiteral("  %1 行目: %2").arg(lineNo).arg(why.join(QStringLiteral("、")));
}

QString statsLine1(const ImportStats& x) {
    return QStringLiteral("高値の最高:,") + x.highMax + QStringLiteral(", 高値の最低:,") + x.highMin +
           QStringLiteral(", 安値の最高:,") + x.lowMax + QStringLiteral(", 安値の最低:,") + x.lowMin +
           QStringLiteral(", 終値の最高:,") + x.closeMax + QStringLiteral(", 終値の最安:,") + x.closeMin +
           QStringLiteral(", ATR最大:,") + x.atrMax + QStringLiteral(", ATR最小:,") + x.atrMin +
           QStringLiteral(", RSI最大:,") + x.rsiMax + QStringLiteral(", RSI最小:,") + x.rsiMin +
           QStringLiteral(", BBL:,") + x.bandLow + QStringLiteral(", BBH:,") + x.bandHigh;
}

QString statsLine2(const ImportStats& x) {
    auto n = [](int v) { return QString::number(v); };
    return QStringLiteral("高値-終値 最大:,") + n(x.ihc[0]) + QStringLiteral(", 高値ｰ終値 最小:,") + n(x.ihc[1]) +
           QStringLiteral(", 終値-安値 最大:,") + n(x.icl[0]) + QStringLiteral(", 終値-安値 最小:,") + n(x.icl[1]) +
           QStringLiteral(", 0HAVG-BBLd:,") + n(x.ib0L[0]) + QStringLiteral(", 0HBBUp-AVG:,") + n(x.ib0U[0]) +
           QStringLiteral(", 1HAVG-BBLd:,") + n(x.ib1L[0]) + QStringLiteral(", 1HBBUp-AVG:,") + n(x.ib1U[0]) +
           QStringLiteral(", 4HAVG-BBLd:,") + n(x.ib4L[0]) + QStringLiteral(", 4HBBUp-AVG:,") + n(x.ib4U[0]);
}

QDate lastBarDate(const QStringList& lines) {
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QString& line = lines[i];
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        const QDate d = QDate::fromString(line.left(comma < 0 ? line.size() : comma).trimmed(), QStringLiteral("yyyy/MM/dd"));
        if (d.isValid()) return d;
    }
    return {};
}

bool isThinImport(const QDate& lastBar, const QDate& today, int readDays) {
    return lastBar.isValid() && readDays > 0 && lastBar < today.addDays(-((readDays + 1) / 2));
}

std::vector<ComingBar> comingBars(const QStringList& lines, const QString& path, int count) {
    const qsizetype n = lines.size();
    if (n < 2) throw VelkorError(texts::tooFewLines(path, n, 2));
    auto at = [&](qsizetype index, int a, int b) {
        const QStringList f = textfile::splitCommas(lines[index]);
        if (f.size() <= b) throw VelkorError(texts::lineError(path, index + 1, texts::tooFewFields(f.size(), kBarFields)));
        const std::optional<QDateTime> v = readDateTime(f[a], f[b]);
        if (!v) throw VelkorError(texts::lineError(path, index + 1, texts::notDateTime(f[a], f[b])));
        return *v;
    };
    const QDateTime before = at(n - 2, 0, 1);
    QDateTime server = at(n - 1, 0, 1);
    QDateTime local = at(n - 1, 18, 19);
    const qint64 period = before.msecsTo(server);
    const QString dateFmt = QStringLiteral("yyyy/MM/dd"), timeFmt = QStringLiteral("HH:mm");
    std::vector<ComingBar> bars;
    for (int k = 1; k <= count; ++k) {
        server = server.addMSecs(period);
        local = local.addMSecs(period);
        bars.push_back({server.toString(dateFmt), server.toString(timeFmt), local.toString(dateFmt), local.toString(timeFmt)});
    }
    return bars;
}

}  // namespace market
