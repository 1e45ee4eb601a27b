#include "app/Batch.h"

#include <QDate>
#include <cstdio>
#include <functional>
#include <map>

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
};

const std::map<QString, Command>& commandTable() {
    static const std::map<QString, Command> table{};
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
