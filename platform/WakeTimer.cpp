#include "platform/WakeTimer.h"

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

WakeTimer::~WakeTimer()
{
    Close();
}

void WakeTimer::Close()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
    m_armed = QDateTime();
}

#ifdef Q_OS_LINUX
bool WakeTimer::Supported()
{
    return true;
}

bool WakeTimer::Arm(const QDateTime &moment, QString *why)
{
    if (m_fd < 0) {
        m_fd = ::timerfd_create(CLOCK_REALTIME_ALARM, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_fd < 0) {
            if (why)
                *why = errno == EPERM ? QStringLiteral("the system does not let this program wake the computer "
                                                       "(it lacks the CAP_WAKE_ALARM capability)")
                                      : QStringLiteral("the system has no timer that wakes the computer (%1)")
                                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    itimerspec when{};
    if (moment.isValid()) {
        const qint64 ms = moment.toMSecsSinceEpoch();
        when.it_value.tv_sec = static_cast<time_t>(ms / 1000);
        when.it_value.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    }
    if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_armed = moment;
    return true;
}
#else
bool WakeTimer::Supported()
{
    return false;
}

bool WakeTimer::Arm(const QDateTime &moment, QString *why)
{
    Q_UNUSED(moment)
    if (why)
        *why = QStringLiteral("waking the computer for an alarm is not supported on this system");
    return false;
}
#endif
