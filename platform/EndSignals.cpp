#include "platform/EndSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef Q_OS_LINUX
namespace {

// A signal handler may do next to nothing: it writes one byte, and the event
// loop reads it.
int signalPipe[2] = {-1, -1};
constexpr int Ending[] = {SIGTERM, SIGHUP, SIGINT};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

EndSignals::EndSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    ::fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], bytes, sizeof bytes);
        emit received();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : Ending)
        ::sigaction(signal, &action, nullptr);
}

EndSignals::~EndSignals()
{
    if (signalPipe[0] < 0)
        return;
    for (int signal : Ending)
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void EndSignals::IgnoreFileSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}
#else
EndSignals::EndSignals(QObject *parent)
    : QObject(parent)
{}

EndSignals::~EndSignals() = default;

void EndSignals::IgnoreFileSizeLimit() {}
#endif
