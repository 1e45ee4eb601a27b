#pragma once
// The pairing of a stored run with the bars that followed it; no window, no database writes.
#include <QString>
#include <vector>

class Query;

namespace forecast {

// What verification writes into one detail row.
struct VerifiedPeriod {
    QString ykno;   // the row's period number
    QString jgcl;   // actual close
    QString sg;     // base close minus actual close
    QString hg, lg; // actual high and low (empty: NULL)
    QString rst;    // "1" hit, "-1" miss
};

// Pairs the detail rows of a run (`details`, in period order, with YKNO and YGCL) with the
// bars from its base bar on (`bars`, in CNT order, with LYMD, LHM, CV1, HV1, LV1): the first
// bar must be the base bar itself (local date `baseDate`, time `baseTime`), otherwise nothing
// pairs. Period k goes with bar k after it; a bar without a close leaves its period pending.
// A forecast is a hit when the forecast close and the actual close lie on the same side of
// the base close `baseClose`.
std::vector<VerifiedPeriod> pairRun(const Query& details, const Query& bars, const QString& baseDate,
                                    const QString& baseTime, int baseClose);

}  // namespace forecast
