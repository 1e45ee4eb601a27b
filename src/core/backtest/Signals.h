#pragma once
// Ctrl-C, TERM and HUP of the process turned into a call on the event loop's thread, so that a
// running backtest can cancel what it started and end between two stores.
#include <QString>
#include <array>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace backtest {

class SignalCatcher {
public:
    // From now until it is destroyed, SIGINT, SIGTERM and SIGHUP call `onSignal` (with the
    // signal's name) from the event loop instead of ending the process; a signal the process
    // ignores stays ignored. One catcher at a time.
    explicit SignalCatcher(std::function<void(const QString&)> onSignal);
    ~SignalCatcher();
    SignalCatcher(const SignalCatcher&) = delete;
    SignalCatcher& operator=(const SignalCatcher&) = delete;

private:
    static void handler(int signal);
    void received();

    std::function<void(const QString&)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::array<struct sigaction, 3> saved_{};
    std::array<bool, 3> installed_{};
};

}  // namespace backtest
