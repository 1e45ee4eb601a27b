#include "window/batch/Batch.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <cstdio>
#include <functional>
#include <map>

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include "app/Console.h"
#include "app/LockFile.h"
#include "app/Paths.h"
#include "app/SaveFile.h"
#include "app/Texts.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "backtest/Plan.h"
#include "forecast/Forecast.h"
#include "window/Chart.h"
#include "window/batch/EvaluateCommand.h"
#include "window/VelkorU.h"

namespace {
// "WxH" in pixels, each side 16 to 8000.
bool parseSize(const QString& text, QSize& size) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,4})x([0-9]{1,4})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) return false;
    const QSize s(m.captured(1).toInt(), m.captured(2).toInt());
    if (s.width() < 16 || s.height() < 16 || s.width() > 8000 || s.height() > 8000) return false;
    size = s;
    return true;
}
}  // namespace

bool parseOptions(const QStringList& args, BatchOptions& o, QString& error) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& into) {
            if (i + 1 >= args.size()) { error = a + QStringLiteral(" needs a value"); return false; }
            into = args[++i];
            return true;
        };
        if (a == QLatin1String("--batch")) o.batch = true;
        else if (a == QLatin1String("--yes")) o.yes = true;
        else if (a == QLatin1String("--workdir")) { if (!value(o.workDir)) return false; }
        else if (a == QLatin1String("--data-dir")) { if (!value(o.dataDir)) return false; }
        else if (a == QLatin1String("--today")) {
            if (!value(o.today)) return false;
            if (!QDate::fromString(o.today, QStringLiteral("yyyy-MM-dd")).isValid()) {
                error = QStringLiteral("--today wants a date YYYY-MM-DD, not ") + o.today;
                return false;
            }
        } else if (a == QLatin1String("--seed")) {
            QString s;
            if (!value(s)) return false;
            static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
            bool ok = false;
            const uint v = s.toUInt(&ok);
            if (!ok || !digits.match(s).hasMatch()) { error = QStringLiteral("--seed wants a number, not ") + s; return false; }
            o.seed = v;
        } else if (a == QLatin1String("--json")) {
            o.json = true;
        } else if (a == QLatin1String("--size")) {
            QString s;
            if (!value(s)) return false;
            if (!parseSize(s, o.chartSize)) {
                error = QStringLiteral("--size wants WIDTHxHEIGHT in pixels (16 to 8000 each, e.g. 1200x800), not ") + s;
                return false;
            }
        } else if (a == QLatin1String("--out")) {
            if (!value(o.out)) return false;
        } else if (a == QLatin1String("--lang")) {
            if (!value(o.lang)) return false;
            if (o.lang != QLatin1String("ja") && o.lang != QLatin1String("en")) {
                error = QStringLiteral("--lang wants ja or en, not ") + o.lang;
                return false;
            }
        } else if (a == QLatin1String("--engine")) {
            if (!value(o.engine)) return false;
            if (o.engine != QLatin1String("local") && o.engine != QLatin1String("slurm")) {
                error = QStringLiteral("--engine wants local or slurm, not ") + o.engine;
                return false;
            }
        } else if (a == QLatin1String("--slurm-args")) {
            if (!value(o.slurmArgs)) return false;
        } else if (a == QLatin1String("--slurm-program")) {
            if (!value(o.slurmProgram)) return false;
        } else if (a == QLatin1String("--jobs") || a == QLatin1String("--passes") || a == QLatin1String("--days") ||
                   a == QLatin1String("--step")) {
            QString s;
            if (!value(s)) return false;
            // No read day would leave a step nothing before the day of its base bar.
            const int least = a == QLatin1String("--passes") ? 0 : 1;
            const std::optional<int> v = backtest::wholeNumber(s, least);
            if (!v) {
                error = a + QStringLiteral(" wants a whole number of %1 or more, not ").arg(least) + s;
                return false;
            }
            (a == QLatin1String("--jobs")     ? o.jobs
             : a == QLatin1String("--passes") ? o.passes
             : a == QLatin1String("--days")   ? o.days
                                              : o.step) = *v;
        } else if (a.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option ") + a;
            return false;
        } else {
            o.commands.append(a);
        }
    }
    if (!o.commands.isEmpty() && !o.batch) {
        error = QStringLiteral("commands need --batch");
        return false;
    }
    if (o.json && !o.batch) {
        error = QStringLiteral("--json needs --batch");
        return false;
    }
    if ((o.engine != QLatin1String("local") || o.step) && !o.commands.isEmpty() && o.commands[0] != QLatin1String("backtest")) {
        error = QStringLiteral("--engine and --step go with the backtest command");
        return false;
    }
    return checkBatchCommands(o.commands, error);
}

