#pragma once
#include <QString>

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
