// The verification chart: six series in order, their looks, and where each point stands.
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <gtest/gtest.h>

#include "window/Chart.h"

namespace {

QXYSeries* series(QChartView& v, int i) { return qobject_cast<QXYSeries*>(v.chart()->series().at(i)); }

QList<QPointF> points(QChartView& v, int i) { return series(v, i)->points(); }

ChartRun fourHourRun(bool verified) {
    ChartRun r;
    r.series = 3;
    r.title = QStringLiteral("FX予測検証 ﾁｬｰﾄ(4時間足)");
    r.baseLabel = QStringLiteral("08:00");
    r.baseClose = 150000;
    r.sellAtLow = false;
    r.periods = {{QStringLiteral("12:00"), 150100, verified ? 150050 : 0, 150300, 149900, -1},
                 {QStringLiteral("16:00"), 149950, verified ? 149800 : 0, 150200, 149700, 1}};
    return r;
}

TEST(Chart, SixSeriesInOrderWithTheirLooks) {
    QChartView v;
    drawVerificationChart(&v, fourHourRun(true));
    QStringList names, titles;
    for (QAbstractSeries* s : v.chart()->series()) {
        names << s->objectName();
        titles << s->name();
    }
    EXPECT_EQ(names, (QStringList{"S3CL", "S3HV", "S3LV", "S3YCL", "S3PB", "S3PS"}));
    EXPECT_EQ(titles, (QStringList{"実終値", "高値", "安値", "予測終値", "買ｻｲﾝ", "売ｻｲﾝ"}));
    EXPECT_EQ(series(v, 0)->pen().width(), 8);
    EXPECT_EQ(series(v, 0)->pen().color(), QColor(255, 0, 0));
    EXPECT_EQ(series(v, 3)->pen().width(), 8);
    EXPECT_EQ(series(v, 3)->pen().color(), QColor(0, 255, 0));
    for (int i : {0, 1, 2, 3}) EXPECT_EQ(v.chart()->series().at(i)->type(), QAbstractSeries::SeriesTypeLine);
    auto* buy = qobject_cast<QScatterSeries*>(v.chart()->series().at(4));
    auto* sell = qobject_cast<QScatterSeries*>(v.chart()->series().at(5));
    ASSERT_TRUE(buy && sell);
    EXPECT_EQ(buy->color(), QColor(255, 0, 0));
    EXPECT_EQ(sell->color(), QColor(0, 0, 255));
    // Up and down triangles: the top row of the buy marker is mostly empty, of the sell marker full.
    const QImage up = buy->lightMarker(), down = sell->lightMarker();
    ASSERT_FALSE(up.isNull() || down.isNull());
    EXPECT_EQ(qAlpha(up.pixel(1, 2)), 0);
    EXPECT_GT(qAlpha(down.pixel(1, 2)), 0);
    EXPECT_EQ(v.chart()->title(), QStringLiteral("FX予測検証 ﾁｬｰﾄ(4時間足)"));
    EXPECT_EQ(v.chart()->titleFont().pointSize(), 14);
    EXPECT_TRUE(v.chart()->legend()->isVisible());
    EXPECT_EQ(v.chart()->legend()->markerShape(), QLegend::MarkerShapeFromSeries);  // triangles in the legend too
    const auto left = v.chart()->axes(Qt::Vertical);
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0]->titleText(), QStringLiteral("(円)"));
    EXPECT_TRUE(left[0]->isTitleVisible());
    const auto bottom = v.chart()->axes(Qt::Horizontal);
    ASSERT_EQ(bottom.size(), 1);
    EXPECT_EQ(qobject_cast<QBarCategoryAxis*>(bottom[0])->categories(), (QStringList{"08:00", "12:00", "16:00"}));
}

