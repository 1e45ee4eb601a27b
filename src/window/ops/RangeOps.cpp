// The value ranges of a window of a training table, asked of the memory database.
#include "market/MarketCommon.h"
#include "window/VelkorU.h"

market::WindowScale TVelkorF::windowScaleOf(const QString& table, int row, int length) {
    const QString sql =
        QStringLiteral(" select Max(CV1) as CVX, Min(CV1) as CVN,  Max(HV1) as HVX, Min(HV1) as HVN,  "
                       "Max(LV1) as LVX, Min(LV1) as LVN,  Max(M051) as M05X, Min(M051) as M05N,  "
                       "Max(M201) as M20X, Min(M201) as M20N,  Max(M1H1) as M1HX, Min(M1H1) as M1HN,  "
                       "Max(ATR1) as ATX, Min(ATR1) as ATN  from ") +
        table + QStringLiteral(" where (CNT>") + QString::number(qint64(row) - length) + QStringLiteral(") and ") +
        QStringLiteral("(CNT<") + QString::number(row) + QStringLiteral(") ");
    Query& q = data.windowRanges;
    q.Close();
    q.setSql(sql);
    q.Open();
    static const char* const names[market::kRangeColumns][2] = {
        {"CVX", "CVN"}, {"HVX", "HVN"}, {"LVX", "LVN"}, {"M05X", "M05N"},
        {"M20X", "M20N"}, {"M1HX", "M1HN"}, {"ATX", "ATN"}};
    market::RangeAggregates a;
    for (int c = 0; c < market::kRangeColumns; ++c) {
        a.max[size_t(c)] = q.FieldByName(QLatin1String(names[c][0])).value();
        a.min[size_t(c)] = q.FieldByName(QLatin1String(names[c][1])).value();
    }
    q.Close();
    return market::windowScale(a);
}
