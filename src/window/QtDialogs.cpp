#include "window/QtDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <algorithm>

void likeTheWindow(QWidget* dialog, QWidget* parent) {
    if (!parent) return;
    dialog->setWindowTitle(parent->window()->windowTitle());
    dialog->setAttribute(Qt::WA_WindowPropagation);
    dialog->setFont(parent->window()->font());
}

namespace {

// A modal box at the default position, wide enough that its title bar shows the title whole.
QMessageBox::StandardButton askBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                   const QString& detail, QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString(), text, buttons, parent);
    likeTheWindow(&box, parent);
    box.setDefaultButton(defaultButton);
    if (!detail.isEmpty()) box.setInformativeText(detail);
    // Room for the title, the icon of the title bar and its buttons.
    const int titleRoom = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) + 240;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(std::max(360, titleRoom), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return QMessageBox::StandardButton(box.exec());
}

}  // namespace

bool loadQtJapanese() {
    static bool loaded = [] {
        auto* qt = new QTranslator(QCoreApplication::instance());
        if (!qt->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            delete qt;
            return false;
        }
        return QCoreApplication::installTranslator(qt);
    }();
    return loaded;
}

void QtDialogs::message(const QString& text, const QString& detail) {
    askBox(parent_, QMessageBox::Information, text, detail, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtDialogs::confirmOkCancel(const QString& text, const QString& detail) {
    // Enter cancels: this box guards what cannot be undone.
    return askBox(parent_, QMessageBox::Question, text, detail, QMessageBox::Ok | QMessageBox::Cancel,
                  QMessageBox::Cancel) == QMessageBox::Ok;
}

bool QtDialogs::confirmYesNo(const QString& text) {
    return askBox(parent_, QMessageBox::Question, text, QString(), QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::Yes) == QMessageBox::Yes;
}

QString QtDialogs::openFile() {
    QFileDialog dialog(parent_);
    likeTheWindow(&dialog, parent_);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setViewMode(QFileDialog::List);  // names only: the detail columns are too narrow for the large font
    if (parent_) dialog.resize(parent_->window()->size() * 0.9);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void QtDialogs::error(const QString& text) {
    askBox(parent_, QMessageBox::Critical, text, QString(), QMessageBox::Ok, QMessageBox::Ok);
}
