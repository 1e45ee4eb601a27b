// Runs the velkor-sample generator and checks the quote files it writes.

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

namespace {

const QString kGenerator = QStringLiteral(VELKOR_BINARY_DIR "/velkor-sample");

struct GeneratorRun {
    int exitCode = -1;
    QString errors;
};

GeneratorRun runGenerator(const QStringList& args) {
    QProcess p;
    p.start(kGenerator, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return {};
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError())};
}

struct Line {
    QByteArray text;
    QStringList fields;
    QDateTime server;
};

// Lines of a quote file; checks the line ends and that no byte-order mark is present.
std::vector<Line> readQuoteFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray all = f.readAll();
    EXPECT_FALSE(all.startsWith("\xEF\xBB\xBF")) << path.toStdString();
    EXPECT_TRUE(all.endsWith("\r\n")) << path.toStdString();
    EXPECT_EQ(all.count('\n'), all.count("\r\n")) << path.toStdString();
    std::vector<Line> lines;
    for (const QByteArray& text : all.split('\n')) {
        if (text.isEmpty()) continue;
        Line line{text.chopped(1), {}, {}};
        line.fields = QString::fromLatin1(line.text).split(QLatin1Char(','));
        if (line.fields.size() > 1)
            line.server = QDateTime::fromString(line.fields[0] + QLatin1Char(' ') + line.fields[1],
                                                QStringLiteral("yyyy/MM/dd HH:mm"));
        lines.push_back(line);
    }
    return lines;
}

qint64 thousandths(const QString& price) { return QString(price).remove(QLatin1Char('.')).toLongLong(); }

int weekdaysIn(QDate first, QDate last) {
    int n = 0;
    for (QDate d = first; d <= last; d = d.addDays(1)) n += d.dayOfWeek() <= 5;
    return n;
}

struct ExpectedFile {
    const char* name;
    int minutes;
    int days;
    const char* lastTimeOfDay;
};

// End 2024-03-17 is a Sunday: the files end on Friday 2024-03-15.
const QString kEnd = QStringLiteral("2024-03-17");
const ExpectedFile kDefaultFiles[] = {{"USDJPYM05.CSV", 5, 60, "23:55"},
                                  {"USDJPYM30.CSV", 30, 250, "23:30"},
                                  {"USDJPYH04.CSV", 240, 250, "20:00"}};

class SampleFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        const GeneratorRun run = runGenerator({"--out", folder(), "--end", kEnd});
        ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static QString folder() { return dir_->filePath(QStringLiteral("defaults")); }
    static std::unique_ptr<QTemporaryDir> dir_;
};
std::unique_ptr<QTemporaryDir> SampleFiles::dir_;

TEST_F(SampleFiles, EveryLineIsAWellFormedBarWithConsistentPrices) {
    const QRegularExpression price(QStringLiteral("^1[0-9]{2}\\.[0-9]{3}$"));
    const QRegularExpression decimal(QStringLiteral("^[0-9]+\\.[0-9]+$"));
    for (const ExpectedFile& file : kDefaultFiles) {
        SCOPED_TRACE(file.name);
        const std::vector<Line> lines = readQuoteFile(QDir(folder()).filePath(QString::fromLatin1(file.name)));
        const QDate end = QDate::fromString(kEnd, Qt::ISODate);
        ASSERT_EQ(qsizetype(lines.size()),
                  qsizetype(weekdaysIn(end.addDays(1 - file.days), end)) * (1440 / file.minutes));

        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& l = lines[i];
            SCOPED_TRACE(l.text.toStdString());
            ASSERT_EQ(l.fields.size(), 20);
            ASSERT_TRUE(l.server.isValid());
            EXPECT_LE(l.server.date().dayOfWeek(), 5);
            for (const int k : {2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15, 16, 17})
                EXPECT_TRUE(price.match(l.fields[k]).hasMatch()) << "field " << k;
            EXPECT_TRUE(decimal.match(l.fields[10]).hasMatch());
            EXPECT_GT(l.fields[10].toDouble(), 0.0);
            EXPECT_TRUE(decimal.match(l.fields[11]).hasMatch());
            EXPECT_LE(l.fields[11].toDouble(), 100.0);

            const qint64 high = thousandths(l.fields[2]), low = thousandths(l.fields[3]),
                         close = thousandths(l.fields[4]);
            EXPECT_LE(low, close);
            EXPECT_LE(close, high);
            // Each band lies around its own average: 0 around MA20, 1 around MA1H, 4 around MA4H.
            for (const auto& [lower, average] : {std::pair{12, 6}, std::pair{14, 7}, std::pair{16, 8}}) {
                const qint64 lo = thousandths(l.fields[lower]), up = thousandths(l.fields[lower + 1]);
                EXPECT_LE(lo, thousandths(l.fields[average]));
                EXPECT_GE(up, thousandths(l.fields[average]));
                EXPECT_LE(qAbs((lo + up) - 2 * thousandths(l.fields[average])), 1);
            }
            // The 20-bar band has a real width from the first line on.
            EXPECT_LT(thousandths(l.fields[12]), thousandths(l.fields[13]));

            const QDateTime local = QDateTime::fromString(l.fields[18] + QLatin1Char(' ') + l.fields[19],
                                                          QStringLiteral("yyyy/MM/dd HH:mm"));
            EXPECT_EQ(local, l.server.addSecs(7 * 3600));

            if (i >= 5) {  // MA05 is the mean of the last five closes, already on the first lines
                qint64 sum = 0;
                for (std::size_t k = i - 4; k <= i; ++k) sum += thousandths(lines[k].fields[4]);
                EXPECT_LE(qAbs(5 * thousandths(l.fields[5]) - sum), 3);
            }
            if (i >= 20) {  // band 0 spans two standard deviations of the last 20 closes each way
                double sum = 0, sumSq = 0;
                for (std::size_t k = i - 19; k <= i; ++k) {
                    const double c = double(thousandths(lines[k].fields[4]));
                    sum += c;
                    sumSq += c * c;
                }
                const double sd = std::sqrt(sumSq / 20 - (sum / 20) * (sum / 20));
                EXPECT_NEAR(double(thousandths(l.fields[13]) - thousandths(l.fields[12])), 4 * sd, 2.5);
            }
            if (i > 0) {
                const QDateTime& prev = lines[i - 1].server;
                if (prev.date() == l.server.date())
                    EXPECT_EQ(prev.secsTo(l.server), file.minutes * 60);
                else
                    EXPECT_LT(prev, l.server);
            }
        }
        QDate firstWeekday = end.addDays(1 - file.days);
        while (firstWeekday.dayOfWeek() > 5) firstWeekday = firstWeekday.addDays(1);
        EXPECT_EQ(lines.front().fields[0], firstWeekday.toString(QStringLiteral("yyyy/MM/dd")));
        EXPECT_EQ(lines.front().fields[1], QStringLiteral("00:00"));
        EXPECT_EQ(lines.back().fields[0], QStringLiteral("2024/03/15"));
        EXPECT_EQ(lines.back().fields[1], QString::fromLatin1(file.lastTimeOfDay));
    }
}

