#include "window/TerminationSignals.h"

#include <QAbstractNativeEventFilter>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rz417 {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

int g_signalFds[2] = {-1, -1};

void onTerminationSignal(int signal)
{
    const int saved = errno;
    // Only async-signal-safe work here; the UI thread does the rest.
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(g_signalFds[0], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return;
    ::fcntl(g_signalFds[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_signalFds[1], &byte, 1) == 1)
            m_onSignal(static_cast<unsigned char>(byte));
    });

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
}

} // namespace rz417