namespace {
struct Command {
    int args;  // number of arguments
    std::function<void(TVelkorF&, const QStringList&)> run;
    QStringList allowed;  // the values its first argument accepts (empty: any)
};

const QStringList timeframeCodes{QStringLiteral("5"), QStringLiteral("30"), QStringLiteral("80")};

// The context of the commands runBatchCommands is running (it sets this for their duration).
BatchContext* context = nullptr;

// Appends a text grid to `out`, one tab-separated line per row.
void appendGrid(QString& out, const QTableWidget* g) {
    for (int r = 0; r < g->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < g->columnCount(); ++c) {
            const QTableWidgetItem* it = g->item(r, c);
            cells.append(it ? it->text() : QString());
        }
        out += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
}

void appendLabel(QString& out, const QWidget* widget, const QString& text) {
    out += QStringLiteral("label ") + widget->objectName() + QStringLiteral(": ") + text + QLatin1Char('\n');
}

QString cellText(const QTableWidget* g, int row, int column) {
    const QTableWidgetItem* it = g->item(row, column);
    return it ? it->text() : QString();
}

// A number shown as text: null when empty, the number when it reads as one, else the text
// itself (nothing shown is dropped).
QJsonValue numberOrText(const QString& text) {
    if (text.isEmpty()) return QJsonValue::Null;
    bool ok = false;
    if (const qint64 n = text.toLongLong(&ok); ok) return n;
    if (const double d = text.toDouble(&ok); ok) return d;
    return text;
}

QJsonValue textOrNull(const QString& text) { return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text); }

// A signal or result text of the result grid as a word, null when the cell is empty.
QJsonValue codeWord(const QString& text, const QString& plus, const QString& minus, const char* plusWord,
                    const char* minusWord) {
    if (text.isEmpty()) return QJsonValue::Null;
    if (text == plus) return QLatin1String(plusWord);
    if (text == minus) return QLatin1String(minusWord);
    return text;
}

// The forecast page of a timeframe: the shown run (the current row of its run list; the count
// label is not read, since the import also writes the number of bars there) and its result
// grid, one object per period.
QJsonObject pageJson(TVelkorF& w, int code) {
    const Timeframe& t = *timeframeOf(code);
    const TVelkorF::Page& p = w.page(t.index);
    Query& hq = w.data.headerQuery(t.index);
    QJsonObject o{{QStringLiteral("command"), QStringLiteral("show")}, {QStringLiteral("timeframe"), code}};
    QJsonArray periods;
    if (!hq.Active() || hq.IsEmpty()) {
        o.insert(QStringLiteral("run"), QJsonValue::Null);
        o.insert(QStringLiteral("periods"), periods);
        return o;
    }
    auto field = [&](const char* name) { return hq.FieldByName(QLatin1String(name)); };
    o.insert(QStringLiteral("run"), QJsonObject{
        {QStringLiteral("number"), field("CNT").AsInteger()},
        {QStringLiteral("date"), textOrNull(field("DT").AsString())},
        {QStringLiteral("time"), textOrNull(field("HM").AsString())},
        {QStringLiteral("close"), field("CV").AsInteger()},
        {QStringLiteral("readDays"), field("RD").AsInteger()},
        {QStringLiteral("passes"), field("LN").AsInteger()},
        {QStringLiteral("mse"), field("MSE").AsFloat()},
        {QStringLiteral("trainingTime"), textOrNull(field("LT").AsString())},
    });
    for (int c = 1; c <= t.periods && c < p.sg->columnCount(); ++c) {
        periods.append(QJsonObject{
            {QStringLiteral("period"), c},
            {QStringLiteral("time"), textOrNull(cellText(p.sg, 0, c))},
            {QStringLiteral("forecastClose"), numberOrText(cellText(p.sg, 1, c))},
            {QStringLiteral("actualClose"), numberOrText(cellText(p.sg, 2, c))},
            {QStringLiteral("signal"), codeWord(cellText(p.sg, 3, c), forecast::signalText(1), forecast::signalText(-1),
                                                "buy", "sell")},
            {QStringLiteral("result"), codeWord(cellText(p.sg, 4, c), forecast::resultText(1), forecast::resultText(-1),
                                                "hit", "miss")},
        });
    }
    o.insert(QStringLiteral("periods"), periods);
    return o;
}

