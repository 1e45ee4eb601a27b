// velkor-quotes: turns 1-minute or 5-minute bar exports of a broker or data vendor into the
// three quote files the program reads (5-minute, 30-minute and 4-hour bars with their
// indicators).

#include "Convert.h"
#include "SourceFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

using namespace velkor::quotes;

const char* const kUsage =
    "usage: velkor-quotes --out DIR [options] FILE...\n"
    "  FILE: 1-minute or 5-minute bars exported by MetaTrader 4 or 5, HistData ASCII files, or\n"
    "  date-time,open,high,low,close CSV files; merged in time order.\n"
    "  --out DIR                   folder for USDJPYM05.CSV, USDJPYM30.CSV and USDJPYH04.CSV\n"
    "                              (created if missing)\n"
    "  --source-tz ZONE            time zone of the files' times (IANA name such as\n"
    "                              America/New_York); needs --server-tz (default: the files'\n"
    "                              times are server time)\n"
    "  --server-tz ZONE            time zone of the broker's server clock, such as Europe/Athens\n"
    "  --local-offset-hours N      local time = server time + N hours (default 7)\n"
    "  --local-tz ZONE             local time = server time shown in ZONE; needs --server-tz\n"
    "  --drop 'YYYY-MM-DD HH:MM'   discard the bar opening at this source time (repeatable)\n"
    "  --max-gap-days D            keep only the longest run of bars without a gap over D days\n"
    "                              (every gap over 7 days is warned about)\n"
    "  --drop-spikes               discard the suspect spikes (bars whose close lies more than 20\n"
    "                              times the median true range of the 100 bars before them away\n"
    "                              from the close before them); without it they are only listed\n"
    "  --keep-forming              keep a last bar whose period the data ends inside\n";

struct CommandLine {
    QString out;
    QStringList files;
    QString zone[3];  // source, server, local
    bool offsetGiven = false;
    Settings settings;
};

const char* const kZoneOptions[3] = {"--source-tz", "--server-tz", "--local-tz"};

// The value of one option into `c`; returns the problem, or an empty text.
QString takeOption(const QString& name, const QString& value, CommandLine& c) {
    for (int z = 0; z < 3; ++z) {
        if (name != QLatin1String(kZoneOptions[z])) continue;
        c.zone[z] = value;
        return value.isEmpty() ? QStringLiteral("%1 needs a zone name").arg(name) : QString();
    }
    bool ok = false;
    if (name == QLatin1String("--out")) {
        c.out = value;
        return value.isEmpty() ? QStringLiteral("--out needs a folder") : QString();
    }
    if (name == QLatin1String("--local-offset-hours")) {
        const int hours = value.toInt(&ok);
        if (!ok || hours < -23 || hours > 23)
            return QStringLiteral("--local-offset-hours \"%1\" is not a whole number from -23 to 23").arg(value);
        c.settings.time.localOffsetHours = hours;
        c.offsetGiven = true;
        return {};
    }
    if (name == QLatin1String("--drop")) {
        const QStringList parts = value.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const std::optional<QDate> date = parts.size() == 2 ? readDate(parts[0]) : std::nullopt;
        const std::optional<int> time = parts.size() == 2 ? readTime(parts[1]) : std::nullopt;
        if (!date || !time) return QStringLiteral("--drop \"%1\" is not a time YYYY-MM-DD HH:MM").arg(value);
        c.settings.drops.push_back(wallMinute(*date, *time));
        return {};
    }
    if (name == QLatin1String("--max-gap-days")) {
        const double days = value.toDouble(&ok);
        if (!ok || !std::isfinite(days) || days < 0 || days > 1e6)
            return QStringLiteral("--max-gap-days \"%1\" is not a number of days of 0 or more").arg(value);
        c.settings.maxGapMinutes = qint64(std::floor(days * kMinutesPerDay));
        return {};
    }
    return QStringLiteral("unknown option \"%1\"").arg(name);
}

bool takesValue(const QString& name) {
    for (const char* n :
         {"--out", "--source-tz", "--server-tz", "--local-tz", "--local-offset-hours", "--drop", "--max-gap-days"})
        if (name == QLatin1String(n)) return true;
    return false;
}

// Reads the arguments into `c`; returns the usage problem, or an empty text.
QString parseArguments(int argc, char** argv, CommandLine& c) {
    for (int i = 1; i < argc; ++i) {
        QString name = QString::fromLocal8Bit(argv[i]);
        if (!name.startsWith(QLatin1String("--")) || name == QLatin1String("--")) {
            if (name == QLatin1String("--")) ++i;
            for (; i < argc; ++i) c.files << QString::fromLocal8Bit(argv[i]);
            break;
        }
        if (name == QLatin1String("--keep-forming")) {
            c.settings.keepForming = true;
            continue;
        }
        if (name == QLatin1String("--drop-spikes")) {
            c.settings.dropSpikes = true;
            continue;
        }
        QString value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        } else if (takesValue(name)) {
            if (i + 1 >= argc) return QStringLiteral("%1 needs a value").arg(name);
            value = QString::fromLocal8Bit(argv[++i]);
        }
        if (const QString problem = takeOption(name, value, c); !problem.isEmpty()) return problem;
    }
    if (c.out.isEmpty()) return QStringLiteral("--out is missing");
    if (c.files.isEmpty()) return QStringLiteral("no input file given");
    if ((!c.zone[0].isEmpty() || !c.zone[2].isEmpty()) && c.zone[1].isEmpty())
        return QStringLiteral("--source-tz and --local-tz need --server-tz");
    if (!c.zone[2].isEmpty() && c.offsetGiven)
        return QStringLiteral("give --local-tz or --local-offset-hours, not both");
    return {};
}

