// The report's chart (Qt Charts) in the window's dark look: one panel per forecast period, the
// verdict under them, in one image.
#include "window/BacktestChart.h"

#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QPainter>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>

#include "backtest/Report.h"
#include "backtest/ReportTexts.h"
#include "window/DarkStyle.h"
#include "window/Fonts.h"

namespace {

using evaluation::ReportTexts;

constexpr int textPixels = 15;

QLineSeries* line(QChart* c, const QString& name, const QColor& colour, Qt::PenStyle style, qreal width) {
    auto* s = new QLineSeries;
    s->setName(name);
    c->addSeries(s);  // the theme decorates the series here; its own pen is set afterwards
    s->setPen(QPen(colour, width, style));
    return s;
}

// A base bar's local date and time as the axis places it (the pages show local times as stored).
qreal timeOf(const QString& local) {
    const QDateTime t(QDate::fromString(local.left(10), QStringLiteral("yyyy/MM/dd")),
                      QTime::fromString(local.mid(11), QStringLiteral("HH:mm")), Qt::LocalTime);
    return qreal(t.toMSecsSinceEpoch());
}

QDateTimeAxis* timeAxis(const std::vector<evaluation::RunningPoint>& points) {
    auto* x = new QDateTimeAxis;
    x->setTitleText(ReportTexts::timeAxis());
    x->setFormat(QStringLiteral("yyyy/MM/dd"));
    x->setTickCount(5);
    if (!points.empty()) {
        qreal first = timeOf(points.front().baseTime), last = timeOf(points.back().baseTime);
        if (last <= first) last = first + 3600000;  // one point: an hour wide
        x->setRange(QDateTime::fromMSecsSinceEpoch(qint64(first)), QDateTime::fromMSecsSinceEpoch(qint64(last)));
        if (last - first < 3 * 86400000.0) x->setFormat(QStringLiteral("MM/dd HH:mm"));
    }
    return x;
}

// One period's panel: the overlap-aware band, the running hit rate, "always up", persistence
// and the 50 % line, in percent over the base bars' local times.
QChart* periodChart(const backtest::PeriodFigures& f) {
    const evaluation::PeriodEvaluation& e = f.evaluation;
    auto* c = new QChart;
    c->setTheme(QChart::ChartThemeDark);
    c->setBackgroundRoundness(0);
    c->setMargins(QMargins(4, 4, 4, 4));
    c->setTitleFont(velkorFont(textPixels + 1));
    const QString rate = e.n > 0 ? ReportTexts::percent(double(e.hits) / e.n) : QStringLiteral("-");
    c->setTitle(ReportTexts::panelTitle(e.period, e.n, rate, QString::number(e.effectiveN, 'f', 1)));
    auto* upper = new QLineSeries, *lower = new QLineSeries;
    auto* band = new QAreaSeries(upper, lower);
    upper->setParent(band);
    lower->setParent(band);
    band->setName(ReportTexts::bandArea());
    c->addSeries(band);  // first: drawn under the lines
    band->setColor(QColor(90, 150, 255, 70));
    band->setBorderColor(QColor(90, 150, 255, 110));
    auto* hits = line(c, ReportTexts::hitRateLine(), QColor(120, 180, 255), Qt::SolidLine, 2.5);
    auto* up = line(c, ReportTexts::alwaysUpLine(), QColor(255, 110, 110), Qt::DashLine, 2);
    auto* persistence = line(c, ReportTexts::persistenceLine(), QColor(255, 190, 60), Qt::DashDotLine, 2);
    auto* half = line(c, ReportTexts::halfLine(), QColor(200, 200, 200), Qt::DotLine, 1.5);
    for (const evaluation::RunningPoint& p : e.running) {
        const qreal t = timeOf(p.baseTime);
        upper->append(t, 100 * p.high);
        lower->append(t, 100 * p.low);
        hits->append(t, 100 * p.rate);
        up->append(t, 100 * p.alwaysUp);
        persistence->append(t, 100 * p.persistence);
    }
    QDateTimeAxis* x = timeAxis(e.running);
    half->append(qreal(x->min().toMSecsSinceEpoch()), 50);
    half->append(qreal(x->max().toMSecsSinceEpoch()), 50);
    auto* y = new QValueAxis;
    y->setTitleText(ReportTexts::rateAxis());
    y->setRange(0, 100);
    y->setTickCount(6);
    y->setLabelFormat(QStringLiteral("%d"));
    c->addAxis(x, Qt::AlignBottom);
    c->addAxis(y, Qt::AlignLeft);
    for (QAbstractAxis* a : {static_cast<QAbstractAxis*>(x), static_cast<QAbstractAxis*>(y)}) {
        a->setLabelsFont(velkorFont(textPixels - 2));
        a->setTitleFont(velkorFont(textPixels - 2));
    }
    for (QAbstractSeries* s : c->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    c->legend()->setAlignment(Qt::AlignBottom);
    c->legend()->setFont(velkorFont(textPixels - 2));
    return c;
}

QString titleOf(const backtest::Report& r) {
    if (r.live) return ReportTexts::liveTitle(r.timeframeName, r.steps, r.from, r.to);
    return ReportTexts::backtestTitle(r.timeframeName, r.from, r.to, r.every, r.steps, r.seed, r.passes, r.readDays);
}

}  // namespace

QImage backtestChartImage(const backtest::Report& r, const QSize& size) {
    // Laid out at about 1200 x 800 and drawn scaled to the image, so that texts grow with it.
    const qreal scale = std::max(0.5, std::min(size.width() / 1200.0, size.height() / 800.0));
    const QSizeF layout = QSizeF(size) / scale;
    const QPalette palette = velkorDarkPalette();
    QGraphicsScene scene(QRectF(QPointF(0, 0), layout));
    scene.setBackgroundBrush(palette.color(QPalette::Window));
    constexpr qreal titleHeight = 34, verdictHeight = 64;
    auto* title = scene.addSimpleText(titleOf(r));
    QFont font = velkorFont(textPixels + 3);
    font.setBold(true);
    title->setFont(font);
    title->setBrush(palette.color(QPalette::WindowText));
    title->setPos(12, 6);
    auto* verdict = scene.addText(r.verdict, velkorFont(textPixels));
    verdict->setDefaultTextColor(palette.color(QPalette::WindowText));
    verdict->setTextWidth(layout.width() - 24);
    verdict->setPos(12, layout.height() - verdictHeight + 4);

    const int count = int(r.periods.size());
    const int columns = count > 2 ? 2 : 1;
    const int rows = (count + columns - 1) / columns;
    const QSizeF cell(layout.width() / columns, (layout.height() - titleHeight - verdictHeight) / std::max(rows, 1));
    for (int i = 0; i < count; ++i) {
        QChart* c = periodChart(r.periods[size_t(i)]);
        scene.addItem(c);
        c->setGeometry(QRectF(QPointF((i % columns) * cell.width(), titleHeight + (i / columns) * cell.height()), cell));
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(palette.color(QPalette::Window));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&p, QRectF(QPointF(0, 0), QSizeF(size)), scene.sceneRect(), Qt::IgnoreAspectRatio);
    return image;
}
