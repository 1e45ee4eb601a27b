#include "forecast/Forecast.h"

#include <QTime>
#include <cmath>
#include <limits>

#include "app/Format.h"
#include "app/Texts.h"
#include "app/VelkorError.h"
#include "db/Database.h"
#include "net/Scaling.h"
#include "net/NeuralNetwork.h"

namespace forecast {

const std::array<QString, inputCount>& inputColumns() {
    static const std::array<QString, inputCount> c{
        QStringLiteral("WEEK"), QStringLiteral("SIN"),  QStringLiteral("COS"),  QStringLiteral("SLP13"),
        QStringLiteral("SLP23"), QStringLiteral("SLP33"), QStringLiteral("M053"), QStringLiteral("M203"),
        QStringLiteral("M1H3"), QStringLiteral("ATR2"), QStringLiteral("RSI2"), QStringLiteral("B0L3"),
        QStringLiteral("B1L3"), QStringLiteral("B4L3")};
    return c;
}

namespace {
int column(const Query& q, const QString& name) {
    const int i = q.FieldIndex(name);
    if (i < 0) q.FieldByName(name);  // throws, naming the field
    return i;
}
}  // namespace

TrainingPatterns trainingPatterns(const Query& q, int rows) {
    TrainingPatterns p;
    rows = std::max(0, std::min(rows, q.RecordCount()));
    if (rows == 0) return p;
    std::array<int, inputCount> in{};
    for (int k = 0; k < inputCount; ++k) in[size_t(k)] = column(q, inputColumns()[size_t(k)]);
    const int cv1 = column(q, QStringLiteral("CV1")), cv3 = column(q, QStringLiteral("CV3"));
    const int hv2 = column(q, QStringLiteral("HV2")), hv3 = column(q, QStringLiteral("HV3"));
    const int lv2 = column(q, QStringLiteral("LV2")), lv3 = column(q, QStringLiteral("LV3"));
    std::vector<char> ownClose;  // CV3 below 1: the pattern has a close target of its own
    float carry = 0;             // the close target of the pattern presented last
    for (int r = 0; r < rows; ++r) {
        // A close whose text is empty (NULL or an empty text) leaves the row out.
        const DbValue c1 = q.ValueAt(r, cv1);
        if (c1.isNull() || (c1.type == DbValue::Text && c1.s.isEmpty())) continue;
        for (int k = 0; k < inputCount; ++k) p.inputs.push_back(float(q.ValueAt(r, in[size_t(k)]).asFloat()));
        const double c = q.ValueAt(r, cv3).asFloat();
        if (c < 1) carry = float(c);
        const float high = q.ValueAt(r, hv2).asFloat() == 0 ? 0.0f : float(q.ValueAt(r, hv3).asFloat());
        const float low = q.ValueAt(r, lv2).asFloat() == 0 ? 0.0f : float(q.ValueAt(r, lv3).asFloat());
        p.targetsFirst.insert(p.targetsFirst.end(), {carry, high, low});
        ownClose.push_back(c < 1);
        ++p.count;
    }
    // A later pass starts from the close target the first pass ended on.
    p.targetsLater = p.targetsFirst;
    for (int i = 0; i < p.count; ++i) {
        if (!ownClose[size_t(i)]) p.targetsLater[size_t(i) * outputCount] = carry;
        else carry = p.targetsFirst[size_t(i) * outputCount];
    }
    return p;
}

bool train(NeuralNetwork& net, const TrainingPatterns& p, int passes, std::vector<double>& errors,
           const std::function<bool(int)>& afterPass) {
    errors.reserve(size_t(std::max(0, passes)));
    for (int pass = 1; pass <= passes; ++pass) {
        const float* in = p.inputs.data();
        const float* tg = pass == 1 ? p.targetsFirst.data() : p.targetsLater.data();
        for (int i = 0; i < p.count; ++i) net.Train(in + size_t(i) * inputCount, tg + size_t(i) * outputCount);
        errors.push_back(net.GetMSE());
        if (!afterPass(pass)) return false;
    }
    return true;
}

PeriodForecast periodForecast(const std::array<float, outputCount>& outputs, const WindowRanges& r) {
    auto checked = [](double v) {
        if (!std::isfinite(v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
            throw VelkorError(texts::integerOverflow(fmt::shortest(v)));
        return int(v);
    };
    PeriodForecast f;
    f.close = scaleBack(r.close[1], r.close[2], outputs[0]);
    f.scaled = fmt::frac6(outputs[0]);
    // The high above the close by the window's highest high over its lowest close, the low
    // below it by the highest close over the lowest low.
    f.high = checked(double(f.close) + roundEven32(outputs[1] * (double(r.high[0]) - r.close[1])));
    f.low = checked(double(f.close) - roundEven32(outputs[2] * (double(r.close[0]) - r.low[1])));
    return f;
}

int signal(double ddc, double dbb, double dbs) {
    if (ddc > dbb) return 1;
    if (ddc < dbs) return -1;
    return 0;
}

QString signalText(int sgn) {
    return sgn == 1 ? QStringLiteral("買") : sgn == -1 ? QStringLiteral("売") : QString();
}

QString resultText(int rst) {
    return rst == 1 ? QStringLiteral("○") : rst == -1 ? QStringLiteral("×") : QString();
}

QString periodTime(const QString& hm, int p, int stepSeconds) {
    QTime t = QTime::fromString(hm.trimmed(), QStringLiteral("hh:mm"));
    if (!t.isValid()) t = QTime::fromString(hm.trimmed(), QStringLiteral("H:mm"));
    if (!t.isValid()) return {};
    // addSecs wraps at midnight; the step count is reduced first so it cannot overflow.
    const qint64 secs = (qint64(p) * stepSeconds) % 86400;
    return t.addSecs(int(secs)).toString(QStringLiteral("HH:mm"));
}

}  // namespace forecast
