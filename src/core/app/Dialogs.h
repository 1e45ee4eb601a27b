#pragma once
#include <QString>
#include <QStringList>
#include <cstdio>

// Message boxes, confirmations, the open-file dialog and the error box: the window shows them,
// the batch run prints them, tests script them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // `detail` (when given) stands under the text.
    virtual void message(const QString& text, const QString& detail = QString()) = 0;
    // true: OK; Cancel is the default button. `detail` (when given) stands under the text and
    // says what the answer acts on.
    virtual bool confirmOkCancel(const QString& text, const QString& detail = QString()) = 0;
    virtual bool confirmYesNo(const QString& text) = 0;     // true: Yes
    virtual QString openFile() = 0;                          // empty: cancelled
    virtual void error(const QString& text) = 0;
};

// The batch run: boxes become lines on stdout (or on `lines`), errors on stderr; nobody is
// there to pick a file.
class ConsoleDialogs : public Dialogs {
public:
    explicit ConsoleDialogs(bool yes, FILE* lines = stdout) : yes_(yes), lines_(lines) {}
    void message(const QString& text, const QString& detail = QString()) override;
    bool confirmOkCancel(const QString& text, const QString& detail = QString()) override;
    bool confirmYesNo(const QString& text) override;
    QString openFile() override;
    void error(const QString& text) override;
    int errors() const { return int(errorTexts_.size()); }
    const QStringList& errorTexts() const { return errorTexts_; }

private:
    bool yes_;
    FILE* lines_;
    QStringList errorTexts_;
};
