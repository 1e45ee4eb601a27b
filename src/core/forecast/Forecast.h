#pragma once
// The training and forecast run and the result pages without the window: the patterns a
// training pass presents, training, the forecast of one period, the signal, and the texts of
// the result grid.
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "net/NeuralNetwork.h"

class Query;
struct Timeframe;

namespace forecast {

constexpr int inputCount = 14;
constexpr int outputCount = 3;

// The training table's columns that feed the network, in input order.
const std::array<QString, inputCount>& inputColumns();

// What one training pass presents to the network, in order, as contiguous arrays.
// Rows without a close (CV1 empty) are left out. Targets: CV3 when it is below 1, otherwise
// the close target of the row presented before (0 before the first row of the run, the last
// row of the previous pass at the start of a later pass); HV3 unless HV2 is 0; LV3 unless
// LV2 is 0. Every pass after the first starts from the same carried close target, so two
// target arrays describe every pass.
struct TrainingPatterns {
    int count = 0;                   // patterns per pass
    std::vector<float> inputs;       // count x inputCount
    std::vector<float> targetsFirst; // count x outputCount, first pass
    std::vector<float> targetsLater; // count x outputCount, second and later passes
    const float* lastInputs() const { return count ? inputs.data() + size_t(count - 1) * inputCount : nullptr; }
};

// The patterns of the first `rows` rows of q (fewer when q has fewer rows).
TrainingPatterns trainingPatterns(const Query& q, int rows);

// Trains `passes` passes over the patterns, one incremental step per pattern. After each
// pass the network's running error (accumulated since it was created, never reset) goes into
// `errors`, and `afterPass(pass)` says whether to go on. False when it said stop.
bool train(NeuralNetwork& net, const TrainingPatterns& p, int passes, std::vector<double>& errors,
           const std::function<bool(int)>& afterPass);

// The value ranges of the base bar's window: element 0 maximum, 1 minimum, 2 span.
struct WindowRanges {
    std::array<int, 3> close{}, high{}, low{};
};

// One period's forecast from the network's outputs: close, high and low in thousandths, and
// the network-scale close as the run stores it ("#.######").
struct PeriodForecast {
    int close = 0, high = 0, low = 0;
    QString scaled;
};
PeriodForecast periodForecast(const std::array<float, outputCount>& outputs, const WindowRanges& r);

// Trade signal of a network-scale close: 1 above the buy threshold, -1 below the sell
// threshold, otherwise 0 (both comparisons strict).
int signal(double ddc, double dbb, double dbs);

// "買" for 1, "売" for -1, empty otherwise.
QString signalText(int sgn);
// "○" for 1, "×" for -1, empty otherwise.
QString resultText(int rst);

// The time of forecast period p after base time hm ("hh:nn"), `stepSeconds` per period,
// as "HH:NN" (wrapping at midnight); empty when hm is no time.
QString periodTime(const QString& hm, int p, int stepSeconds);

}  // namespace forecast

namespace forecast {

// One forecast run between its steps: what was read of the training table, the network and
// how it trained. Reading and creating happen on the window's thread; training needs nothing
// but the run itself (the daily loop trains several on threads of their own).
struct Run {
    const Timeframe* t = nullptr;
    int passes = 0;                   // training passes (0 for a text that is no number)
    TrainingPatterns patterns;
    qint64 baseCnt = 0;               // CNT of the base bar
    WindowRanges ranges;              // of the base bar's window
    struct Placeholder {
        QString cnt;
        float week, sin, cos;
    };
    std::vector<Placeholder> placeholders;
    std::unique_ptr<NeuralNetwork> net;
    std::vector<double> errors;       // running error after each pass
    qint64 started = 0;               // elapsed-timer reading when the run began timing
    qint64 trainingMs = 0;            // how long training took
};

}  // namespace forecast
