#pragma once
#include <QString>

#include "app/Dialogs.h"

class QWidget;

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
    void message(const QString& text, const QString& detail = QString()) override;
    bool confirmOkCancel(const QString& text, const QString& detail = QString()) override;
    bool confirmYesNo(const QString& text) override;
    QString openFile() override;
    void error(const QString& text) override;

private:
    QWidget* parent_;
};
