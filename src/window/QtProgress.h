#pragma once
#include <QString>
#include <memory>

#include "app/Progress.h"

class QProgressDialog;
class QWidget;

// A modal progress dialog of the window.
class QtProgress : public Progress {
public:
    explicit QtProgress(QWidget* parent);
    ~QtProgress() override;
    void start(const QString& label, qint64 total, bool cancellable) override;
    bool update(qint64 done, const QString& label) override;
    void end() override;

private:
    QWidget* parent_;
    std::unique_ptr<QProgressDialog> dlg_;
    qint64 total_ = 0;
    qint64 lastShown_ = -1;
};
