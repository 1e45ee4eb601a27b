#include <gtest/gtest.h>

#include "app/Format.h"
#include "app/SaveFile.h"
#include "app/TextFile.h"
#include "net/Scaling.h"
#include "app/VelkorError.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include "app/Texts.h"

TEST(Format, Frac6RoundsTheExactBinaryValueHalfAwayFromZero) {
    struct Case { double v; const char* want; } cases[] = {
        {0.5, ".5"}, {1, "1"}, {0, ""}, {0.0000004, ""}, {-0.0000004, ""},
        {0.0703125, ".070313"}, {-0.0703125, "-.070313"}, {1.0000005, "1.000001"},
        {0.8571428571, ".857143"}, {0.1428571428, ".142857"}, {147.25, "147.25"},
        {0.9999996, "1"}, {-2.5, "-2.5"}, {0.552, ".552"}, {0.0351, ".0351"},
        // 0.1234565 is stored just below the half, so it rounds down.
        {0.1234565, ".123456"},
    };
    for (const Case& c : cases) EXPECT_EQ(fmt::frac6(c.v), QString::fromLatin1(c.want)) << c.v;
}

TEST(Format, OtherPatterns) {
    EXPECT_EQ(fmt::zfrac6(0), "0");
    EXPECT_EQ(fmt::zfrac6(0.25), "0.25");
    EXPECT_EQ(fmt::frac8(0.123456789), ".12345679");
    EXPECT_EQ(fmt::frac8(0.52), ".52");
    EXPECT_EQ(fmt::shortest(0.1), "0.1");
    EXPECT_EQ(fmt::shortest(147.5), "147.5");
    EXPECT_EQ(fmt::shortest(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(fmt::minSec(75 * 60 * 1000), "15:00");
    EXPECT_EQ(fmt::minSec(61500), "01:01");
    EXPECT_EQ(fmt::minSecJa(61500), "01分 01秒");
}

TEST(Scaling, Functions) {
    EXPECT_DOUBLE_EQ(scaleIntoWindow(150, 100, 100), 0.5);
    EXPECT_DOUBLE_EQ(scaleIntoWindow(100, 100, 100), 0.1);
    EXPECT_NEAR(scaleIntoWindow(200, 100, 100), 0.9, 1e-12);
    EXPECT_EQ(scaleIntoWindow(300, 100, 100), 1.0);
    EXPECT_EQ(scaleIntoWindow(0, 100, 100), 0.0);
    EXPECT_EQ(scaleIntoWindow(150, 100, 0), 0.0);
    EXPECT_EQ(scaleBack(100, 100, 0.5), 150);
    EXPECT_EQ(scaleBack(100, 100, 0.1), 100);
    EXPECT_EQ(scaleBack(100, 0, 0.7), 0);
    EXPECT_EQ(scaleBack(2, 1, 0.5), 2);   // 2.5 rounds to the even 2
    EXPECT_EQ(scaleBack(3, 1, 0.5), 4);   // 3.5 rounds to 4
    EXPECT_DOUBLE_EQ(changeAroundHalf(0, 100, 0.8), 0.5);
    EXPECT_DOUBLE_EQ(changeAroundHalf(40, 100, 0.8), 0.75);
    EXPECT_DOUBLE_EQ(changeAroundHalf(80, 100, 0.8), 1.0);
    EXPECT_DOUBLE_EQ(changeAroundHalf(-200, 100, 0.8), 0.0);
    EXPECT_DOUBLE_EQ(changeAroundHalf(0, 0, 0.8), 0.5);  // a timeframe whose close never moves
    EXPECT_DOUBLE_EQ(changeAroundHalf(5, 0, 0.8), 1.0);
    EXPECT_DOUBLE_EQ(changeAroundHalf(-5, 0, 0.8), 0.0);
    EXPECT_DOUBLE_EQ(guardedDivide(6, 3), 2);
    EXPECT_DOUBLE_EQ(guardedDivide(5, 0), 5);
    EXPECT_DOUBLE_EQ(guardedDivide(0, 0), 0);
    EXPECT_EQ(textToInt(""), 0);
    EXPECT_EQ(textToInt("12a"), 0);
    EXPECT_EQ(textToInt("-7"), -7);
    EXPECT_EQ(textToInt("99999999999"), 0);
    EXPECT_THROW(scaleBack(0, 2000000000, 1.0e3), std::exception);
}

namespace {
QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}
// The system's reason in a write error about `path`; empty when the message is no such error.
QString writeErrorReason(const QString& message, const QString& path) {
    const QStringList around = texts::fileWriteError(path, QStringLiteral("\x01")).split(QChar(1));
    if (!message.startsWith(around[0]) || !message.endsWith(around[1])) return {};
    return message.sliced(around[0].size(), message.size() - around[0].size() - around[1].size());
}
void putBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}
}  // namespace

