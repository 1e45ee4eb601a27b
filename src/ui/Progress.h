#pragma once
#include <QString>
#include <memory>

class QProgressDialog;
class QWidget;

// Progress of long work: start(label, total), update(done) -> false when the user
// cancelled, end().
class Progress {
public:
    virtual ~Progress() = default;
    virtual void start(const QString& label, qint64 total, bool cancellable = false) = 0;
    virtual bool update(qint64 done, const QString& label = {}) = 0;
    virtual void end() = 0;
};

class NullProgress : public Progress {
public:
    void start(const QString&, qint64, bool) override {}
    bool update(qint64, const QString&) override { return true; }
    void end() override {}
};

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
