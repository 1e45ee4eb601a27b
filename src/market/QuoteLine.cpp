#include "market/QuoteLine.h"

#include <cmath>

#include "app/TextFile.h"
#include "app/Texts.h"
#include "app/VelkorError.h"
#include "app/VelkorState.h"
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
// erPeriod.
void updateStats(VelkorState& s, ImportStats& x, const QStringList& f, const QString& path, qsizetype line) {
    const int icg = Cvs2i(f[4]);
    for (int i = 0; i < 3; ++i) {
        const int d = icg - x.igc3[size_t(i)];  // both are 0 or more: no overflow
        if (d > x.iP && d < 10000) x.iP = d;
        else if (d < x.iM) x.iM = d;
    }
    x.igc3 = {icg, x.igc3[0], x.igc3[1]};

    const int h = Cvs2i(f[2]);
    if (h > x.hmh) { s.shmh = f[2]; x.hmh = h; }
    if (h < x.hml) { s.shml = f[2]; x.hml = h; }
    ImportStats::into(x.ihc, h - icg);

    const int l = Cvs2i(f[3]);
    if (l > x.lmh) { s.slmh = f[3]; x.lmh = l; }
    if (l < x.lml) { s.slml = f[3]; x.lml = l; }
    ImportStats::into(x.icl, icg - l);

    int cmh = Cvs2i(s.scmh), cml = Cvs2i(s.scml);
    if (icg > 50000) {
        if (icg > cmh) cmh = icg;
        if (icg < cml) cml = icg;
    }
    s.scmh = QString::number(cmh);
    s.scml = QString::number(cml);

    const double a = readDecimal(f[10], QStringLiteral("ATR"), path, line);
    if (a > 0) {
        if (a > x.ath) { s.sath = f[10]; x.ath = a; }
        if (a < x.atl) { s.satl = f[10]; x.atl = a; }
    }
    const double r = readDecimal(f[11], QStringLiteral("RSI"), path, line);
    if (r > 0) {
        if (r > x.rsh) { s.srsh = f[11]; x.rsh = r; }
        if (r < x.rsl) { s.srsl = f[11]; x.rsl = r; }
    }

    int lo = Cvs2i(s.sbml), hi = Cvs2i(s.sbmh);
    auto lower = [&](int field, std::array<int, 2>& into, bool positiveOnly) {
        const int b = Cvs2i(f[field]);
        if (b < lo && (!positiveOnly || b > 0)) lo = b;
        ImportStats::into(into, icg - b);
    };
    auto upper = [&](int field, std::array<int, 2>& into) {
        const int b = Cvs2i(f[field]);
        if (b > hi) hi = b;
        ImportStats::into(into, b - icg);
    };
    lower(12, x.ib0L, false);
    upper(13, x.ib0U);
    lower(14, x.ib1L, false);
    upper(15, x.ib1U);
    lower(16, x.ib4L, true);
    upper(17, x.ib4U);
    s.sbml = QString::number(lo);
    s.sbmh = QString::number(hi);
}

bool isPriceField(int i) { return (i >= 2 && i <= 9) || (i >= 12 && i <= 17); }

}  // namespace

void resetStats(VelkorState& s) {
    s.shmh.clear();
    s.shml = QStringLiteral("999999");
    s.slmh.clear();
    s.slml = QStringLiteral("999999");
    s.scmh.clear();
    s.scml = QStringLiteral("999999");
    s.sath = QStringLiteral("0");
    s.satl = QStringLiteral("99");
    s.srsh = QStringLiteral("0");
    s.srsl = QStringLiteral("99");
    s.sbml = QStringLiteral("999999");
    s.sbmh = QStringLiteral("0");
}

QString& erPeriod(QString& st) {
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

bool takeQuoteLine(VelkorState& s, ImportStats& x, const QString& line, const QString& sdt, const QString& path,
                   qsizetype lineNo, int icn) {
    if (!isBarLine(line, sdt)) return false;
    QStringList f = textfile::splitCommas(line);
    if (f.size() < kBarFields)
        throw VelkorError(texts::lineError(path, lineNo, texts::tooFewFields(f.size(), kBarFields)));
    for (int k = 0; k < kBarFields; ++k)
        if (isPriceField(k)) erPeriod(f[k]);
    updateStats(s, x, f, path, lineNo);

    s.sa[11] = QString::number(icn);
    for (int k = 0; k < kBarFields; ++k) s.sa[12 + k] = f[k];
    return true;
}

QString statsLine1(const VelkorState& s) {
    return QStringLiteral("高値の最高:,") + s.shmh + QStringLiteral(", 高値の最低:,") + s.shml +
           QStringLiteral(", 安値の最高:,") + s.slmh + QStringLiteral(", 安値の最低:,") + s.slml +
           QStringLiteral(", 終値の最高:,") + s.scmh + QStringLiteral(", 終値の最安:,") + s.scml +
           QStringLiteral(", ATR最大:,") + s.sath + QStringLiteral(", ATR最小:,") + s.satl +
           QStringLiteral(", RSI最大:,") + s.srsh + QStringLiteral(", RSI最小:,") + s.srsl +
           QStringLiteral(", BBL:,") + s.sbml + QStringLiteral(", BBH:,") + s.sbmh;
}

QString statsLine2(const ImportStats& x) {
    auto n = [](int v) { return QString::number(v); };
    return QStringLiteral("高値-終値 最大:,") + n(x.ihc[0]) + QStringLiteral(", 高値ｰ終値 最小:,") + n(x.ihc[1]) +
           QStringLiteral(", 終値-安値 最大:,") + n(x.icl[0]) + QStringLiteral(", 終値-安値 最小:,") + n(x.icl[1]) +
           QStringLiteral(", 0HAVG-BBLd:,") + n(x.ib0L[0]) + QStringLiteral(", 0HBBUp-AVG:,") + n(x.ib0U[0]) +
           QStringLiteral(", 1HAVG-BBLd:,") + n(x.ib1L[0]) + QStringLiteral(", 1HBBUp-AVG:,") + n(x.ib1U[0]) +
           QStringLiteral(", 4HAVG-BBLd:,") + n(x.ib4L[0]) + QStringLiteral(", 4HBBUp-AVG:,") + n(x.ib4U[0]);
}

}  // namespace market