TEST(TextFile, LineEndsAndByteOrderMark) {
    EXPECT_EQ(textfile::splitCommas("a,\"b,c\",,d "), (QStringList{"a", "b,c", "", "d "}));
    QTemporaryDir d;
    const QString p = d.filePath("t.txt");
    const QByteArray bom("\xEF\xBB\xBF");
    // Written: UTF-8 with a byte-order mark, CR LF after every line; the new file replaces the
    // old one and nothing is left beside it.
    putBytes(p, "old content, longer than the new one\n");
    struct Written { QStringList lines; QByteArray bytes; } written[] = {
        {{"一", "b"}, bom + QString("一").toUtf8() + "\r\nb\r\n"}, {{}, bom}, {{""}, bom + "\r\n"},
    };
    for (const Written& w : written) {
        textfile::writeLines(p, w.lines);
        EXPECT_EQ(bytesOf(p), w.bytes) << w.lines.join('|').toStdString();
        EXPECT_EQ(textfile::readLines(p), w.lines);
        EXPECT_EQ(QDir(d.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.txt"});
    }
    // Read: a byte-order mark selects the encoding; CR LF, LF and CR end lines; a final line end
    // adds no empty line.
    struct Read { QByteArray bytes; QStringList lines; } read[] = {
        {"a\nb\n", {"a", "b"}}, {"a\r\nb", {"a", "b"}}, {"a\rb\r", {"a", "b"}}, {"a\n\nb\n", {"a", "", "b"}}, {"", {}},
        {bom, {}}, {bom + "a\r\n\r\n", {"a", ""}}, {"\r\n", {""}},
        {QByteArray("\xFF\xFE" "a\0\r\0\n\0\x00\x4E", 10), {"a", "一"}},  // UTF-16, little-endian
        {QByteArray("\xFE\xFF\0a\0\n\x4E\x00", 8), {"a", "一"}},           // UTF-16, big-endian
    };
    for (const Read& c : read) {
        putBytes(p, c.bytes);
        EXPECT_EQ(textfile::readLines(p), c.lines) << c.bytes.toHex().constData();
    }
    EXPECT_THROW(textfile::readLines(d.filePath("missing.txt")), VelkorError);
}

// A small file, whose bytes Qt holds back until the end, is refused as well when the disk
// cannot take them: bytes, an image and text lines alike keep the old file, leave nothing
// beside it and name the file and the system's reason.
TEST(SaveFile, ASmallWriteTheDiskCannotTakeKeepsTheOldFile) {
    QTemporaryDir d;
    const QString path = d.filePath("old.bin");
    const QByteArray old("old");
    putBytes(path, old);
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::green);
    const std::pair<const char*, std::function<void()>> writes[] = {
        {"bytes", [&] { savefile::writeBytes(path, "{\"schema\": 1}"); }},
        {"image", [&] { savefile::writeImage(path, image); }},
        {"lines", [&] { textfile::writeLines(path, {"a", "b"}); }},
    };
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    for (const auto& [what, write] : writes) {
        QString message;
        // Files of this process may not grow at all; the signal that would end it is ignored.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = unlimited;
        none.rlim_cur = 0;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
        try {
            write();
        } catch (const VelkorError& e) {
            message = e.text();
        }
        setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, SIG_DFL);
        EXPECT_EQ(writeErrorReason(message, path), QString::fromLocal8Bit(std::strerror(EFBIG))) << what << ": " << message.toStdString();
        EXPECT_EQ(bytesOf(path), old) << what;
        EXPECT_EQ(QDir(d.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.bin"}) << what;
    }
}

// A write that fails keeps the old file as it was, leaves no file of its own behind and names
// the file and the system's reason.
TEST(TextFile, AFailedWriteKeepsTheOldFile) {
    QTemporaryDir d;
    const QByteArray old("\xEF\xBB\xBFold\r\n");
    putBytes(d.filePath("old.csv"), old);
    ASSERT_TRUE(QDir(d.path()).mkdir("folder"));
    const QStringList before = QDir(d.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QStringList manyLines(20000, QStringLiteral("2026/11/27,10:00,147.123,147.001"));
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);

    // `reason`: the system's wording, where it comes from the system itself (Qt words, and
    // translates, its own reasons).
    struct Case { const char* what; QString path; const char* reason; std::function<void()> before, after; } cases[] = {
        {"folder missing", d.filePath("none/a.csv"), nullptr, [] {}, [] {}},
        {"a folder in the way", d.filePath("folder"), nullptr, [] {}, [] {}},
        {"the disk refuses the content", d.filePath("old.csv"), std::strerror(EFBIG),
         [&] {
             // Files of this process may not grow past 4 KB; the signal that would end it is ignored.
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = unlimited;
             small.rlim_cur = 4096;
             ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
         },
         [&] {
             setrlimit(RLIMIT_FSIZE, &unlimited);
             std::signal(SIGXFSZ, SIG_DFL);
         }},
    };
    for (const Case& c : cases) {
        c.before();
        QString message;
        try {
            textfile::writeLines(c.path, manyLines);
        } catch (const VelkorError& e) {
            message = e.text();
        }
        c.after();
        const QString reason = writeErrorReason(message, c.path);
        EXPECT_FALSE(reason.trimmed().isEmpty()) << c.what << ": " << message.toStdString();
        if (c.reason) EXPECT_EQ(reason, QString::fromLocal8Bit(c.reason)) << c.what;
        EXPECT_EQ(bytesOf(d.filePath("old.csv")), old) << c.what;
        EXPECT_EQ(QDir(d.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before) << c.what;
    }
}
