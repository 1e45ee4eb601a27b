// velkor-sample: writes sample USD/JPY quote files (5-minute, 30-minute, 4-hour bars)
// ending on a given date.

#include "SampleBars.h"

#include <QDir>
#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <exception>

namespace {

const char* const kUsage =
    "usage: velkor-sample --out DIR --end YYYY-MM-DD [--seed N] [--days5 N] [--days30 N] [--days4h N]\n"
    "  --out DIR      folder for USDJPYM05.CSV, USDJPYM30.CSV and USDJPYH04.CSV (created if missing)\n"
    "  --end DATE     last calendar day written (a weekend day ends on the Friday before)\n"
    "  --seed N       price path seed, 0 or more (default 1)\n"
    "  --days5 N      calendar days of 5-minute bars (default 60)\n"
    "  --days30 N     calendar days of 30-minute bars (default 250)\n"
    "  --days4h N     calendar days of 4-hour bars (default 250)\n";

int usageError(const QString& message) {
    std::fprintf(stderr, "velkor-sample: %s\n%s", qPrintable(message), kUsage);
    return 2;
}

bool parseDays(const QString& text, int& days) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1) return false;
    days = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velkor::sample;
    SampleOptions options;
    bool haveEnd = false;

    for (int i = 1; i < argc; ++i) {
        QString name = QString::fromLocal8Bit(argv[i]);
        QString value;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); name.startsWith(QLatin1String("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        } else {
            const bool known = name == QLatin1String("--out") || name == QLatin1String("--end") ||
                               name == QLatin1String("--seed") || name == QLatin1String("--days5") ||
                               name == QLatin1String("--days30") || name == QLatin1String("--days4h");
            if (!known) return usageError(QStringLiteral("unknown argument \"%1\"").arg(name));
            if (i + 1 >= argc) return usageError(QStringLiteral("%1 needs a value").arg(name));
            value = QString::fromLocal8Bit(argv[++i]);
        }

        if (name == QLatin1String("--out")) {
            if (value.isEmpty()) return usageError(QStringLiteral("--out needs a folder"));
            options.outDir = value;
        } else if (name == QLatin1String("--end")) {
            const QDate date = QDate::fromString(value, QStringLiteral("yyyy-MM-dd"));
            if (!date.isValid() || value.size() != 10)
                return usageError(QStringLiteral("--end \"%1\" is not a date YYYY-MM-DD").arg(value));
            options.end = date;
            haveEnd = true;
        } else if (name == QLatin1String("--seed")) {
            bool ok = false;
            options.seed = value.toULongLong(&ok);
            if (!ok || value.startsWith(QLatin1Char('+')) || value.startsWith(QLatin1Char('-')))
                return usageError(QStringLiteral("--seed \"%1\" is not a whole number of 0 or more").arg(value));
        } else if (name == QLatin1String("--days5") || name == QLatin1String("--days30") ||
                   name == QLatin1String("--days4h")) {
            int& days = name == QLatin1String("--days5")    ? options.days5
                        : name == QLatin1String("--days30") ? options.days30
                                                            : options.days4h;
            if (!parseDays(value, days))
                return usageError(QStringLiteral("%1 \"%2\" is not a whole number of 1 or more").arg(name, value));
        } else {
            return usageError(QStringLiteral("unknown argument \"%1\"").arg(name));
        }
    }
    if (options.outDir.isEmpty()) return usageError(QStringLiteral("--out is missing"));
    if (!haveEnd) return usageError(QStringLiteral("--end is missing"));
    if (const QString problem = checkOptions(options); !problem.isEmpty()) return usageError(problem);

    try {
        QElapsedTimer timer;
        timer.start();
        const std::vector<WrittenFile> files = writeSampleFiles(options);
        for (const WrittenFile& f : files)
            std::printf("%s: %lld bars\n", qPrintable(QDir::toNativeSeparators(f.path)),
                        static_cast<long long>(f.lines));
        std::printf("generated in %lld ms\n", static_cast<long long>(timer.elapsed()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velkor-sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