// The hit statistics page: per timeframe its run count and, for periods 1 to 4, the hits,
// misses and hit rate in percent (null while no period was verified).
QJsonObject statsJson(TVelkorF& w) {
    constexpr int periodColumns = 4;  // every timeframe's grid shows periods 1 to 4
    QJsonArray tfs;
    for (const Timeframe& t : timeframes()) {
        const TVelkorF::Page& p = w.page(t.index);
        QJsonArray periods;
        for (int c = 1; c <= periodColumns; ++c) {
            QString rate = cellText(p.statsGrid, 3, c);
            if (rate.endsWith(QLatin1Char('%'))) rate.chop(1);
            periods.append(QJsonObject{{QStringLiteral("period"), c},
                                       {QStringLiteral("hits"), numberOrText(cellText(p.statsGrid, 1, c))},
                                       {QStringLiteral("misses"), numberOrText(cellText(p.statsGrid, 2, c))},
                                       {QStringLiteral("hitRatePercent"), numberOrText(rate)}});
        }
        tfs.append(QJsonObject{{QStringLiteral("timeframe"), t.code},
                               {QStringLiteral("runs"), numberOrText(p.statsCount->text())},
                               {QStringLiteral("periods"), periods}});
    }
    return {{QStringLiteral("command"), QStringLiteral("stats")}, {QStringLiteral("timeframes"), tfs}};
}

// Prints a forecast page: its labels, then its result grid.
void showPage(TVelkorF& w, int code) {
    if (context->json) { context->results.append(pageJson(w, code)); return; }
    const TVelkorF::Page& p = w.page(timeframeOf(code)->index);
    QString out;
    appendLabel(out, p.dt2E, p.dt2E->text());
    for (const QLabel* l : {p.hmL, p.cv2L, p.cntL, p.rd2L, p.ln2L, p.ms2L, p.lt2L}) appendLabel(out, l, l->text());
    if (const auto* ms = w.findChild<QLabel*>(QStringLiteral("d12ms2L"))) appendLabel(out, ms, ms->text());
    appendGrid(out, p.sg);
    printText(stdout, out);
}

// Prints the hit statistics page: per timeframe its run count, then its grid.
void showStats(TVelkorF& w) {
    if (context->json) { context->results.append(statsJson(w)); return; }
    QString out;
    for (const Timeframe& t : timeframes()) {
        const TVelkorF::Page& p = w.page(t.index);
        appendLabel(out, p.statsCount, p.statsCount->text());
        appendGrid(out, p.statsGrid);
    }
    printText(stdout, out);
}

// Writes the verification chart of the timeframe's page, as drawn for the run it shows, into a
// PNG of the context's size; `file` is relative to the working directory and is none of the
// program's own files. A failed write leaves no file behind, nor changes one that was there.
void writeChart(TVelkorF& w, int code, const QString& file) {
    const Timeframe& t = *timeframeOf(code);
    Query& hq = w.data.headerQuery(t.index);
    if (!hq.Active() || hq.IsEmpty()) throw VelkorError(texts::noRunToChart(t.chartTitle));
    const QString path = w.path(file);
    if (isOneOf(path, w.ownFiles())) throw VelkorError(texts::ownFileTarget(path));
    const QImage image = verificationChartImage(w.page(t.index).cht, context->chartSize);
    savefile::writeImage(path, image);
    if (context->json)
        context->results.append(QJsonObject{{QStringLiteral("command"), QStringLiteral("chart")},
                                            {QStringLiteral("timeframe"), code},
                                            {QStringLiteral("file"), QDir::cleanPath(path)},
                                            {QStringLiteral("width"), image.width()},
                                            {QStringLiteral("height"), image.height()}});
}

// Evaluates the timeframe's live record: prints its table (under --json adds the report
// document) and writes the report files.
void evaluate(TVelkorF& w, int code) {
    const EvaluateResult r = evaluateLiveRecord(w, code, context->out, context->chartSize);
    if (context->json) {
        QJsonObject o{{QStringLiteral("command"), QStringLiteral("evaluate")}, {QStringLiteral("folder"), r.folder}};
        for (auto it = r.json.begin(); it != r.json.end(); ++it) o.insert(it.key(), it.value());
        context->results.append(o);
        return;
    }
    printText(stdout, r.table + QStringLiteral("report: %1/report.{csv,json,png}\n").arg(r.folder));
}

// Makes the export catalog row whose CNT is `cnt` the current row of the CSV page.
void selectExportRow(TVelkorF& w, const QString& cnt) {
    bool ok = false;
    const qint64 n = cnt.toLongLong(&ok);
    if (!ok || !w.data.exportCatalog.Active() || !w.data.exportCatalog.LocateInt(QStringLiteral("CNT"), n))
        throw VelkorError(QStringLiteral("F04CSV に CNT = %1 の行がありません").arg(cnt));
}

