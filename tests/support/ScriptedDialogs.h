#pragma once
#include <QString>
#include <QStringList>
#include <deque>

#include "app/Dialogs.h"

// Records every box in order ("message: …", "confirm: …", "open", "error: …") and answers
// confirmations and the open-file dialog from queues; an empty queue answers Cancel/No and
// "no file", and marks the box as unexpected.
class ScriptedDialogs : public Dialogs {
public:
    void message(const QString& text, const QString& detail = QString()) override {
        log.append(QStringLiteral("message: ") + text);
        messageDetails.append(detail);
    }
    bool confirmOkCancel(const QString& text, const QString& detail = QString()) override {
        details.append(detail);
        return answer(QStringLiteral("confirm: ") + text);
    }
    bool confirmYesNo(const QString& text) override { return answer(QStringLiteral("confirm: ") + text); }
    QString openFile() override {
        log.append(QStringLiteral("open"));
        if (files.empty()) { unexpected.append(QStringLiteral("open")); return {}; }
        QString f = files.front();
        files.pop_front();
        return f;
    }
    void error(const QString& text) override { log.append(QStringLiteral("error: ") + text); errors.append(text); }

    QStringList messages() const {
        QStringList out;
        for (const QString& l : log)
            if (l.startsWith(QLatin1String("message: "))) out.append(l.mid(9));
        return out;
    }

    QStringList log;
    QStringList errors;
    QStringList details;  // the detail of every OK/Cancel confirmation, in order
    QStringList messageDetails;  // the detail of every message box, in order
    QStringList unexpected;
    std::deque<bool> answers;
    std::deque<QString> files;

private:
    bool answer(const QString& line) {
        log.append(line);
        if (answers.empty()) { unexpected.append(line); return false; }
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
};
