#pragma once
#include <QDate>
#include <QElapsedTimer>
#include <QTime>

// Today's date, the time of day and an elapsed-time reading.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDate today() const = 0;
    virtual QTime timeOfDay() const = 0;
    // Milliseconds on a steady clock (for measuring durations).
    virtual qint64 elapsedMs() const = 0;
};

class SystemClock : public Clock {
public:
    SystemClock() { t_.start(); }
    QDate today() const override { return QDate::currentDate(); }
    QTime timeOfDay() const override { return QTime::currentTime(); }
    qint64 elapsedMs() const override { return t_.elapsed(); }

private:
    QElapsedTimer t_;
};

// A clock whose date is fixed (tests, and the --today option); the time of day and the
// elapsed reading are the system's unless set.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDate d) : date_(d) { t_.start(); }
    QDate today() const override { return date_; }
    QTime timeOfDay() const override { return time_.isValid() ? time_ : QTime::currentTime(); }
    qint64 elapsedMs() const override { return elapsed_ >= 0 ? elapsed_ : t_.elapsed(); }
    void setToday(QDate d) { date_ = d; }
    void setTimeOfDay(QTime t) { time_ = t; }
    void setElapsedMs(qint64 ms) { elapsed_ = ms; }

private:
    QDate date_;
    QTime time_;
    qint64 elapsed_ = -1;
    QElapsedTimer t_;
};
