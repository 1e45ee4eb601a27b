#include "app/Dialogs.h"

#include "app/Console.h"

// The box's line stays as it is; a detail follows on an indented line of its own.
void ConsoleDialogs::message(const QString& text, const QString& detail) {
    printLine(lines_, QStringLiteral("message: ") + text);
    if (!detail.isEmpty()) printLine(lines_, QStringLiteral("  ") + detail);
}

bool ConsoleDialogs::confirmOkCancel(const QString& text, const QString&) {
    printLine(lines_, QStringLiteral("confirm: ") + text + (yes_ ? QStringLiteral(" -> OK") : QStringLiteral(" -> Cancel")));
    return yes_;
}

bool ConsoleDialogs::confirmYesNo(const QString& text) {
    printLine(lines_, QStringLiteral("confirm: ") + text + (yes_ ? QStringLiteral(" -> Yes") : QStringLiteral(" -> No")));
    return yes_;
}

QString ConsoleDialogs::openFile() { return {}; }

void ConsoleDialogs::error(const QString& text) {
    errorTexts_.append(text);
    printLine(stderr, QStringLiteral("error: ") + text);
}
