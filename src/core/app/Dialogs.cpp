#include "app/Dialogs.h"

#include "app/Console.h"

void ConsoleDialogs::message(const QString& text) { printLine(lines_, QStringLiteral("message: ") + text); }

bool ConsoleDialogs::confirmOkCancel(const QString& text, const QString&) {
    printLine(lines_, QStringLiteral("confirm: ") + text + (yes_ ? QStringLiteral(" -> OK") : QStringLiteral(" -> Cancel")));
    return yes_;
}

bool ConsoleDialogs::confirmYesNo(const QString& text) {
    printLine(lines_, QStringLiteral("confirm: ") + text + (yes_ ? QStringLiteral(" -> Yes") : QStringLiteral(" -> No")));
    return yes_;
}

QString ConsoleDialogs::openFile() {
    // The --data-dir answer is given once; asking again means no folder is left to offer.
    if (dataDir_.isEmpty() || dataDirUsed_) return {};
    dataDirUsed_ = true;
    QString d = dataDir_;
    if (!d.endsWith(QLatin1Char('/'))) d += QLatin1Char('/');
    return d + QStringLiteral("USDJPYM30.CSV");
}

void ConsoleDialogs::error(const QString& text) {
    errorTexts_.append(text);
    printLine(stderr, QStringLiteral("error: ") + text);
}
