// Verification: pending forecasts paired with the bars that followed their base bar.
#include <gtest/gtest.h>

#include "support/Fixture.h"

namespace {
// A 5-minute training table: bars from 2024/01/05 23:40 every 5 minutes, then 4 placeholder
// rows that carry a written-back forecast (as after a run in the same program run).
struct VerifyFixture : WindowFixture {
    int bars = 0;
    VerifyFixture() {
        openDatabases();
    }
    void addBars(const std::vector<int>& closes, bool placeholders = true) {
        exec("csm", "delete from F02R05M where CNT > " + QString::number(bars));
        for (int c : closes) {
            const QDateTime t = QDateTime(QDate(2024, 1, 5), QTime(23, 40)).addSecs(300 * bars);
            ++bars;
            ASSERT_TRUE(exec("csm", QString("insert into F02R05M (CNT, LYMD, LHM, CV1, HV1, LV1) values (%1, '%2', '%3', %4, %5, %6)")
                                        .arg(bars).arg(t.toString("yyyy/MM/dd"), t.toString("hh:mm")).arg(c).arg(c + 20).arg(c - 20)));
        }
        if (!placeholders) return;
        for (int k = 1; k <= 4; ++k) {
            const QDateTime t = QDateTime(QDate(2024, 1, 5), QTime(23, 40)).addSecs(300 * (bars + k - 1));
            ASSERT_TRUE(exec("csm", QString("insert into F02R05M (CNT, LYMD, LHM, CV1, HV1, LV1) values (%1, '%2', '%3', 1, 2, 0)")
                                        .arg(bars + k).arg(t.toString("yyyy/MM/dd"), t.toString("hh:mm"))));
        }
    }
    // A stored 5-minute run whose base bar is the bar numbered `base` (1-based).
    void addRun(int hcnt, int base, int cv, const std::vector<int>& forecasts) {
        const QDateTime t = QDateTime(QDate(2024, 1, 5), QTime(23, 40)).addSecs(300 * (base - 1));
        ASSERT_TRUE(exec("csq", QString("insert into F03V05H (CNT, TBID, TBNM, DT, HM, CV, RD, LN, MSE, LT) values "
                                        "(%1, 16, 'F03V05H', '%2', '%3', %4, 40, 10, .01, '00:01')")
                                    .arg(hcnt).arg(t.toString("yyyy/MM/dd"), t.toString("hh:mm")).arg(cv)));
        int yk = 1;
        for (int fc : forecasts) {
            const QString next = scalar("csq", "select coalesce(max(CNT), 0) + 1 from F03VDT");
            ASSERT_TRUE(exec("csq", QString("insert into F03VDT (CNT, TBID, HTNM, HCNT, YKNO, YGCL, HG, LG, DCR, SGN) values "
                                            "(%1, 16, 'F03V05H', %2, %3, %4, %5, %6, .5, 0)")
                                        .arg(next).arg(hcnt).arg(yk++).arg(fc).arg(fc + 5).arg(fc - 5)));
        }
    }
    QString details(int hcnt) {
        return scalar("csq", QString("select group_concat(coalesce(JGCL,'-') || '/' || coalesce(SG,'-') || '/' || "
                                     "coalesce(HG,'-') || '/' || coalesce(LG,'-') || '/' || coalesce(RST,'-'), ' ') "
                                     "from (select * from F03VDT where HCNT = %1 order by YKNO)").arg(hcnt));
    }
};
}  // namespace

TEST(Verification, HitsMissesAndDifferences) {
    VerifyFixture f;
    f.addBars({150000, 149950, 149990, 150000, 150100});
    f.addRun(1, 1, 150000, {149900, 150100, 149800, 150200});
    f.w->verifyPending();
    // B 150000: F 149900 / A 149950 hit; F 150100 / A 149990 miss; A 150000 miss; F 150200 / A 150100 hit.
    EXPECT_EQ(f.details(1), "149950/50/149970/149930/1 149990/10/150010/149970/-1 150000/0/150020/149980/-1 "
                            "150100/-100/150120/150080/1");
    const QString before = f.details(1);
    f.w->verifyPending();
    EXPECT_EQ(f.details(1), before);
}

TEST(Verification, PeriodsBeyondTheLastBarStayPendingUntilLaterBars) {
    VerifyFixture f;
    f.addBars({150000, 150010, 150020});  // 23:40 .. 23:50
    f.addRun(1, 2, 150010, {150030, 150030, 150030, 150030});
    // A run made on the newest bar: the placeholder rows are no actual bars.
    f.addRun(2, 3, 150020, {150000, 150000, 150000, 150000});
    f.w->verifyPending();
    EXPECT_EQ(f.details(1), "150020/-10/150040/150000/1 -/-/150035/150025/- -/-/150035/150025/- -/-/150035/150025/-");
    EXPECT_EQ(f.details(2), "-/-/150005/149995/- -/-/150005/149995/- -/-/150005/149995/- -/-/150005/149995/-");

    // A later start brings bars after midnight: 23:55, 00:00, 00:05.
    f.addBars({150040, 149990, 150050});
    f.w->verifyPending();
    EXPECT_EQ(f.scalar("csq", "select count(*) from F03VDT where HCNT = 1 and JGCL is null"), "0");
    EXPECT_EQ(f.details(2), "150040/-20/150060/150020/-1 149990/30/150010/149970/1 150050/-30/150070/150030/-1 "
                            "-/-/150005/149995/-");
}

TEST(Verification, ARunWhoseBaseBarIsGoneStaysPending) {
    VerifyFixture f;
    f.addBars({150000, 150010, 150020, 150030});
    f.addRun(1, 0, 150000, {150010, 150010, 150010, 150010});  // base bar 23:35, before the first bar
    f.w->verifyPending();
    EXPECT_EQ(f.scalar("csq", "select count(*) from F03VDT where JGCL is null"), "4");
}

TEST(Verification, AtMostAHundredPendingRowsPerPress) {
    VerifyFixture f;
    std::vector<int> closes(45, 150000);
    f.addBars(closes);
    for (int run = 1; run <= 38; ++run) f.addRun(run, run, 150000, {150010, 150010, 150010, 150010});  // 152 rows
    f.w->verifyPending();
    EXPECT_EQ(f.scalar("csq", "select count(*) from F03VDT where JGCL is null"), "52");
    f.w->verifyPending();
    EXPECT_EQ(f.scalar("csq", "select count(*) from F03VDT where JGCL is null"), "0");
}