// The named zones into the settings; returns the problem, or an empty text.
QString resolveZones(CommandLine& c) {
    std::optional<QTimeZone>* into[3] = {&c.settings.time.source, &c.settings.time.server, &c.settings.time.local};
    for (int z = 0; z < 3; ++z) {
        if (c.zone[z].isEmpty()) continue;
        const std::optional<QTimeZone> zone = namedZone(c.zone[z]);
        if (!zone)
            return QStringLiteral("unknown time zone \"%1\" (%2); give an IANA name such as Europe/Athens")
                .arg(c.zone[z], QLatin1String(kZoneOptions[z]));
        *into[z] = *zone;
    }
    return {};
}

std::vector<InputFile> readInputs(const QStringList& names) {
    std::vector<InputFile> inputs;
    for (const QString& name : names) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly))
            throw QuotesError(
                QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(name), f.errorString()));
        inputs.push_back({QDir::toNativeSeparators(name), f.readAll()});
        if (f.error() != QFileDevice::NoError)
            throw QuotesError(
                QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(name), f.errorString()));
    }
    return inputs;
}

QString nativePath(const QFileDevice& f) { return QDir::toNativeSeparators(f.fileName()); }

// Writes `text` into the opened `save` and brings it to the disk; the system's reason when
// that fails. The file is unbuffered: QSaveFile::commit() does not see a failure of the last
// flush of a buffer (a small file on a full disk would be committed empty), and a write that
// the disk cuts short only tells its reason when the rest is written once more. The sync is
// made here because commit() ignores its failure.
QString writeWhole(QSaveFile& save, const QByteArray& text) {
    for (qsizetype done = 0; done < text.size();) {
        const qint64 n = save.write(text.constData() + done, text.size() - done);
        if (n <= 0) return save.errorString();
        done += qsizetype(n);
    }
#ifdef Q_OS_UNIX
    if (::fsync(save.handle()) != 0) return QString::fromLocal8Bit(std::strerror(errno));
#endif
    return {};
}

// Each file is written beside its final name and brought to the disk; only when all three
// are complete are they renamed over the old ones.
void writeOutputs(const QString& dir, const std::vector<OutputFile>& files) {
    if (!QDir().mkpath(dir)) throw QuotesError(QStringLiteral("cannot create the folder %1").arg(dir));
    std::vector<std::unique_ptr<QSaveFile>> saves;  // an uncommitted one removes its temporary file
    for (const OutputFile& f : files) {
        auto save = std::make_unique<QSaveFile>(QDir(dir).filePath(f.fileName));
        if (QFileInfo(save->fileName()).isDir())
            throw QuotesError(QStringLiteral("cannot write %1: it is a folder").arg(nativePath(*save)));
        const QString problem = save->open(QIODevice::WriteOnly | QIODevice::Unbuffered) ? writeWhole(*save, f.text)
                                                                                           : save->errorString();
        if (!problem.isEmpty())
            throw QuotesError(QStringLiteral("cannot write %1: %2").arg(nativePath(*save), problem));
        saves.push_back(std::move(save));
    }
    QStringList replaced;
    for (const auto& save : saves) {
        if (!save->commit())
            throw QuotesError(QStringLiteral("cannot write %1: %2%3")
                                  .arg(nativePath(*save), save->errorString(),
                                       replaced.isEmpty() ? QString()
                                                          : QStringLiteral(" (%1 replaced already)")
                                                                .arg(replaced.join(QStringLiteral(", ")))));
        replaced << QFileInfo(save->fileName()).fileName();
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    CommandLine c;
    if (const QString problem = parseArguments(argc, argv, c); !problem.isEmpty()) {
        std::fprintf(stderr, "velkor-quotes: %s\n%s", qPrintable(problem), kUsage);
        return 2;
    }
    Outcome outcome;
    auto warn = [&outcome] {
        for (const QString& w : outcome.warnings) std::fprintf(stderr, "velkor-quotes: %s\n", qPrintable(w));
        outcome.warnings.clear();
    };
    try {
        if (const QString problem = resolveZones(c); !problem.isEmpty()) throw QuotesError(problem);
        QElapsedTimer timer;
        timer.start();
        convertQuotes(readInputs(c.files), c.settings, outcome);
        warn();
        writeOutputs(c.out, outcome.files);
        for (const QString& line : outcome.summary) std::printf("%s\n", qPrintable(line));
        std::printf("written to %s in %lld ms\n", qPrintable(QDir::toNativeSeparators(c.out)),
                    static_cast<long long>(timer.elapsed()));
    } catch (const QuotesError& e) {
        warn();
        std::fprintf(stderr, "velkor-quotes: %s\n", e.what());
        return 1;
    }
    return 0;
}