const std::map<QString, Command>& commandTable() {
    static const std::map<QString, Command> table{
        // The timeframe's "予測" button.
        // "all": the three forecasts of the daily loop, trained at the same time.
        {QStringLiteral("forecast"),
         {1,
          [](TVelkorF& w, const QStringList& a) {
              if (a[0] == QLatin1String("all")) {
                  if (w.forecastAll() > 0) throw ErrorsShown();
                  return;
              }
              w.runForecast(*timeframeOf(a[0].toInt()));
          },
          timeframeCodes + QStringList{QStringLiteral("all")}}},
        {QStringLiteral("show"), {1, [](TVelkorF& w, const QStringList& a) { showPage(w, a[0].toInt()); }, timeframeCodes}},
        // F12 on the timeframe's run list, at its current row.
        {QStringLiteral("delete"),
         {1, [](TVelkorF& w, const QStringList& a) { w.deleteRun(*timeframeOf(a[0].toInt())); }, timeframeCodes}},
        // "予測検証" of the 5-minute page.
        {QStringLiteral("verify"), {0, [](TVelkorF& w, const QStringList&) { w.verifyAndShow(*timeframeOf(5)); }, {}}},
        // The focus moves into page "52:検証2", which recounts the statistics.
        {QStringLiteral("stats"), {0, [](TVelkorF& w, const QStringList&) { w.countStats(); showStats(w); }, {}}},
        // "書出" with the export catalog row numbered N as the current row.
        {QStringLiteral("export"),
         {1, [](TVelkorF& w, const QStringList& a) { selectExportRow(w, a[0]); w.exportCurrentRow(); }, {}}},
        // Replaces a table's rows from its CSV file (asks first; --yes answers).
        {QStringLiteral("reimport"),
         {1, [](TVelkorF& w, const QStringList& a) { selectExportRow(w, a[0]); w.reimportCurrentRow(); }, {}}},
        // The live record judged against chance, the naive rules and the random walk.
        {QStringLiteral("evaluate"), {1, [](TVelkorF& w, const QStringList& a) { evaluate(w, a[0].toInt()); }, timeframeCodes}},
        // The page's chart written as a PNG.
        {QStringLiteral("chart"),
         {2, [](TVelkorF& w, const QStringList& a) { writeChart(w, a[0].toInt(), a[1]); }, timeframeCodes}},
    };
    return table;
}
}  // namespace

bool checkBatchCommands(const QStringList& commands, QString& error) {
    if (commands.contains(QStringLiteral("backtest"))) return backtest::checkWords(commands, error);
    for (int i = 0; i < commands.size(); ++i) {
        auto it = commandTable().find(commands[i]);
        if (it == commandTable().end()) {
            error = QStringLiteral("unknown command ") + commands[i];
            return false;
        }
        if (i + it->second.args >= commands.size()) {
            error = commands[i] + (it->second.args == 1 ? QStringLiteral(" needs an argument")
                                                        : QStringLiteral(" needs %1 arguments").arg(it->second.args));
            return false;
        }
        const QStringList& allowed = it->second.allowed;
        if (it->second.args > 0 && !allowed.isEmpty() && !allowed.contains(commands[i + 1])) {
            error = commands[i] + QStringLiteral(" wants one of ") + allowed.join(QLatin1Char('|')) +
                    QStringLiteral(", not ") + commands[i + 1];
            return false;
        }
        i += it->second.args;
    }
    return true;
}

int runBatchCommands(TVelkorF& w, const QStringList& commands, QString& error, BatchContext* ctx) {
    if (!checkBatchCommands(commands, error)) return 2;
    BatchContext textOnly;
    BatchContext* const saved = context;
    const auto restore = qScopeGuard([saved] { context = saved; });
    context = ctx ? ctx : &textOnly;
    int status = 0;
    for (int i = 0; i < commands.size(); ++i) {
        const Command& c = commandTable().at(commands[i]);
        const QStringList args = commands.mid(i + 1, c.args);
        i += c.args;
        if (!w.guarded([&] { c.run(w, args); })) status = 1;
    }
    return status;
}

