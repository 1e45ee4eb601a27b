#include "app/Batch.h"

#include <QDate>
#include <cstdio>
#include <functional>
#include <map>

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "ui/VelkorU.h"

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
            bool ok = false;
            const uint v = s.toUInt(&ok);
            if (!ok) { error = QStringLiteral("--seed wants a number, not ") + s; return false; }
            o.seed = v;
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
    return checkBatchCommands(o.commands, error);
}

namespace {
struct Command {
    int args;  // number of arguments
    std::function<void(TVelkorF&, const QStringList&)> run;
    QStringList allowed;  // the arguments it accepts (empty: any)
};

const QStringList timeframeCodes{QStringLiteral("5"), QStringLiteral("30"), QStringLiteral("80")};

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

void print(const QString& out) {
    const QByteArray b = out.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
}

// Prints a forecast page: its labels, then its result grid.
void showPage(TVelkorF& w, int code) {
    const TVelkorF::Page& p = w.page(tf(code)->index);
    QString out;
    appendLabel(out, p.dt2E, p.dt2E->text());
    for (const QLabel* l : {p.hmL, p.cv2L, p.cntL, p.rd2L, p.ln2L, p.ms2L, p.lt2L}) appendLabel(out, l, l->text());
    if (const auto* ms = w.findChild<QLabel*>(QStringLiteral("d12ms2L"))) appendLabel(out, ms, ms->text());
    appendGrid(out, p.sg);
    print(out);
}

// Prints the hit statistics page: per timeframe its run count, then its grid.
void showStats(TVelkorF& w) {
    QString out;
    for (const Timeframe& t : timeframes()) {
        const TVelkorF::Page& p = w.page(t.index);
        appendLabel(out, p.statsCount, p.statsCount->text());
        appendGrid(out, p.statsGrid);
    }
    print(out);
}

// Makes the export catalog row whose CNT is `cnt` the current row of the CSV page.
void selectExportRow(TVelkorF& w, const QString& cnt) {
    bool ok = false;
    const qint64 n = cnt.toLongLong(&ok);
    if (!ok || !w.dm.qg.Active() || !w.dm.qg.LocateInt(QStringLiteral("CNT"), n))
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
              w.iasi = a[0].toInt();
              w.uq02YS();
          },
          timeframeCodes + QStringList{QStringLiteral("all")}}},
        {QStringLiteral("show"), {1, [](TVelkorF& w, const QStringList& a) { showPage(w, a[0].toInt()); }, timeframeCodes}},
        // F12 on the timeframe's run list, at its current row.
        {QStringLiteral("delete"),
         {1, [](TVelkorF& w, const QStringList& a) { w.iasi = a[0].toInt(); w.uq03K(7); }, timeframeCodes}},
        // "予測検証" of the 5-minute page.
        {QStringLiteral("verify"), {0, [](TVelkorF& w, const QStringList&) { w.iasi = 5; w.uq03K(3); }, {}}},
        // The focus moves into page "52:検証2", which recounts the statistics.
        {QStringLiteral("stats"), {0, [](TVelkorF& w, const QStringList&) { w.uq03SG(2); showStats(w); }, {}}},
        // "書出" with the export catalog row numbered N as the current row.
        {QStringLiteral("export"),
         {1, [](TVelkorF& w, const QStringList& a) { selectExportRow(w, a[0]); w.uq04CV(2); }, {}}},
        // Replaces a table's rows from its CSV file (asks first; --yes answers).
        {QStringLiteral("reimport"),
         {1, [](TVelkorF& w, const QStringList& a) { selectExportRow(w, a[0]); w.uq04CV(3); }, {}}},
    };
    return table;
}
}  // namespace

bool checkBatchCommands(const QStringList& commands, QString& error) {
    for (int i = 0; i < commands.size(); ++i) {
        auto it = commandTable().find(commands[i]);
        if (it == commandTable().end()) {
            error = QStringLiteral("unknown command ") + commands[i];
            return false;
        }
        if (i + it->second.args >= commands.size()) {
            error = commands[i] + QStringLiteral(" needs an argument");
            return false;
        }
        const QStringList& allowed = it->second.allowed;
        for (int k = 1; k <= it->second.args && !allowed.isEmpty(); ++k) {
            if (!allowed.contains(commands[i + k])) {
                error = commands[i] + QStringLiteral(" wants one of ") + allowed.join(QLatin1Char('|')) +
                        QStringLiteral(", not ") + commands[i + k];
                return false;
            }
        }
        i += it->second.args;
    }
    return true;
}

int runBatchCommands(TVelkorF& w, const QStringList& commands, QString& error) {
    if (!checkBatchCommands(commands, error)) return 2;
    int status = 0;
    for (int i = 0; i < commands.size(); ++i) {
        const Command& c = commandTable().at(commands[i]);
        const QStringList args = commands.mid(i + 1, c.args);
        i += c.args;
        if (!w.guarded([&] { c.run(w, args); })) status = 1;
    }
    return status;
}
