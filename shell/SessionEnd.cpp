#include "shell/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// A signal handler may do next to nothing: it writes one byte, and the event
// loop reads it.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}
#endif

} // namespace

SessionEnd::SessionEnd(std::function<void()> onSignalHandler, std::function<void()> onSaveRequest)
    : m_onSignal(std::move(onSignalHandler))
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        ::fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
        m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char bytes[16];
            [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], bytes, sizeof bytes);
            if (m_onSignal)
                m_onSignal();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGHUP, SIGINT})
            ::sigaction(signal, &action, nullptr);
    }
#endif
    connect(qApp, &QGuiApplication::commitDataRequest, this, [onSaveRequest](QSessionManager &) {
        if (onSaveRequest)
            onSaveRequest();
    });
}

SessionEnd::~SessionEnd()
{
#ifdef Q_OS_UNIX
    if (signalPipe[0] >= 0) {
        for (int signal : {SIGTERM, SIGHUP, SIGINT})
            std::signal(signal, SIG_DFL);
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
#endif
}
