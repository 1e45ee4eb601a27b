// From exports to the three quote files' texts: the same bars in every form and split over
// files give the same files; the forming bar; a daylight-saving switch between source and
// server time; drops, the longest run; and the bad-input cases.
#include <gtest/gtest.h>

#include "Convert.h"
#include "QuotesTestSupport.h"

using namespace velkor::quotes;
using qtest::Form;

namespace {

const QDate kMonday(2024, 10, 7);

Outcome convert(const std::vector<InputFile>& inputs, const Settings& s = {}) {
    Outcome out;
    convertQuotes(inputs, s, out);
    return out;
}

Outcome convert(const std::vector<Bar>& bars, Form form = Form::MT4, const Settings& s = {}) {
    return convert({{QStringLiteral("export.csv"), qtest::exportText(bars, form)}}, s);
}

QList<QByteArray> lines(const OutputFile& f) {
    QList<QByteArray> l = f.text.split('\n');
    l.removeLast();  // after the final line end
    return l;
}

bool summaryHas(const Outcome& o, const QString& text) {
    return std::any_of(o.summary.begin(), o.summary.end(), [&](const QString& l) { return l.contains(text); });
}

// The QuotesError message of converting `inputs`, or an empty text when it went through.
QString failure(const std::vector<InputFile>& inputs, const Settings& s = {}) {
    try {
        convert(inputs, s);
    } catch (const QuotesError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

}  // namespace

TEST(QuoteConvert, SameBarsInEveryFormGiveTheSameFiles) {
    const std::vector<Bar> bars = qtest::weekdayWalk(kMonday, 5);  // Monday to Friday, 1440 bars
    const Outcome mt4 = convert(bars);
    ASSERT_EQ(mt4.files.size(), 3u);
    EXPECT_EQ(mt4.files[0].fileName, QStringLiteral("USDJPYM05.CSV"));
    EXPECT_EQ(mt4.files[0].lines, 1440 - 287);
    EXPECT_EQ(mt4.files[1].lines, 240 - 47);
    EXPECT_EQ(mt4.files[2].lines, 30 - 19);
    EXPECT_TRUE(mt4.files[0].text.startsWith("2024/10/07,23:55,"));  // the 288th bar
    EXPECT_TRUE(mt4.files[2].text.endsWith(",2024/10/12,03:00\r\n"));  // Friday 20:00 + 7 h
    for (const OutputFile& f : mt4.files)
        for (const QByteArray& l : lines(f)) {
            ASSERT_EQ(l.count(','), 19) << l.constData();
            ASSERT_TRUE(l.endsWith('\r')) << l.constData();
        }
    EXPECT_TRUE(mt4.warnings.isEmpty());

    for (const Form form : qtest::kForms) {
        const Outcome o = convert(bars, form);
        for (int t = 0; t < 3; ++t)
            EXPECT_EQ(o.files[t].text, mt4.files[t].text) << "form " << int(form) << " file " << t;
    }
    // Split over two overlapping files in different forms: the overlap counts as duplicates.
    const std::vector<Bar> first(bars.begin(), bars.begin() + 900), second(bars.begin() + 800, bars.end());
    const Outcome split = convert({{QStringLiteral("a.csv"), qtest::exportText(first, Form::HistData)},
                                   {QStringLiteral("b.csv"), qtest::exportText(second, Form::MT5)}});
    for (int t = 0; t < 3; ++t) EXPECT_EQ(split.files[t].text, mt4.files[t].text) << "file " << t;
    EXPECT_TRUE(summaryHas(split, QStringLiteral("duplicates (the first one read kept): 100")));
}

TEST(QuoteConvert, FormingBarIsLeftOutUnlessKept) {
    std::vector<Bar> bars = qtest::weekdayWalk(kMonday, 5);
    while (minuteText(bars.back().minute) != QStringLiteral("2024/10/11 13:50")) bars.pop_back();
    const Outcome left = convert(bars);
    EXPECT_TRUE(lines(left.files[0]).last().startsWith("2024/10/11,13:50,"));  // 5-minute bars are whole
    EXPECT_TRUE(lines(left.files[1]).last().startsWith("2024/10/11,13:00,"));  // 13:30 lacks 13:55
    EXPECT_TRUE(lines(left.files[2]).last().startsWith("2024/10/11,08:00,"));  // 12:00 lacks 15:55
    EXPECT_TRUE(summaryHas(left, QStringLiteral("USDJPYM30.CSV: ")));
    EXPECT_TRUE(summaryHas(left, QStringLiteral("forming bar 2024/10/11 13:30 left out")));
    EXPECT_TRUE(summaryHas(left, QStringLiteral("forming bar 2024/10/11 12:00 left out")));

    Settings keep;
    keep.keepForming = true;
    const Outcome kept = convert(bars, Form::MT4, keep);
    EXPECT_TRUE(lines(kept.files[1]).last().startsWith("2024/10/11,13:30,"));
    EXPECT_TRUE(lines(kept.files[2]).last().startsWith("2024/10/11,12:00,"));
    EXPECT_TRUE(summaryHas(kept, QStringLiteral("forming bar 2024/10/11 12:00 kept")));

    bars.push_back(bars.back());  // 13:55 closes the 30-minute bar
    bars.back().minute += 5;
    EXPECT_TRUE(lines(convert(bars).files[1]).last().startsWith("2024/10/11,13:30,"));
}

// A vendor's export in UTC, read for a broker on Athens time: across the weekend on which
// Athens leaves summer time the offset goes from 3 to 2 hours, and the files equal those of
// the same bars exported on the server's own clock.
TEST(QuoteConvert, DaylightSavingSwitchBetweenSourceAndServerTime) {
    std::vector<Bar> server = qtest::weekdayWalk(QDate(2024, 10, 21), 12);  // two weeks, Athens time
    std::vector<Bar> utc = server;
    const qint64 switchDay = wallMinute(QDate(2024, 10, 27), 0);
    for (Bar& b : utc) b.minute -= b.minute < switchDay ? 180 : 120;
    Settings s;
    s.time.source = QTimeZone("UTC");
    s.time.server = QTimeZone("Europe/Athens");
    ASSERT_TRUE(s.time.server->isValid());
    const Outcome converted = convert(utc, Form::HistData, s);
    const Outcome direct = convert(server, Form::MT4);
    for (int t = 0; t < 3; ++t) EXPECT_EQ(converted.files[t].text, direct.files[t].text) << "file " << t;
    EXPECT_TRUE(converted.files[0].text.contains("\n2024/10/28,00:00,"));  // Sunday 22:00 UTC
    EXPECT_TRUE(converted.files[0].text.contains("\n2024/10/25,23:55,"));  // Friday 20:55 UTC
    EXPECT_TRUE(summaryHas(converted, QStringLiteral("time: source UTC converted to server Europe/Athens")));
    EXPECT_TRUE(summaryHas(converted, QStringLiteral("weekend closes: 1")));
    EXPECT_TRUE(summaryHas(converted, QStringLiteral("bars on weekends: 0")));
}

TEST(QuoteConvert, DropAndLongestRun) {
    std::vector<Bar> bars = qtest::weekdayWalk(kMonday, 5);
    std::vector<Bar> early = qtest::weekdayWalk(QDate(2024, 9, 2), 2);  // 2 days, then 5 weeks without bars
    early.insert(early.end(), bars.begin(), bars.end());
    early[1500].high = 199999;  // a bad print
    Settings s;
    s.drops = {early[1500].minute, wallMinute(QDate(2024, 10, 8), 3)};  // the second opens no bar
    s.maxGapMinutes = 3 * kMinutesPerDay;
    const Outcome o = convert(early, Form::MT4, s);
    EXPECT_TRUE(summaryHas(o, QStringLiteral("dropped bars: 1 by --drop, 576 by --max-gap-days")));
    EXPECT_TRUE(o.files[0].text.startsWith("2024/10/07,23:55,"));
    EXPECT_FALSE(o.files[0].text.contains("199.999"));
    EXPECT_EQ(o.warnings, QStringList{QStringLiteral("--drop: no bar at 2024/10/08 00:03")});
}

TEST(QuoteConvert, UnreadableLinesNamedThenCounted) {
    QByteArray text = qtest::exportText(qtest::weekdayWalk(kMonday, 5), Form::MT4);
    for (int i = 0; i < 12; ++i) text += "2024.10.11,23:59,oops\r\n";
    const Outcome o = convert({{QStringLiteral("x.csv"), text}});
    ASSERT_EQ(o.warnings.size(), 11);
    EXPECT_EQ(o.warnings[0], QStringLiteral("x.csv:1441: 3 fields where at least 6 are needed"));
    EXPECT_TRUE(o.warnings[9].startsWith(QStringLiteral("x.csv:1450: ")));
    EXPECT_EQ(o.warnings[10], QStringLiteral("x.csv: 2 more unreadable lines"));
    EXPECT_TRUE(summaryHas(o, QStringLiteral("file x.csv: MetaTrader 4, 1452 lines, 1440 bars, 0 header lines, "
                                             "12 unreadable lines, 0 repaired bars")));
    EXPECT_EQ(o.files[0].lines, 1440 - 287);
}

TEST(QuoteConvert, InputThatGivesNoFilesIsAnError) {
    const std::vector<Bar> week = qtest::weekdayWalk(kMonday, 5);
    std::vector<Bar> quarterHours;
    for (size_t i = 0; i < week.size(); i += 3) quarterHours.push_back(week[i]);
    const std::vector<Bar> twoDays = qtest::weekdayWalk(kMonday, 2);
    const struct {
        const char* what;
        std::vector<InputFile> inputs;
        const char* message;
    } cases[] = {
        {"headers only", {{"h.csv", "Date,Time,Open,High,Low,Close\r\n\r\n"}}, "no bar could be read"},
        {"unreadable lines only",
         {{"u.csv", "2024.10.07,10:00,1,2\r\n2024.10.07,10:05,x,1,1,1\r\n"}},
         "no bar could be read"},
        {"one bar",
         {{"o.csv", "2024.10.07,10:00,150.000,150.010,149.990,150.000\r\n"}},
         "a single bar does not tell the bar size"},
        {"15-minute bars", {{"q.csv", qtest::exportText(quarterHours, Form::MT4)}}, "q.csv has 15-minute bars"},
        {"1- and 5-minute files",
         {{"five.csv", qtest::exportText(week, Form::MT4)},
          {"one.csv", qtest::exportText(qtest::weekdayWalk(kMonday, 1, 1), Form::MT4)}},
         "the files differ in bar size: five.csv has 5-minute bars, one.csv 1-minute bars"},
        {"too short for 4-hour bars", {{"s.csv", qtest::exportText(twoDays, Form::MT4)}},
         "only 12 4-hour bars: a 4-hour bar is written once 20 bars are there for its indicators, so USDJPYH04.CSV"},
    };
    for (const auto& c : cases) {
        const QString message = failure(c.inputs);
        EXPECT_TRUE(message.contains(QLatin1String(c.message))) << c.what << ": " << message.toStdString();
    }
}

// Every gap over a week inside the bars written is warned about with the option that cuts it;
// suspect spikes are listed and kept, or dropped with --drop-spikes; --drop still drops by time.
TEST(QuoteConvert, LongGapsAndSuspectSpikesAreTold) {
    std::vector<Bar> bars = qtest::weekdayWalk(QDate(2024, 9, 2), 2);  // then 5 weeks without bars
    const std::vector<Bar> week = qtest::weekdayWalk(kMonday, 5);
    bars.insert(bars.end(), week.begin(), week.end());
    Bar& print = bars[576 + 700];  // Wednesday 10:20
    print.close += 1260;           // a bad print, 1.26 yen up, back at the next bar
    print.high = print.close;
    const QString at = minuteText(print.minute);

    const Outcome kept = convert(bars);
    const QString gap = QStringLiteral("33 d without bars from 2024/09/03 23:55 to 2024/10/07 00:00 (server time) "
                                       "lies inside the files written; --max-gap-days 7 keeps only the longest run of "
                                       "bars without a gap over 7 days");
    ASSERT_EQ(kept.warnings.size(), 2) << kept.warnings.join('\n').toStdString();
    EXPECT_TRUE(kept.warnings[0].startsWith(QStringLiteral("suspect spike at %1 (the files' time): close ").arg(at)))
        << kept.warnings[0].toStdString();
    EXPECT_TRUE(kept.warnings[0].contains(QStringLiteral("close %1, ").arg(priceText(print.close))));
    EXPECT_TRUE(kept.warnings[0].contains(QStringLiteral(" above the close before it (")));
    EXPECT_TRUE(kept.warnings[0].endsWith(QStringLiteral("--drop '%1' this one)").arg(at)));
    EXPECT_EQ(kept.warnings[1], gap);
    EXPECT_TRUE(summaryHas(kept, QStringLiteral("away from the close before it): 1, kept")));
    EXPECT_TRUE(summaryHas(kept, QStringLiteral("gaps over 7 days: 1")));
    EXPECT_TRUE(kept.files[0].text.contains(priceText(print.close).toLatin1()));

    Settings cut;
    cut.maxGapMinutes = 3 * kMinutesPerDay;
    cut.dropSpikes = true;
    const Outcome dropped = convert(bars, Form::MT4, cut);
    EXPECT_EQ(dropped.warnings.size(), 1);  // the spike, no gap
    EXPECT_TRUE(dropped.warnings[0].endsWith(QStringLiteral("; dropped (--drop-spikes)")));
    EXPECT_TRUE(
        summaryHas(dropped, QStringLiteral("dropped bars: 0 by --drop, 576 by --max-gap-days, 1 by --drop-spikes")));
    EXPECT_TRUE(summaryHas(dropped, QStringLiteral("gaps over 7 days: 0")));
    EXPECT_FALSE(dropped.files[0].text.contains(priceText(print.close).toLatin1()));

    Settings byTime;
    byTime.maxGapMinutes = cut.maxGapMinutes;
    byTime.drops = {print.minute};
    const Outcome timed = convert(bars, Form::MT4, byTime);
    EXPECT_TRUE(timed.warnings.isEmpty()) << timed.warnings.join('\n').toStdString();
    EXPECT_TRUE(summaryHas(timed, QStringLiteral("away from the close before it): 0")));
    for (int t = 0; t < 3; ++t) EXPECT_EQ(timed.files[t].text, dropped.files[t].text) << "file " << t;
}

// The program holds prices as 32-bit thousandths: a line that would carry a larger one (a band
// over closes that jump between the largest price and the smallest) is refused; the largest
// price itself is written.
TEST(QuoteConvert, PricesAboveWhatTheProgramImportsAreRefused) {
    std::vector<Bar> bars = qtest::weekdayWalk(kMonday, 5);
    for (Bar& b : bars) b.open = b.high = b.low = b.close = 2147483647;
    const Outcome largest = convert(bars);
    EXPECT_TRUE(largest.files[0].text.startsWith("2024/10/07,23:55,2147483.647,2147483.647,2147483.647,"));
    EXPECT_TRUE(largest.files[2].text.contains(",2147483.647,2147483.647,2024/10/"));  // band 4 lower, upper

    for (size_t i = 0; i < bars.size(); ++i)
        if (i % 20 >= 14) bars[i].open = bars[i].low = bars[i].close = 1;  // 14 at the largest price, 6 at 0.001
    const QString message = failure({{QStringLiteral("x.csv"), qtest::exportText(bars, Form::MT4)}});
    EXPECT_TRUE(message.startsWith(QStringLiteral("USDJPYM05.CSV: the bar of 2024/10/07 23:55 (server time) would "
                                                  "carry band 0 upper 34")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral(", above 2147483.647, the largest price the program imports")));
}
