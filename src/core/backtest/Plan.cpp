#include "backtest/Plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include "app/TextFile.h"
#include "app/Timeframe.h"

namespace backtest {

namespace {
const QString kCodes = QStringLiteral("5|30|80");

std::optional<QDate> isoDate(const QString& text) {
    const QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid() || text.size() != 10) return std::nullopt;
    return d;
}

QString absolute(const QString& base, const QString& path) {
    return QDir::cleanPath(QDir(base).absoluteFilePath(path));
}

// The settings of "cini.txt" in `workDir` (the defaults when it is missing), as the window
// reads them: per timeframe a line "label,read days,passes".
bool readSettings(const QString& workDir, Settings& s, QString& error) {
    const QString file = QDir(workDir).filePath(QStringLiteral("cini.txt"));
    for (const Timeframe& t : timeframes()) s[size_t(t.index)] = {t.defaultReadDays, t.defaultPasses};
    if (!QFileInfo::exists(file)) return true;
    const QStringList lines = textfile::readLines(file);
    for (const Timeframe& t : timeframes()) {
        const QStringList f = lines.value(t.index).split(QLatin1Char(','));
        bool okDays = false, okPasses = false;
        const int days = f.value(1).trimmed().toInt(&okDays);
        const int passes = f.value(2).trimmed().toInt(&okPasses);
        if (f.size() < 3 || !okDays || !okPasses) {
            error = QStringLiteral("%1, line %2: wants \"label,read days,passes\", not \"%3\"")
                        .arg(file).arg(t.index + 1).arg(lines.value(t.index).left(60));
            return false;
        }
        s[size_t(t.index)] = {days, passes};
    }
    return true;
}

bool holdsQuotes(const QString& folder) {
    for (const Timeframe& t : timeframes())
        if (!QFileInfo(folder + t.quoteFile).isFile()) return false;
    return true;
}

QString folderOf(const QString& base, QString line) {
    line = line.trimmed();
    line.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString f = absolute(base, line);
    return f.endsWith(QLatin1Char('/')) ? f : f + QLatin1Char('/');
}

// The data folder as a start-up in `workDir` settles it: the folder "config.txt" names when it
// holds the quote files, otherwise the one given.
bool dataFolder(const Request& r, const QString& workDir, QString& folder, QString& error) {
    const QString config = QDir(workDir).filePath(QStringLiteral("config.txt"));
    if (QFileInfo::exists(config)) {
        const QStringList lines = textfile::readLines(config);
        if (!lines.isEmpty() && !lines.first().trimmed().isEmpty()) {
            folder = folderOf(workDir, lines.first());
            if (holdsQuotes(folder)) return true;
        }
    }
    if (r.dataDir.isEmpty()) {
        error = QStringLiteral("no data folder known: %1 names none with the three quote files; give --data-dir").arg(config);
        return false;
    }
    folder = folderOf(QDir::currentPath(), r.dataDir);
    for (const Timeframe& t : timeframes())
        if (!QFileInfo(folder + t.quoteFile).isFile()) {
            error = QStringLiteral("the data folder %1 has no %2").arg(folder, t.quoteFile);
            return false;
        }
    return true;
}
}  // namespace

std::optional<int> wholeNumber(const QString& text, int least) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch()) return std::nullopt;
    const int v = text.toInt();
    return v >= least ? std::optional<int>(v) : std::nullopt;
}

bool checkWords(const QStringList& words, QString& error) {
    if (words.value(0) != QLatin1String("backtest")) {
        error = QStringLiteral("backtest runs alone: give it as the only command");
        return false;
    }
    if (words.size() < 4 || words.size() > 5) {
        error = QStringLiteral("backtest needs TF FROM TO [EVERY]");
        return false;
    }
    if (!kCodes.split(QLatin1Char('|')).contains(words[1])) {
        error = QStringLiteral("backtest wants a timeframe of ") + kCodes + QStringLiteral(", not ") + words[1];
        return false;
    }
    for (int i : {2, 3})
        if (!isoDate(words[i])) {
            error = QStringLiteral("backtest wants dates YYYY-MM-DD, not ") + words[i];
            return false;
        }
    if (isoDate(words[2]) > isoDate(words[3])) {
        error = QStringLiteral("backtest: FROM %1 lies after TO %2").arg(words[2], words[3]);
        return false;
    }
    if (words.size() == 5 && !wholeNumber(words[4], 1)) {
        error = QStringLiteral("backtest wants EVERY as a whole number of 1 or more, not ") + words[4];
        return false;
    }
    return true;
}

