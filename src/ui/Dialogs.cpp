#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTextStream>
#include <cstdio>

void QtDialogs::message(const QString& text) {
    QMessageBox::information(parent_, QString(), text);
}

bool QtDialogs::confirmOkCancel(const QString& text) {
    return QMessageBox::question(parent_, QString(), text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

bool QtDialogs::confirmYesNo(const QString& text) {
    return QMessageBox::question(parent_, QString(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

QString QtDialogs::openFile() { return QFileDialog::getOpenFileName(parent_); }

void QtDialogs::error(const QString& text) { QMessageBox::critical(parent_, QString(), text); }

static void printLine(FILE* f, const QString& s) {
    const QByteArray b = s.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), f);
    std::fputc('\n', f);
    std::fflush(f);
}

void ConsoleDialogs::message(const QString& text) { printLine(lines_, QStringLiteral("message: ") + text); }

bool ConsoleDialogs::confirmOkCancel(const QString& text) {
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
    ++errors_;
    printLine(stderr, QStringLiteral("error: ") + text);
}
