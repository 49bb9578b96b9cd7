#include "platform/TerminalPassword.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>
#else
#include <iostream>
#include <string>
#endif

namespace TerminalPassword {

#ifdef Q_OS_UNIX
namespace {

struct termios savedTerminal;
const int restoreSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previousActions[sizeof restoreSignals / sizeof restoreSignals[0]];

// Gives the terminal its echo back before the signal does what it did before.
void restoreTerminal(int signal)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    for (size_t i = 0; i < sizeof restoreSignals / sizeof restoreSignals[0]; ++i) {
        if (restoreSignals[i] == signal)
            ::sigaction(signal, &previousActions[i], nullptr);
    }
    ::raise(signal);
}

// One line from standard input, read a byte at a time so nothing after it is
// taken from a caller that reads on.
QByteArray readLine(bool *complete)
{
    QByteArray line;
    *complete = false;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (c == '\n') {
            *complete = true;
            break;
        }
        if (line.size() < LineLimit)
            line.append(c);
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

QByteArray Ask(const QString &prompt, bool *ok)
{
    bool complete = false;
    QByteArray password;
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &savedTerminal) != 0) {
        password = readLine(&complete);
    } else {
        const QByteArray text = prompt.toLocal8Bit();
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        std::fflush(stderr);

        struct sigaction action = {};
        action.sa_handler = restoreTerminal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < sizeof restoreSignals / sizeof restoreSignals[0]; ++i)
            ::sigaction(restoreSignals[i], &action, &previousActions[i]);
        struct termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);

        password = readLine(&complete);

        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        for (size_t i = 0; i < sizeof restoreSignals / sizeof restoreSignals[0]; ++i)
            ::sigaction(restoreSignals[i], &previousActions[i], nullptr);
        if (!complete)
            std::fputc('\n', stderr);
    }
    if (ok)
        *ok = !password.isEmpty();
    return password;
}
#else
QByteArray Ask(const QString &prompt, bool *ok)
{
    // No way to hide the typing here; the prompt still goes to the error
    // stream so standard output stays clean.
    std::cerr << prompt.toLocal8Bit().constData() << std::flush;
    std::string line;
    std::getline(std::cin, line);
    QByteArray password = QByteArray::fromStdString(line);
    if (password.endsWith('\r'))
        password.chop(1);
    if (ok)
        *ok = !password.isEmpty();
    return password;
}
#endif

} // namespace TerminalPassword
