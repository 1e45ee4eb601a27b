// The verification chart of the forecast pages (Qt Charts).
#include "window/Chart.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTableWidget>
#include <QLabel>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <array>

#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/Texts.h"
#include "app/Timeframe.h"
#include "db/SqlBuilder.h"
#include "forecast/Forecast.h"
#include "window/Fonts.h"
#include "window/VelkorU.h"

namespace {

const QColor red(255, 0, 0);
const QColor green(0, 255, 0);
const QColor blue(0, 0, 255);
constexpr int markerSize = 18;

// A filled triangle pointing up or down, drawn as the point marker of a signal series. Its
// white outline sets it apart from a line of the same colour beneath it.
QImage triangle(const QColor& colour, bool up) {
    QImage img(markerSize, markerSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const qreal s = markerSize;
    if (up) {
        path.moveTo(s / 2, 1);
        path.lineTo(s - 1, s - 2);
        path.lineTo(1, s - 2);
    } else {
        path.moveTo(1, 2);
        path.lineTo(s - 1, 2);
        path.lineTo(s / 2, s - 1);
    }
    path.closeSubpath();
    p.fillPath(path, colour);
    p.strokePath(path, QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    return img;
}

// The pixel size of axis labels, axis titles and legend for a chart view of this height:
// readable at the design size, and growing with the window.
int chartTextPixels(int height) { return std::clamp(int(std::lround(11 + height / 60.0)), 14, 22); }

// Gives the chart's axes and legend the text size that suits the view's height now.
void applyChartFonts(QChartView* view) {
    QChart* c = view->chart();
    const QFont f = velkorFont(chartTextPixels(view->height()));
    if (c->legend()->font() != f) c->legend()->setFont(f);
    for (QAbstractAxis* a : c->axes()) {
        if (a->labelsFont() != f) a->setLabelsFont(f);
        if (a->titleFont() != f) a->setTitleFont(f);
    }
}

// Keeps the chart's texts sized to the view as the window is resized.
class ChartFonts : public QObject {
public:
    explicit ChartFonts(QChartView* view) : QObject(view) { view->installEventFilter(this); }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Resize) applyChartFonts(static_cast<QChartView*>(o));
        return false;
    }
};

// The chart's look, set once per view: dark theme to match the window.
QChart* preparedChart(QChartView* view) {
    QChart* c = view->chart();
    if (!c->property("velkorPrepared").toBool()) {
        c->setTheme(QChart::ChartThemeDark);
        c->setBackgroundRoundness(0);
        c->setMargins(QMargins(4, 4, 4, 4));
        view->setRenderHint(QPainter::Antialiasing);
        view->setBackgroundBrush(c->backgroundBrush());
        c->legend()->setVisible(true);
        c->legend()->setAlignment(Qt::AlignBottom);
        c->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);  // lines as lines, signals as triangles
        new ChartFonts(view);
        applyChartFonts(view);
        c->setProperty("velkorPrepared", true);
    }
    return c;
}

void clearChart(QChart* c) {
    c->removeAllSeries();  // the removed series are deleted
    const QList<QAbstractAxis*> axes = c->axes();
    for (QAbstractAxis* a : axes) {
        c->removeAxis(a);
        delete a;
    }
}

template <class S>
S* addSeries(QChart* c, const QString& name, const QString& title) {
    auto* s = new S;
    s->setObjectName(name);
    s->setName(title);
    c->addSeries(s);  // the theme decorates the series here; its own look is set afterwards
    return s;
}

void thickLine(QLineSeries* s, const QColor& colour) {
    QPen pen = s->pen();
    pen.setWidth(8);
    pen.setColor(colour);
    s->setPen(pen);
    s->setColor(colour);
}

void signalMarker(QScatterSeries* s, const QColor& colour, bool up) {
    s->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    s->setMarkerSize(markerSize);
    s->setColor(colour);
    s->setBorderColor(colour);
    s->setLightMarker(triangle(colour, up));
}

}  // namespace

void prepareChartView(QChartView* view) {
    if (view) preparedChart(view);
}

void clearVerificationChart(QChartView* view) {
    if (!view) return;
    clearChart(preparedChart(view));
}

