// The closes of the three bars before a bar, and the value ranges of a window of the
// training table, as operations of the window.
#include "market/MarketCommon.h"
#include "window/VelkorU.h"

QString TVelkorF::Find03Pr(int icn) {
    sa[1].clear();
    sa[2].clear();
    sa[3].clear();
    if (icn <= 3) return sa[1];
    const QString cnt = QStringLiteral("CNT"), cv = QStringLiteral("CV");
    for (int back = 3; back >= 1; --back)
        if (dm.qmf.LocateInt(cnt, qint64(icn) - back)) sa[back] = dm.qmf.FieldByName(cv).AsString();
    const QString result = sa[1];
    dm.qmf.LocateInt(cnt, icn);  // back onto the bar being processed; a miss leaves it where it is
    return result;
}

int TVelkorF::fqHLn(int icn, int ik) {
    sqw = QStringLiteral(" select Max(CV1) as CVX, Min(CV1) as CVN,  Max(HV1) as HVX, Min(HV1) as HVN,  "
                         "Max(LV1) as LVX, Min(LV1) as LVN,  Max(M051) as M05X, Min(M051) as M05N,  "
                         "Max(M201) as M20X, Min(M201) as M20N,  Max(M1H1) as M1HX, Min(M1H1) as M1HN,  "
                         "Max(ATR1) as ATX, Min(ATR1) as ATN  from ") +
          stnm + QStringLiteral(" where (CNT>") + QString::number(qint64(icn) - ik) + QStringLiteral(") and ") +
          QStringLiteral("(CNT<") + QString::number(icn) + QStringLiteral(") ");
    dm.qmt.Close();
    dm.qmt.setSql(sqw);
    dm.qmt.Open();
    static const char* const names[market::kRangeColumns][2] = {
        {"CVX", "CVN"}, {"HVX", "HVN"}, {"LVX", "LVN"}, {"M05X", "M05N"},
        {"M20X", "M20N"}, {"M1HX", "M1HN"}, {"ATX", "ATN"}};
    market::RangeAggregates a;
    for (int c = 0; c < market::kRangeColumns; ++c) {
        a.max[size_t(c)] = dm.qmt.FieldByName(QLatin1String(names[c][0])).value();
        a.min[size_t(c)] = dm.qmt.FieldByName(QLatin1String(names[c][1])).value();
    }
    dm.qmt.Close();
    market::storeRanges(*this, a);
    return icvt[2];
}