QByteArray BatchContext::document(int status) const {
    const QJsonObject doc{{QStringLiteral("schema"), 1},
                          {QStringLiteral("status"), status},
                          {QStringLiteral("error"), error.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(error)},
                          {QStringLiteral("results"), results}};
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

QByteArray errorDocument(int status, const QString& error) {
    BatchContext context;
    context.error = error;
    return context.document(status);
}

QStringList batchCommandNames() {
    QStringList names;
    for (const auto& [name, command] : commandTable()) names.append(name);
    return names;
}

QString batchHelp() {
    return QStringLiteral(R"(usage: velkor [OPTION ...]                     open the window
       velkor --batch [OPTION ...] [COMMAND ...]  start up without a window, run the commands in order

Options:
  --batch              run headless: every message box is printed as a line (message:, confirm:, error:)
  --workdir DIR        folder of SQDB.DB, config.txt, cini.txt and DATA/; relative names resolve against it (default: current)
  --data-dir DIR       the data folder (quote files) when config.txt is missing or names no usable folder
  --today YYYY-MM-DD   the date the import counts the read days back from (default: today)
  --seed N             network weight seed, for reproducible forecasts
  --yes                answer OK/Yes to confirmations (default: Cancel/No)
  --json               with --batch: print one JSON document ("schema": 1) instead of text; message lines go to stderr
  --size WxH           size in pixels of the PNG the chart command writes (default 1200x800)
  --out DIR            backtest: the folder of its runs and report (default: backtest-TF-FROM-TO-EVERY in the working directory);
                       evaluate: the folder of its report (default: evaluation-TF-YYYYMMDD in the working directory)
  --jobs N             backtest: steps run at the same time (default: the number of processors; with --engine slurm:
                       the job array's limit, default none)
  --engine ENGINE      backtest: local (the default) runs the steps here, slurm as a Slurm job array (--out must be a
                       folder the nodes share, the program installed on them at the same path or --slurm-program)
  --slurm-args ARGS    backtest with --engine slurm: more sbatch options in one word, e.g. "--partition=long --time=30"
  --slurm-program PATH backtest with --engine slurm: the program's absolute path on the nodes (default: this one's)
  --step K             backtest: run step K alone, in a folder under --out (what each Slurm task runs)
  --passes N           backtest: training passes of its timeframe (default: cini.txt's)
  --days N             backtest: read days of its timeframe (default: cini.txt's)
  --lang LANG          ja or en: the language of the evaluation's texts (default: Japanese where LC_ALL, LC_MESSAGES or LANG names it or none is set)
  --help               print this help and exit
  --version            print the version and exit

Commands (with --batch; a run waits while another batch run works in the same DIR):
  forecast 5|30|80|all train a network on the timeframe's bars and forecast its coming bars (all: the three, trained at once)
  verify               verify every pending forecast against the bars imported since
  show 5|30|80         print the timeframe page: the shown run's labels and result grid
  stats                recount and print the hit statistics of all three timeframes
  chart 5|30|80 FILE   write the timeframe page's verification chart as a PNG (FILE relative to DIR)
  delete 5|30|80       delete the timeframe's newest run with its details (asks first; --yes answers)
  export N             write the table of export catalog row CNT=N to its CSV file
  reimport N           replace the rows of the table of export catalog row CNT=N from its CSV file (asks first)
  evaluate 5|30|80     judge the timeframe's verified forecasts against chance, the naive rules and no change; write report.{csv,json,png} into --out
  backtest TF FROM TO [EVERY]
                       alone: replay the forecasts of the bars from FROM to TO (every EVERY-th) as live runs, verify them, report

Exit status:
  0  every operation went through
  1  an operation ended with an error (see the error: lines on stderr), or DIR could not be locked
  2  usage error, or no data folder known
)");
}

std::unique_ptr<LockFile> lockWorkDir(const QString& workDir, QString& error) {
    const QDir dir(QDir(workDir.isEmpty() ? QDir::currentPath() : workDir).absolutePath());
    const QString path = dir.filePath(QStringLiteral("velkor.lock"));
    if (!dir.mkpath(QStringLiteral("."))) {
        error = texts::fileWriteError(path, QStringLiteral("no folder"));
        return nullptr;
    }
    auto lock = std::make_unique<LockFile>(path);
    LockFile::Result r = lock->tryLock();
    if (r == LockFile::Result::Busy) {
        const qint64 pid = lock->holder();
        printLine(stderr, QStringLiteral("waiting: another batch run%1 works in %2; this one starts when it ends")
                              .arg(pid > 0 ? QStringLiteral(" (process %1)").arg(pid) : QString(), dir.path()));
        r = lock->lock();
    }
    if (r == LockFile::Result::Taken) return lock;
    error = lock->error();
    return nullptr;
}
