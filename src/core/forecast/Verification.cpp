#include "forecast/Verification.h"

#include <algorithm>

#include "db/Database.h"

namespace forecast {

std::vector<VerifiedPeriod> pairRun(const Query& details, const Query& bars, const QString& baseDate,
                                    const QString& baseTime, int baseClose) {
    std::vector<VerifiedPeriod> out;
    if (bars.IsEmpty()) return out;  // no bar at or after the base bar yet
    auto at = [](const Query& q, int r, const char* f) {
        const int c = q.FieldIndex(QLatin1String(f));
        if (c < 0) q.FieldByName(QLatin1String(f));  // throws, naming the field
        return q.ValueAt(r, c);
    };
    // A run whose base bar lies before the imported bars stays pending.
    if (at(bars, 0, "LYMD").asString() != baseDate || at(bars, 0, "LHM").asString() != baseTime) return out;
    const int pairs = std::min(details.RecordCount(), bars.RecordCount() - 1);
    for (int k = 0; k < pairs; ++k) {
        const int forecastClose = at(details, k, "YGCL").asInteger();
        const DbValue close = at(bars, k + 1, "CV1");
        if (close.asString().isEmpty()) continue;
        const int actual = close.asInteger();
        const int move = baseClose - actual;
        const qint64 forecastMove = qint64(baseClose) - forecastClose;
        const bool hit = (move > 0 && forecastMove > 0) || (move < 0 && forecastMove < 0);
        out.push_back({at(details, k, "YKNO").asString(), close.asString(), QString::number(move),
                       at(bars, k + 1, "HV1").asString(), at(bars, k + 1, "LV1").asString(),
                       hit ? QStringLiteral("1") : QStringLiteral("-1")});
    }
    return out;
}

}  // namespace forecast