TEST_F(SampleFiles, LongerBarsAggregateTheFiveMinuteBars) {
    const std::vector<Line> five = readQuoteFile(QDir(folder()).filePath(QStringLiteral("USDJPYM05.CSV")));
    for (const ExpectedFile& file : {kDefaultFiles[1], kDefaultFiles[2]}) {
        SCOPED_TRACE(file.name);
        std::map<QDateTime, std::vector<const Line*>> groups;
        for (const Line& l : five) {
            const qint64 secs = l.server.time().msecsSinceStartOfDay() / 1000;
            groups[l.server.addSecs(-(secs % (file.minutes * 60)))].push_back(&l);
        }
        int compared = 0;
        for (const Line& l : readQuoteFile(QDir(folder()).filePath(QString::fromLatin1(file.name)))) {
            const auto it = groups.find(l.server);
            if (it == groups.end()) continue;
            ASSERT_EQ(it->second.size(), std::size_t(file.minutes / 5));
            qint64 high = 0, low = 1'000'000'000;
            for (const Line* p : it->second) {
                high = qMax(high, thousandths(p->fields[2]));
                low = qMin(low, thousandths(p->fields[3]));
            }
            EXPECT_EQ(thousandths(l.fields[2]), high) << l.text.toStdString();
            EXPECT_EQ(thousandths(l.fields[3]), low) << l.text.toStdString();
            EXPECT_EQ(l.fields[4], it->second.back()->fields[4]) << l.text.toStdString();
            ++compared;
        }
        EXPECT_GT(compared, 0);
    }
}

TEST(SampleGenerator, SameSeedGivesSameBarsForSharedDaysAndOtherSeedsDiffer) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = dir.filePath("a"), b = dir.filePath("b"), c = dir.filePath("c/nested");
    const QStringList days = {"--days5", "10", "--days30", "20", "--days4h", "40"};
    ASSERT_EQ(runGenerator(QStringList{"--out", a, "--end", "2023-11-10", "--seed", "7"} + days).exitCode, 0);
    ASSERT_EQ(runGenerator(QStringList{"--out", b, "--end", "2023-11-16", "--seed", "7"} + days).exitCode, 0);
    ASSERT_EQ(runGenerator(QStringList{"--out", c, "--end", "2023-11-16", "--seed", "8"} + days).exitCode, 0);

    for (const char* name : {"USDJPYM05.CSV", "USDJPYM30.CSV", "USDJPYH04.CSV"}) {
        SCOPED_TRACE(name);
        const auto linesOf = [&](const QString& folder) {
            std::map<QDateTime, QByteArray> m;
            for (const Line& l : readQuoteFile(QDir(folder).filePath(QString::fromLatin1(name))))
                m[l.server] = l.text;
            return m;
        };
        const auto la = linesOf(a), lb = linesOf(b), lc = linesOf(c);
        int shared = 0;
        for (const auto& [time, text] : la) {
            const auto it = lb.find(time);
            if (it == lb.end()) continue;
            EXPECT_EQ(text, it->second);
            ++shared;
        }
        EXPECT_GE(shared, 1440 / 240 * 3);  // at least three shared weekdays
        ASSERT_EQ(lb.size(), lc.size());
        int differing = 0;
        for (const auto& [time, text] : lb) differing += lc.at(time) != text;
        EXPECT_GT(differing, int(lb.size()) / 2);
    }
}

TEST(SampleGenerator, BadArgumentsExitWithUsage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath("out");
    const QStringList cases[] = {
        {"--out", out},
        {"--end", "2024-03-15"},
        {"--out", out, "--end", "2024-13-01"},
        {"--out", out, "--end", "15.03.2024"},
        {"--out", out, "--end", "2024-03-15", "--days5", "0"},
        {"--out", out, "--end", "2024-03-15", "--days30", "ten"},
        {"--out", out, "--end", "2024-03-15", "--seed", "-1"},
        {"--out", out, "--end", "2024-03-15", "--days4h"},
        {"--out", out, "--end", "2024-03-15", "--colour", "red"},
        {"--out", out, "--end", "1999-12-31"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const GeneratorRun run = runGenerator(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.errors.contains(QStringLiteral("usage: velkor-sample"))) << run.errors.toStdString();
    }
    EXPECT_FALSE(QDir(out).exists());
}

}  // namespace
