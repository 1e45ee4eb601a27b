#include "window/QtProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <algorithm>

#include "window/QtDialogs.h"

QtProgress::QtProgress(QWidget* parent) : parent_(parent) {}
QtProgress::~QtProgress() = default;

void QtProgress::start(const QString& label, qint64 total, bool cancellable) {
    dlg_ = std::make_unique<QProgressDialog>(label, cancellable ? QStringLiteral("キャンセル") : QString(), 0,
                                             1000, parent_);
    likeTheWindow(dlg_.get(), parent_);
    dlg_->setWindowModality(Qt::WindowModal);
    dlg_->setMinimumDuration(300);
    dlg_->setAutoClose(false);
    dlg_->setAutoReset(false);
    total_ = total > 0 ? total : 1;
    lastShown_ = -1;
    dlg_->setValue(0);
}

bool QtProgress::update(qint64 done, const QString& label) {
    if (!dlg_) return true;
    const qint64 permille = done * 1000 / total_;
    if (permille != lastShown_ || !label.isEmpty()) {
        lastShown_ = permille;
        if (!label.isEmpty()) dlg_->setLabelText(label);
        dlg_->setValue(int(std::clamp<qint64>(permille, 0, 1000)));
        QCoreApplication::processEvents();
    }
    return !dlg_->wasCanceled();
}

void QtProgress::end() {
    if (dlg_) dlg_->close();
    dlg_.reset();
}