const QString Plan::quoteDigestKey = QStringLiteral("quote_sha256");

int Plan::readDays() const { return settings[size_t(t->index)][0]; }
int Plan::passes() const { return settings[size_t(t->index)][1]; }

QJsonObject Plan::identity() const {
    QJsonArray s;
    for (const auto& v : settings) s.append(QJsonArray{v[0], v[1]});
    return {{QStringLiteral("timeframe"), t->code},
            {QStringLiteral("from"), from.toString(Qt::ISODate)},
            {QStringLiteral("to"), to.toString(Qt::ISODate)},
            {QStringLiteral("every"), every},
            {QStringLiteral("seed"), qint64(seed)},
            {QStringLiteral("settings"), s},
            {QStringLiteral("data"), dataDir}};
}

QStringList Plan::ciniLines() const {
    QStringList lines;
    for (const Timeframe& x : timeframes()) {
        const auto& v = settings[size_t(x.index)];
        lines.append(x.ciniLabel + QLatin1Char(',') + QString::number(v[0]) + QLatin1Char(',') + QString::number(v[1]));
    }
    return lines;
}

bool makePlan(const Request& r, int defaultJobs, Plan& p, QString& error) {
    if (!checkWords(r.words, error)) return false;
    p.t = timeframeOf(r.words[1].toInt());
    p.from = *isoDate(r.words[2]);
    p.to = *isoDate(r.words[3]);
    p.every = r.words.size() == 5 ? r.words[4].toInt() : 1;
    p.seed = r.seed.value_or(1);
    p.jobs = r.jobs.value_or(std::max(1, defaultJobs));
    if (p.jobs < 1) {
        error = QStringLiteral("--jobs wants a whole number of 1 or more");
        return false;
    }
    p.workDir = absolute(QDir::currentPath(), r.workDir.isEmpty() ? QStringLiteral(".") : r.workDir);
    if (!readSettings(p.workDir, p.settings, error)) return false;
    auto& own = p.settings[size_t(p.t->index)];
    if (r.days) own[0] = *r.days;
    if (r.passes) own[1] = *r.passes;
    if (!dataFolder(r, p.workDir, p.dataDir, error)) return false;
    const QString name = QStringLiteral("backtest-%1-%2-%3-%4").arg(r.words[1], r.words[2], r.words[3]).arg(p.every);
    p.outDir = absolute(p.workDir, r.outDir.isEmpty() ? name : r.outDir);
    return true;
}

OutDir checkOutDir(const Plan& p, QString& error) {
    const QFileInfo info(p.outDir);
    if (!info.exists() && !info.isSymLink()) return OutDir::Fresh;
    if (!info.isDir()) {
        error = QStringLiteral("%1 is not a folder: give another --out").arg(p.outDir);
        return OutDir::Refused;
    }
    const QDir dir(p.outDir);
    QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const QString identityFile = dir.filePath(QStringLiteral("backtest.json"));
    if (!entries.contains(QStringLiteral("backtest.json"))) {
        entries.removeAll(QStringLiteral("backtest.lock"));
        entries.removeAll(QStringLiteral("velkor.lock"));
        if (entries.isEmpty()) return OutDir::Fresh;
        error = QStringLiteral("%1 is not empty and holds no backtest: give another --out").arg(p.outDir);
        return OutDir::Refused;
    }
    QFile f(identityFile);
    QJsonObject arguments = f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject{};
    // The quote data are checked apart, with the stored runs (a backtest.json of the version
    // before holds the arguments alone).
    arguments.remove(Plan::quoteDigestKey);
    if (arguments == p.identity()) return OutDir::Resume;
    error = QStringLiteral("%1 holds another backtest (%2): give another --out")
                .arg(p.outDir, QString::fromUtf8(QJsonDocument(arguments).toJson(QJsonDocument::Compact)));
    return OutDir::Refused;
}

}  // namespace backtest
