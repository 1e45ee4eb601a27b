#pragma once
#include <QString>
#include <QStringList>
#include <cstdio>
#include <deque>

class QWidget;

// Message boxes, confirmations, the open-file dialog and the error box.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void message(const QString& text) = 0;
    // true: OK. `detail` (when given) stands under the text and says what the answer acts on.
    virtual bool confirmOkCancel(const QString& text, const QString& detail = QString()) = 0;
    virtual bool confirmYesNo(const QString& text) = 0;     // true: Yes
    virtual QString openFile() = 0;                          // empty: cancelled
    virtual void error(const QString& text) = 0;
};

// Makes a dialog of the window look as the window does: titled with the program's name, in the
// window's font and palette.
void likeTheWindow(QWidget* dialog, QWidget* parent);

// Loads Qt's own Japanese texts (standard buttons, the open-file dialog) once per process;
// false when they are not installed (qt6-translations-l10n), and the standard texts stay English.
bool loadQtJapanese();

// Modal boxes of the window.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent) : parent_(parent) {}
    void message(const QString& text) override;
    bool confirmOkCancel(const QString& text, const QString& detail = QString()) override;
    bool confirmYesNo(const QString& text) override;
    QString openFile() override;
    void error(const QString& text) override;

private:
    QWidget* parent_;
};

// The batch run: boxes become lines on stdout (or on `lines`), errors on stderr.
class ConsoleDialogs : public Dialogs {
public:
    ConsoleDialogs(bool yes, QString dataDir, FILE* lines = stdout)
        : yes_(yes), dataDir_(std::move(dataDir)), lines_(lines) {}
    void message(const QString& text) override;
    bool confirmOkCancel(const QString& text, const QString& detail = QString()) override;
    bool confirmYesNo(const QString& text) override;
    QString openFile() override;
    void error(const QString& text) override;
    int errors() const { return errors_; }

private:
    bool yes_;
    QString dataDir_;
    FILE* lines_;
    bool dataDirUsed_ = false;
    int errors_ = 0;
};

// Records every box in order ("message: …", "confirm: …", "open", "error: …") and answers
// confirmations and the open-file dialog from queues; an empty queue answers Cancel/No and
// "no file", and marks the box as unexpected.
class ScriptedDialogs : public Dialogs {
public:
    void message(const QString& text) override { log.append(QStringLiteral("message: ") + text); }
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
