// How the forecast run reads the training table: it starts training from the rows the browse
// view holds while the table is read, and must end up exactly where a run on the table does;
// the browse view follows the table when its grid is shown.
#include <QTabWidget>
#include <QTableView>
#include <functional>
#include <gtest/gtest.h>

#include "app/Format.h"
#include "forecast/Forecast.h"
#include "test_forecast_fixture.h"
#include "ui_VelkorU.h"

namespace {

constexpr int kBars = 40;

QStringList storedDetails(ForecastFixture& f, int tbid) {
    return queryRows(&f.w->dm.csq,
                     QStringLiteral("select YKNO, YGCL, HG, LG, DCR, SGN from F03VDT where TBID = %1 order by CNT").arg(tbid),
                     QLatin1Char(' '));
}

// The details a run on `ref` stores.
QStringList expectedDetails(const Reference& ref, const Timeframe& t) {
    QStringList out;
    for (int p = 0; p < t.ityk; ++p) {
        const std::array<float, 3>& o = ref.outputs[size_t(p)];
        const int ygcl = ClRSc(ref.cvMin, ref.cvMax - ref.cvMin, o[0]);
        const int hg = ygcl + roundEven32(o[1] * double(ref.hvMax - ref.cvMin));
        const int lg = ygcl - roundEven32(o[2] * double(ref.cvMax - ref.lvMin));
        const double dcr = fmt::frac6(o[0]).toDouble();
        out << QStringLiteral("%1 %2 %3 %4 %5 %6")
                   .arg(p + 1)
                   .arg(ygcl)
                   .arg(hg)
                   .arg(lg)
                   .arg(fmt::shortest(dcr))
                   .arg(forecast::signal(dcr, t.dbb, t.dbs));
    }
    return out;
}

// The browse view as the training table builder leaves it.
void reopenBrowse(ForecastFixture& f, const Timeframe& t) {
    f.w->stdb = QStringLiteral("csm");
    f.w->stnm = t.trainingTable;
    f.w->swh = QStringLiteral(" order by CNT ");
    f.w->ucSql(1);
    Query& q = f.w->dm.trainingQuery(t.index);
    q.Close();
    q.setSql(f.w->sqw);
    q.Open();
    q.Last();
}

// The table changed after the browse view was opened: the run trains on the table, not on
// the view, and presents the same number of passes.
TEST(ForecastRead, TrainsOnTheTableWhenTheBrowseViewDiffers) {
    struct Case {
        const char* what;
        int code;
        std::function<void(ForecastFixture&, const Timeframe&)> change;
    };
    auto exec = [](ForecastFixture& f, const QString& sql) { ASSERT_TRUE(f.exec(QStringLiteral("csm"), sql)) << sql.toStdString(); };
    const Case cases[] = {
        {"a row gone, values changed", 5,
         [&](ForecastFixture& f, const Timeframe& t) {
             exec(f, QStringLiteral("delete from %1 where CNT = 10").arg(t.trainingTable));
             exec(f, QStringLiteral("update %1 set SIN = 0.125, CV3 = 0.75 where CNT = 20").arg(t.trainingTable));
         }},
        {"the view holds a value that is no number", 80,
         [&](ForecastFixture& f, const Timeframe& t) {
             exec(f, QStringLiteral("update %1 set M203 = 'x' where CNT = 5").arg(t.trainingTable));
             reopenBrowse(f, t);
             exec(f, QStringLiteral("update %1 set M203 = 0.5 where CNT = 5").arg(t.trainingTable));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ForecastFixture f;
        const Timeframe& t = f.t(c.code);
        f.fillTraining(c.code, kBars);
        c.change(f, t);
        f.setPasses(c.code, QStringLiteral("5"));
        const Reference ref = referenceRun(f, t, 5, 7u);
        f.run(c.code);
        ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
        EXPECT_EQ(storedDetails(f, t.tbid), expectedDetails(ref, t));
        EXPECT_EQ(f.readBytes(t.networkFile), ref.network);
        EXPECT_EQ(f.w->findChild<QLabel*>(QStringLiteral("d12ms2L"))->text(), fmt::frac6(ref.mse));
        EXPECT_EQ(f.sprogress.starts, 1);
        EXPECT_EQ(f.sprogress.updates, 1);
        EXPECT_EQ(f.sprogress.ends, 1);
    }
}

// A table whose rows are all gone after the browse view was opened is refused as an empty
// one is, and nothing is stored.
TEST(ForecastRead, EmptiedTableIsRefusedThoughTheBrowseViewHasRows) {
    ForecastFixture f;
    f.fillTraining(30, kBars);
    ASSERT_TRUE(f.exec(QStringLiteral("csm"), QStringLiteral("delete from F02R30M")));
    f.setPasses(30, QStringLiteral("3"));
    f.run(30);
    ASSERT_EQ(f.dialogs.errors.size(), 1);
    EXPECT_TRUE(f.dialogs.errors[0].contains(QStringLiteral("F02R30M"))) << f.dialogs.errors[0].toStdString();
    EXPECT_EQ(f.count(QStringLiteral("select count(*) from F03V30H")), 0);
    EXPECT_EQ(f.sprogress.starts, 0);
    EXPECT_EQ(f.w->TarselFann, nullptr);
}

// The value ranges a run leaves in the working state are those of the range query on the
// base bar's window, with gaps in CNT (at both ends of the window) and empty values.
TEST(ForecastRead, RangesAreThoseOfTheRangeQuery) {
    constexpr int bars = 260;  // more than the window of 200
    ForecastFixture f;
    const Timeframe& t = f.t(5);
    f.fillTraining(5, bars);
    ASSERT_TRUE(f.exec(QStringLiteral("csm"),
                       QStringLiteral("update F02R05M set M051 = 150000 + CNT * 37 % 91, M201 = 149000 + CNT * 11 % 53, "
                                      "M1H1 = 148000 + CNT * 7 % 29, ATR1 = CNT * 0.015 where CNT <= %1 and CNT % 6 <> 0")
                           .arg(bars)));
    ASSERT_TRUE(f.exec(QStringLiteral("csm"), QStringLiteral("update F02R05M set HV1 = 151000 where CNT = 61")));
    ASSERT_TRUE(f.exec(QStringLiteral("csm"), QStringLiteral("update F02R05M set LV1 = 140000 where CNT = 60")));
    ASSERT_TRUE(f.exec(QStringLiteral("csm"), QStringLiteral("delete from F02R05M where CNT in (62, 150, 259)")));
    f.setPasses(5, QStringLiteral("1"));
    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    const auto ranges = [&] {
        return std::make_tuple(f.w->icvt, f.w->ihvt, f.w->ilvt, f.w->im05t, f.w->im20t, f.w->im1ht, f.w->datt);
    };
    const auto run = ranges();
    EXPECT_NE(f.w->im05t[2], 0);  // the window has values in every column
    EXPECT_NE(f.w->datt[2], 0.0);
    f.w->stnm = t.trainingTable;
    f.w->fqHLn(bars, t.itkn);
    EXPECT_EQ(run, ranges());
    EXPECT_EQ(f.w->ihvt[0], 151000);  // CNT 61 is in the window, CNT 60 is not
    EXPECT_NE(f.w->ilvt[1], 140000);
}

// After a run the browse view shows the written forecasts once its grid is shown, and at
// once when the grid is on screen during the run.
TEST(ForecastRead, BrowseViewShowsTheForecastsWhenItsGridIsShown) {
    ForecastFixture f;
    f.fillTraining(5, kBars);
    f.setPasses(5, QStringLiteral("2"));
    QStringList forecasts;
    auto placeholders = [&] {
        const Query& b = f.w->dm.trainingQuery(0);
        const int cv1 = b.FieldIndex(QStringLiteral("CV1"));
        QStringList out;
        for (int r = b.RecordCount() - 4; r < b.RecordCount(); ++r) out << b.ValueAt(r, cv1).asString();
        return out;
    };
    auto grid = [&] {
        QAbstractItemModel* m = f.w->ui->fDG->model();
        int col = -1;
        for (int c = 0; c < m->columnCount(); ++c)
            if (m->headerData(c, Qt::Horizontal).toString() == QStringLiteral("終値1")) col = c;
        QStringList out;
        for (int r = m->rowCount() - 4; r < m->rowCount(); ++r) out << m->data(m->index(r, col)).toString();
        return out;
    };

    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    forecasts = QString(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(YGCL, ' ') from (select YGCL from F03VDT where HCNT = 1 order by CNT)"))).split(' ');
    ASSERT_EQ(forecasts.size(), 4);

    f.w->show();
    f.w->ui->pc->setCurrentWidget(f.w->ui->fts);
    ASSERT_TRUE(f.w->ui->fDG->isVisible());
    EXPECT_EQ(placeholders(), forecasts);
    EXPECT_EQ(grid(), forecasts);
    EXPECT_EQ(f.w->dm.trainingQuery(0).RecNo(), f.w->dm.trainingQuery(0).RecordCount() - 1);

    // A run while the grid is on screen (its forecasts differ: the network has other passes).
    f.setPasses(5, QStringLiteral("4"));
    f.run(5);
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join('\n').toStdString();
    forecasts = QString(f.scalar(QStringLiteral("csq"), QStringLiteral("select group_concat(YGCL, ' ') from (select YGCL from F03VDT where HCNT = 2 order by CNT)")))
                    .split(' ');
    EXPECT_EQ(placeholders(), forecasts);
    EXPECT_EQ(grid(), forecasts);
    f.w->hide();
}

}  // namespace