namespace {

// The points of a run's six series in the order actual close, high, low, forecast close,
// buy signals, sell signals, the bottom axis's labels and the range of the prices.
struct ChartPoints {
    std::array<QList<QPointF>, 6> series;
    QStringList categories;
    double lo = 0, hi = 0;
};

ChartPoints chartPoints(const ChartRun& run) {
    ChartPoints c;
    // Bottom axis: the base bar's time, then every period's time. Categories must differ,
    // so a repeated label gets invisible marks appended.
    auto addCategory = [&](QString label) {
        while (c.categories.contains(label)) label += QChar(0x200B);
        c.categories.append(label);
    };
    addCategory(run.baseLabel);
    for (const ChartRun::Period& p : run.periods) addCategory(p.label);
    bool any = false;
    auto add = [&](int s, qreal x, int v, bool counts = true) {
        c.series[size_t(s)].append({x, qreal(v)});
        if (!counts) return;
        if (!any) { c.lo = c.hi = v; any = true; }
        c.lo = std::min(c.lo, double(v));
        c.hi = std::max(c.hi, double(v));
    };
    const int v = run.baseClose;
    add(0, 0, v);
    add(3, 0, v);
    if (v > 0) {
        add(1, 0, v);
        add(2, 0, v);
    }
    for (size_t i = 0; i < run.periods.size(); ++i) {
        const ChartRun::Period& p = run.periods[i];
        const qreal x = qreal(i + 1);
        add(3, x, p.ygcl);
        if (p.jgcl > 0) add(0, x, p.jgcl);
        if (p.hg > 0) add(1, x, p.hg);
        if (p.lg > 0) add(2, x, p.lg);
        if (p.sgn == 1) add(4, x, p.hg, false);
        else if (p.sgn == -1) add(5, x, run.sellAtLow ? p.lg : p.hg, false);
    }
    return c;
}

// The six series of a run's chart (named S1CL .. S1PS by its series digit) on a category
// axis at the bottom and a price axis on the left.
void buildVerificationChart(QChart* c, int seriesDigit, const ChartPoints& points) {
    clearChart(c);
    static const char* const names[] = {"S%1CL", "S%1HV", "S%1LV", "S%1YCL", "S%1PB", "S%1PS"};
    const QString n = QString::number(seriesDigit);
    auto name = [&](int i) { return QString::fromLatin1(names[i]).arg(n); };
    auto* line = addSeries<QLineSeries>(c, name(0), QStringLiteral("実終値"));
    addSeries<QLineSeries>(c, name(1), QStringLiteral("高値"));
    addSeries<QLineSeries>(c, name(2), QStringLiteral("安値"));
    auto* forecastLine = addSeries<QLineSeries>(c, name(3), QStringLiteral("予測終値"));
    auto* buy = addSeries<QScatterSeries>(c, name(4), QStringLiteral("買ｻｲﾝ"));
    auto* sell = addSeries<QScatterSeries>(c, name(5), QStringLiteral("売ｻｲﾝ"));
    thickLine(line, red);
    thickLine(forecastLine, green);
    signalMarker(buy, red, true);
    signalMarker(sell, blue, false);
    auto* xAxis = new QBarCategoryAxis;
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(QStringLiteral("(円)"));
    yAxis->setTitleVisible(true);
    yAxis->setLabelFormat(QStringLiteral("%d"));
    c->addAxis(xAxis, Qt::AlignBottom);
    c->addAxis(yAxis, Qt::AlignLeft);
    const QList<QAbstractSeries*> series = c->series();
    for (int i = 0; i < int(series.size()); ++i) {
        series[i]->attachAxis(xAxis);
        series[i]->attachAxis(yAxis);
        static_cast<QXYSeries*>(series[i])->replace(points.series[size_t(i)]);
    }
    xAxis->setCategories(points.categories);
    const double pad = std::max(10.0, (points.hi - points.lo) * 0.1);
    yAxis->setRange(points.lo - pad, points.hi + pad);
    yAxis->applyNiceNumbers();
}

}  // namespace

void drawVerificationChart(QChartView* view, const ChartRun& run) {
    if (!view) return;
    QChart* c = preparedChart(view);
    QFont tf = c->titleFont();
    tf.setPointSize(14);
    c->setTitleFont(tf);
    c->setTitle(run.title);
    c->legend()->setVisible(true);
    buildVerificationChart(c, run.series, chartPoints(run));
    applyChartFonts(view);  // axes built anew take the view's text size
}

void drawLearningCurve(QChartView* view, const std::vector<double>& errors) {
    if (!view) return;
    QChart* c = preparedChart(view);
    clearChart(c);
    QFont tf = c->titleFont();
    tf.setPointSize(14);
    c->setTitleFont(tf);
    c->setTitle(texts::learningCurve);
    c->legend()->setVisible(false);
    if (errors.empty()) return;

    auto* curve = addSeries<QLineSeries>(c, QStringLiteral("MSE"), texts::learningError);
    QPen pen = curve->pen();
    pen.setWidth(3);
    pen.setColor(green);
    curve->setPen(pen);
    QList<QPointF> points;
    double lo = errors.front(), hi = errors.front();
    for (size_t i = 0; i < errors.size(); ++i) {
        points.append({qreal(i + 1), errors[i]});
        lo = std::min(lo, errors[i]);
        hi = std::max(hi, errors[i]);
    }
    curve->replace(points);

    auto* passes = new QValueAxis;
    passes->setTitleText(texts::learningPasses);
    passes->setLabelFormat(QStringLiteral("%d"));
    passes->setRange(0, std::max<qreal>(errors.size(), 2));
    passes->applyNiceNumbers();
    auto* error = new QValueAxis;
    error->setTitleText(texts::learningError);
    error->setLabelFormat(QStringLiteral("%.3g"));
    const double pad = std::max((hi - lo) * 0.05, std::abs(hi) * 0.01 + 1e-9);
    error->setRange(std::max(0.0, lo - pad), hi + pad);
    error->applyNiceNumbers();
    c->addAxis(passes, Qt::AlignBottom);
    c->addAxis(error, Qt::AlignLeft);
    curve->attachAxis(passes);
    curve->attachAxis(error);
    applyChartFonts(view);
}

QImage verificationChartImage(QChartView* view, const QSize& size) {
    QChart* c = preparedChart(view);
    const QRectF shown = c->geometry();
    // The chart is laid out at a size of about a window's page and drawn scaled up to a larger
    // image, so that its texts grow with the image and stay legible.
    const qreal scale = std::max(1.0, std::min(size.width() / 960.0, size.height() / 640.0));
    const QRectF layout(QPointF(0, 0), QSizeF(size) / scale);
    c->setGeometry(layout);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(view->palette().color(QPalette::Window));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    view->scene()->render(&p, QRectF(QPointF(0, 0), QSizeF(size)), layout, Qt::IgnoreAspectRatio);
    p.end();
    c->setGeometry(shown);
    return image;
}
