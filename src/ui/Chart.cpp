// The verification chart of the forecast pages (Qt Charts).
#include "ui/Chart.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTableWidget>
#include <QLabel>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/Texts.h"
#include "app/Timeframe.h"
#include "forecast/Forecast.h"
#include "ui/Fonts.h"
#include "ui/VelkorU.h"

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

void drawVerificationChart(QChartView* view, const ChartRun& run) {
    if (!view) return;
    QChart* c = preparedChart(view);

    QFont tf = c->titleFont();
    tf.setPointSize(14);
    c->setTitleFont(tf);
    c->setTitle(run.title);
    c->legend()->setVisible(true);

    // The series and axes of the run shown before are kept and given the new points (a
    // page shows one timeframe, so they are the same six); otherwise they are built.
    const QString n = QString::number(run.series);
    static const char* const names[] = {"S%1CL", "S%1HV", "S%1LV", "S%1YCL", "S%1PB", "S%1PS"};
    QList<QAbstractSeries*> kept = c->series();
    bool reuse = kept.size() == 6 && c->axes(Qt::Horizontal).size() == 1 && c->axes(Qt::Vertical).size() == 1 &&
                 qobject_cast<QBarCategoryAxis*>(c->axes(Qt::Horizontal).first()) &&
                 qobject_cast<QValueAxis*>(c->axes(Qt::Vertical).first());
    for (int i = 0; reuse && i < 6; ++i) reuse = kept[i]->objectName() == QString::fromLatin1(names[i]).arg(n);
    QXYSeries *cl, *hv, *lv, *ycl, *pb, *ps;
    QBarCategoryAxis* xAxis;
    QValueAxis* yAxis;
    if (reuse) {
        cl = static_cast<QXYSeries*>(kept[0]);
        hv = static_cast<QXYSeries*>(kept[1]);
        lv = static_cast<QXYSeries*>(kept[2]);
        ycl = static_cast<QXYSeries*>(kept[3]);
        pb = static_cast<QXYSeries*>(kept[4]);
        ps = static_cast<QXYSeries*>(kept[5]);
        xAxis = static_cast<QBarCategoryAxis*>(c->axes(Qt::Horizontal).first());
        yAxis = static_cast<QValueAxis*>(c->axes(Qt::Vertical).first());
    } else {
        clearChart(c);
        auto* line = addSeries<QLineSeries>(c, QString::fromLatin1(names[0]).arg(n), QStringLiteral("実終値"));
        hv = addSeries<QLineSeries>(c, QString::fromLatin1(names[1]).arg(n), QStringLiteral("高値"));
        lv = addSeries<QLineSeries>(c, QString::fromLatin1(names[2]).arg(n), QStringLiteral("安値"));
        auto* forecastLine = addSeries<QLineSeries>(c, QString::fromLatin1(names[3]).arg(n), QStringLiteral("予測終値"));
        auto* buy = addSeries<QScatterSeries>(c, QString::fromLatin1(names[4]).arg(n), QStringLiteral("買ｻｲﾝ"));
        auto* sell = addSeries<QScatterSeries>(c, QString::fromLatin1(names[5]).arg(n), QStringLiteral("売ｻｲﾝ"));
        thickLine(line, red);
        thickLine(forecastLine, green);
        signalMarker(buy, red, true);
        signalMarker(sell, blue, false);
        cl = line;
        ycl = forecastLine;
        pb = buy;
        ps = sell;
        xAxis = new QBarCategoryAxis;
        yAxis = new QValueAxis;
        yAxis->setTitleText(QStringLiteral("(円)"));
        yAxis->setTitleVisible(true);
        yAxis->setLabelFormat(QStringLiteral("%d"));
        c->addAxis(xAxis, Qt::AlignBottom);
        c->addAxis(yAxis, Qt::AlignLeft);
        for (QAbstractSeries* s : c->series()) {
            s->attachAxis(xAxis);
            s->attachAxis(yAxis);
        }
    }

    // Bottom axis: the base bar's time, then every period's time. Categories must differ,
    // so a repeated label gets invisible marks appended.
    QStringList categories;
    auto addCategory = [&](QString label) {
        while (categories.contains(label)) label += QChar(0x200B);
        categories.append(label);
    };
    addCategory(run.baseLabel);
    for (const ChartRun::Period& p : run.periods) addCategory(p.label);

    double lo = 0, hi = 0;
    bool any = false;
    auto seen = [&](double v) {
        if (!any) { lo = hi = v; any = true; }
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    };

    QList<QPointF> clPts, hvPts, lvPts, yclPts, pbPts, psPts;
    const int v = run.baseClose;
    clPts.append({0, qreal(v)});
    yclPts.append({0, qreal(v)});
    seen(v);
    if (v > 0) {
        hvPts.append({0, qreal(v)});
        lvPts.append({0, qreal(v)});
    }
    for (size_t i = 0; i < run.periods.size(); ++i) {
        const ChartRun::Period& p = run.periods[i];
        const qreal x = qreal(i + 1);
        yclPts.append({x, qreal(p.ygcl)});
        seen(p.ygcl);
        if (p.jgcl > 0) { clPts.append({x, qreal(p.jgcl)}); seen(p.jgcl); }
        if (p.hg > 0) { hvPts.append({x, qreal(p.hg)}); seen(p.hg); }
        if (p.lg > 0) { lvPts.append({x, qreal(p.lg)}); seen(p.lg); }
        if (p.sgn == 1) pbPts.append({x, qreal(p.hg)});
        else if (p.sgn == -1) psPts.append({x, qreal(run.sellAtLow ? p.lg : p.hg)});
    }
    cl->replace(clPts);
    hv->replace(hvPts);
    lv->replace(lvPts);
    ycl->replace(yclPts);
    pb->replace(pbPts);
    ps->replace(psPts);

    xAxis->setCategories(categories);
    const double pad = std::max(10.0, (hi - lo) * 0.1);
    yAxis->setRange(lo - pad, hi + pad);
    yAxis->applyNiceNumbers();
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

bool readChartRun(TVelkorF& w, int code, const std::function<QString(int)>& label, ChartRun& run) {
    const Timeframe* t = tf(code);
    if (!t) return false;
    w.stnm = QStringLiteral("F03VDT");
    w.ityk = t->ityk;
    Query& hq = w.dm.headerQuery(t->index);
    const QString scn = hq.FieldByName(QStringLiteral("CNT")).AsString();
    if (hq.IsEmpty() || scn.isEmpty()) return false;
    w.swh = QStringLiteral(" where (TBID = ") + t->tbidText() + QStringLiteral(") and (HCNT = ") + scn +
            QStringLiteral(") order by CNT ");
    Query& q4 = w.dm.q4;
    q4.Close();
    w.ucSql(1);
    q4.setSql(w.sqw);
    q4.Open();
    w.applyDisplayWidths(q4, w.stnm);

    run = ChartRun();
    run.series = t->index + 1;
    run.title = t->chartTitle;
    run.baseLabel = label(0);
    run.baseClose = hq.FieldByName(QStringLiteral("CV")).AsInteger();
    run.sellAtLow = t->index == 0;  // the 5-minute chart marks a sell at the low, the others at the high
    w.sa[1] = run.baseLabel;
    q4.First();
    for (int i = 1; i <= w.ityk && !q4.IsEmpty(); ++i) {
        ChartRun::Period p;
        p.label = label(i);
        w.sa[1] = p.label;
        p.ygcl = q4.FieldByName(QStringLiteral("YGCL")).AsInteger();
        p.jgcl = q4.FieldByName(QStringLiteral("JGCL")).AsInteger();
        p.hg = q4.FieldByName(QStringLiteral("HG")).AsInteger();
        p.lg = q4.FieldByName(QStringLiteral("LG")).AsInteger();
        p.sgn = q4.FieldByName(QStringLiteral("SGN")).AsInteger();
        run.periods.push_back(p);
        if (q4.RecNo() + 1 >= q4.RecordCount()) break;  // a run never has fewer rows; never repeat one
        q4.Next();
    }
    return true;
}

void TVelkorF::uq03MCT(int id) {
    const Timeframe* t = tf(id);
    if (!t) return;
    Page& pg = page(t->index);
    // The labels of the base bar and of the periods as the page shows them.
    auto label = [&](int i) {
        if (i == 0) return pg.hmL->text();
        const QTableWidgetItem* cell = pg.sg->item(0, i);
        return cell ? cell->text() : QString();
    };
    ChartRun run;
    if (readChartRun(*this, id, label, run)) drawVerificationChart(pg.cht, run);
    else clearVerificationChart(pg.cht);  // no run to draw: the chart shows nothing rather than an earlier run
}
