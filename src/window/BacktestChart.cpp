// The backtest report's chart (Qt Charts), one panel per forecast period, in one image.
#include "window/BacktestChart.h"

#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>

#include "backtest/Report.h"

namespace {

QLineSeries* line(QChart* c, const QString& name, const QColor& colour, Qt::PenStyle style, qreal width) {
    auto* s = new QLineSeries;
    s->setName(name);
    QPen pen(colour, width, style);
    s->setPen(pen);
    c->addSeries(s);
    return s;
}

// One period's panel: band, running hit rate, persistence and the 50 % line, in percent over
// the steps.
QChart* periodChart(const backtest::PeriodFigures& f, int steps) {
    auto* c = new QChart;
    c->setTheme(QChart::ChartThemeLight);
    c->setBackgroundRoundness(0);
    c->setMargins(QMargins(4, 4, 4, 4));
    const QString rate = f.n > 0 ? QString::number(100.0 * f.hits / f.n, 'f', 1) + QStringLiteral(" %") : QStringLiteral("-");
    c->setTitle(QStringLiteral("Period %1: %2 verified, hit rate %3").arg(f.period).arg(f.n).arg(rate));
    auto* upper = new QLineSeries, *lower = new QLineSeries;
    auto* band = new QAreaSeries(upper, lower);
    upper->setParent(band);
    lower->setParent(band);
    band->setName(QStringLiteral("Wilson 95 %"));
    band->setColor(QColor(20, 80, 200, 50));
    band->setBorderColor(QColor(20, 80, 200, 90));
    c->addSeries(band);  // first: drawn under the lines
    auto* hits = line(c, QStringLiteral("hit rate"), QColor(20, 80, 200), Qt::SolidLine, 2.5);
    auto* persistence = line(c, QStringLiteral("persistence"), QColor(230, 120, 0), Qt::DashLine, 2);
    auto* half = line(c, QStringLiteral("50 %"), QColor(90, 90, 90), Qt::DotLine, 1.5);
    for (const backtest::RunningPoint& p : f.running) {
        upper->append(p.step, 100 * p.high);
        lower->append(p.step, 100 * p.low);
        hits->append(p.step, 100 * p.rate);
        persistence->append(p.step, 100 * p.persistence);
    }
    half->append(1, 50);
    half->append(std::max(steps, 2), 50);

    auto* x = new QValueAxis, *y = new QValueAxis;
    x->setTitleText(QStringLiteral("step (base bar in order)"));
    x->setRange(1, std::max(steps, 2));
    x->setLabelFormat(QStringLiteral("%d"));
    // Ticks at whole steps: multiples of 1, 2 or 5 times a power of ten, about six of them.
    double interval = 1;
    for (double scale = 1; (steps - 1) / interval > 6; scale *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if ((steps - 1) / interval > 6) interval = m * scale;
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(interval);
    y->setTitleText(QStringLiteral("hit rate %"));
    y->setRange(0, 100);
    y->setTickCount(6);
    y->setLabelFormat(QStringLiteral("%d"));
    c->addAxis(x, Qt::AlignBottom);
    c->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : c->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    c->legend()->setAlignment(Qt::AlignBottom);
    return c;
}

}  // namespace

QImage backtestChartImage(const backtest::Report& r, const QSize& size) {
    // Laid out at about 1200 x 800 and drawn scaled to the image, so that texts grow with it.
    const qreal scale = std::max(0.5, std::min(size.width() / 1200.0, size.height() / 800.0));
    const QSizeF layout = QSizeF(size) / scale;
    QGraphicsScene scene(QRectF(QPointF(0, 0), layout));
    const int count = int(r.periods.size());
    const int columns = count > 2 ? 2 : 1;
    const int rows = (count + columns - 1) / columns;
    constexpr qreal titleHeight = 36;
    auto* title = scene.addSimpleText(QStringLiteral("Backtest %1: %2 to %3, every %4, %5 steps, seed %6, %7 passes, %8 read days")
                                          .arg(r.timeframe).arg(r.from, r.to).arg(r.every).arg(r.steps).arg(r.seed)
                                          .arg(r.passes).arg(r.readDays));
    QFont font = title->font();
    font.setPixelSize(18);
    font.setBold(true);
    title->setFont(font);
    title->setPos(12, 8);
    const QSizeF cell((layout.width()) / columns, (layout.height() - titleHeight) / std::max(rows, 1));
    for (int i = 0; i < count; ++i) {
        QChart* c = periodChart(r.periods[size_t(i)], r.steps);
        scene.addItem(c);
        c->setGeometry(QRectF(QPointF((i % columns) * cell.width(), titleHeight + (i / columns) * cell.height()), cell));
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&p, QRectF(QPointF(0, 0), QSizeF(size)), scene.sceneRect(), Qt::IgnoreAspectRatio);
    return image;
}
