#pragma once
// One row of a training table from one quote row and the ranges of its window; no window,
// no database.
#include <QDateTime>
#include <QString>
#include <array>

#include "db/Database.h"

namespace market {

// The columns of a training table, numbered from 1 in catalog order.
enum TrainingColumn {
    CNT = 1, SYMD, SHM, WEEK, SIN, COS, HV1, HV2, HV3, LV1, LV2, LV3, CV1, CV2, CV3,
    SLP11, SLP12, SLP13, SLP21, SLP22, SLP23, SLP31, SLP32, SLP33,
    M051, M052, M053, M201, M202, M203, M1H1, M1H2, M1H3, M4H1, M4H2, M4H3, M451, M452, M453,
    ATR1, ATR2, RSI1, RSI2, B0L1, B0L2, B0L3, B1L1, B1L2, B1L3, B4L1, B4L2, B4L3, LYMD, LHM
};
inline constexpr int kTrainingColumns = LHM;

// A training row's values as texts, as the SQL builder takes them; index = column - 1.
struct TrainingRow {
    std::array<QString, kTrainingColumns> v;
    QString& operator[](TrainingColumn c) { return v[size_t(c - 1)]; }
    const QString& operator[](TrainingColumn c) const { return v[size_t(c - 1)]; }
};

// One quote row as the quote table holds it.
struct QuoteBar {
    DbValue symd, shm, hv, lv, cv, m05, m20, m1h, m4h, atr, rsi, b0l, b0u, b1l, b1u, b4l, b4u, lymd, lhm;
};

// The ranges of the rows before a row (element 0 maximum, 1 minimum, 2 span).
struct WindowScale {
    std::array<int, 3> close{}, high{}, low{}, m05{}, m20{}, m1h{};
    std::array<double, 3> atr{};
    bool operator==(const WindowScale&) const = default;
};

// The training row numbered n of quote bar `q` at server time `when`: calendar inputs, the
// bar's prices with their distances and positions in the window, the close's change over
// the closes of the one, two and three bars before (`previous[0]` one bar before; empty when
// there is none), the ATR, the RSI and the averages' positions in their bands. `closeScale` is the
// timeframe's close-move scale, `slopeMultiplier` its slope multiplier.
TrainingRow trainingRow(int n, const QDateTime& when, const QuoteBar& q, const std::array<QString, 3>& previous,
                        const WindowScale& w, int closeScale, double slopeMultiplier);

}  // namespace market
