#include "backtest/Signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "app/VelkorError.h"

namespace backtest {

namespace {
constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
// The pipe the handler writes the signal's number into; the notifier reads it on the loop.
int signalPipe[2] = {-1, -1};

QString signalName(int signal) {
    switch (signal) {
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("signal %1").arg(signal);
    }
}
}  // namespace

void SignalCatcher::handler(int signal) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

SignalCatcher::SignalCatcher(std::function<void(const QString&)> onSignal) : onSignal_(std::move(onSignal)) {
    if (signalPipe[0] >= 0) throw VelkorError(QStringLiteral("a second signal catcher"));
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw VelkorError(QStringLiteral("cannot make a pipe for signals"));
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { received(); });
    for (size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction current {};
        sigaction(kSignals[i], nullptr, &current);
        if (current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = &SignalCatcher::handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        installed_[i] = sigaction(kSignals[i], &action, &saved_[i]) == 0;
    }
}

SignalCatcher::~SignalCatcher() {
    for (size_t i = 0; i < kSignals.size(); ++i)
        if (installed_[i]) sigaction(kSignals[i], &saved_[i], nullptr);
    notifier_.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void SignalCatcher::received() {
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) onSignal_(signalName(byte));
}

}  // namespace backtest