// A fully verified 4-hour run: every line has a point at the base bar and at both periods;
// the signals stand at their own period, a sell at the high in this chart.
TEST(Chart, VerifiedRunPointsAtTheirOwnPositions) {
    QChartView v;
    drawVerificationChart(&v, fourHourRun(true));
    EXPECT_EQ(points(v, 0), (QList<QPointF>{{0, 150000}, {1, 150050}, {2, 149800}}));
    EXPECT_EQ(points(v, 1), (QList<QPointF>{{0, 150000}, {1, 150300}, {2, 150200}}));
    EXPECT_EQ(points(v, 2), (QList<QPointF>{{0, 150000}, {1, 149900}, {2, 149700}}));
    EXPECT_EQ(points(v, 3), (QList<QPointF>{{0, 150000}, {1, 150100}, {2, 149950}}));
    EXPECT_EQ(points(v, 4), (QList<QPointF>{{2, 150200}}));
    EXPECT_EQ(points(v, 5), (QList<QPointF>{{1, 150300}}));
}

// A pending 5-minute run: the actual close has only the base point; a sell stands at the
// low; a period without signal adds nothing; drawing again leaves six series.
TEST(Chart, PendingFiveMinuteRun) {
    ChartRun r;
    r.series = 1;
    r.title = QStringLiteral("FX予測検証 ﾁｬｰﾄ(05分足)");
    r.baseLabel = QStringLiteral("23:50");
    r.baseClose = 150000;
    r.sellAtLow = true;
    r.periods = {{QStringLiteral("23:55"), 150010, 0, 150100, 149900, 0},
                 {QStringLiteral("00:00"), 149990, 0, 150050, 149850, -1},
                 {QStringLiteral("00:05"), 150030, 0, 150150, 149950, 1},
                 {QStringLiteral("00:10"), 150000, 0, 150120, 149880, -1}};
    QChartView v;
    drawVerificationChart(&v, r);
    drawVerificationChart(&v, r);
    ASSERT_EQ(v.chart()->series().size(), 6);
    EXPECT_EQ(points(v, 0), (QList<QPointF>{{0, 150000}}));
    for (int i : {1, 2, 3}) EXPECT_EQ(points(v, i).size(), 5);
    EXPECT_EQ(points(v, 4), (QList<QPointF>{{3, 150150}}));
    EXPECT_EQ(points(v, 5), (QList<QPointF>{{2, 149850}, {4, 149880}}));
    EXPECT_EQ(v.chart()->axes().size(), 2);

    clearVerificationChart(&v);
    EXPECT_TRUE(v.chart()->series().isEmpty());
    EXPECT_TRUE(v.chart()->axes().isEmpty());
}

// A run drawn over the chart of another run of the same page looks exactly like it drawn on
// an empty chart: no point, label or range of the earlier run stays.
TEST(Chart, RedrawnRunLeavesNothingOfTheEarlierOne) {
    ChartRun next = fourHourRun(false);
    next.baseLabel = QStringLiteral("20:00");
    next.baseClose = 0;
    next.periods = {{QStringLiteral("00:00"), 140000, 0, 0, 0, 0}};
    QChartView reused, fresh;
    drawVerificationChart(&reused, fourHourRun(true));
    drawVerificationChart(&reused, next);
    drawVerificationChart(&fresh, next);
    ASSERT_EQ(reused.chart()->series().size(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(points(reused, i), points(fresh, i)) << i;
        EXPECT_EQ(series(reused, i)->attachedAxes().size(), 2) << i;
    }
    auto* xr = qobject_cast<QBarCategoryAxis*>(reused.chart()->axes(Qt::Horizontal).value(0));
    auto* xf = qobject_cast<QBarCategoryAxis*>(fresh.chart()->axes(Qt::Horizontal).value(0));
    ASSERT_TRUE(xr && xf);
    EXPECT_EQ(xr->categories(), (QStringList{"20:00", "00:00"}));
    auto* yr = qobject_cast<QValueAxis*>(reused.chart()->axes(Qt::Vertical).value(0));
    auto* yf = qobject_cast<QValueAxis*>(fresh.chart()->axes(Qt::Vertical).value(0));
    ASSERT_TRUE(yr && yf);
    EXPECT_EQ(yr->min(), yf->min());
    EXPECT_EQ(yr->max(), yf->max());
    EXPECT_EQ(reused.chart()->axes().size(), 2);
}

}  // namespace
