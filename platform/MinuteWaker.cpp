#include "platform/MinuteWaker.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

MinuteWaker::MinuteWaker(Clock clock, QObject *parent)
    : QObject(parent)
    , m_clock(std::move(clock))
{
    m_poll.setSingleShot(true);
    m_poll.setTimerType(Qt::PreciseTimer);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        m_armed = false;
        emit woke();
    });

#ifdef Q_OS_LINUX
    if (qEnvironmentVariableIntValue("TOCKWISE_POLL_CLOCK") == 1)
        return;
    m_fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0)
        return;
    m_mode = Mode::KernelTimer;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &MinuteWaker::readTimer);
#endif
}

MinuteWaker::~MinuteWaker()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        delete m_notifier;
        ::close(m_fd);
    }
#endif
}

qint64 MinuteWaker::NextMinuteMSecs(const QDateTime &now)
{
    const QTime time = now.time();
    return now.toMSecsSinceEpoch() - (time.second() * 1000 + time.msec()) + 60000;
}

void MinuteWaker::SleepUntilNextMinute(const QDateTime &now, qint64 orWithinMsecs)
{
    m_deadline = NextMinuteMSecs(now);
    if (orWithinMsecs >= 0)
        m_deadline = std::min(m_deadline, now.toMSecsSinceEpoch() + orWithinMsecs);
    m_armed = true;
    // The clock's minute on the system clock: the same moment for the
    // program's own clock (two readings a hair apart count as one).
    const qint64 clockNow = m_clock().toMSecsSinceEpoch();
    qint64 offset = QDateTime::currentMSecsSinceEpoch() - clockNow;
    if (qAbs(offset) < 50)
        offset = 0;
    if (m_mode == Mode::KernelTimer && armKernelTimer(m_deadline + offset))
        return;
    // A few milliseconds late rather than early, so the look after the
    // boundary finds the new minute.
    const qint64 remaining = m_deadline - clockNow + 5;
    m_poll.start(static_cast<int>(std::clamp<qint64>(remaining, 1, PollInterval)));
}

void MinuteWaker::Stop()
{
    if (!m_armed)
        return;
    m_armed = false;
    m_poll.stop();
#ifdef Q_OS_LINUX
    if (m_mode == Mode::KernelTimer) {
        const itimerspec off{};
        timerfd_settime(m_fd, 0, &off, nullptr);
    }
#endif
}

bool MinuteWaker::armKernelTimer(qint64 deadline)
{
#ifdef Q_OS_LINUX
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(deadline / 1000);
    when.it_value.tv_nsec = static_cast<long>(deadline % 1000) * 1000000L;
    // Cancelled when the clock is set, so a clock set forward past the
    // deadline, or back by hours, is noticed at once rather than at the old
    // moment. A moment already past fires at once.
    return timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr) == 0;
#else
    Q_UNUSED(deadline);
    return false;
#endif
}

MinuteWaker::Reading MinuteWaker::Interpret(qint64 result, int error)
{
    if (result > 0)
        return Reading::Expired;
    if (result < 0 && error == ECANCELED)
        return Reading::ClockSet;
    return Reading::Nothing; // EAGAIN: someone else read it first
}

void MinuteWaker::HandleReading(Reading reading)
{
    if (reading == Reading::Nothing)
        return;
    // The clock was set or the minute began: either way the clock looks at the
    // time now, and the next request arms the timer again (a cancelled timer
    // stays cancelled until then).
    m_armed = false;
    m_lastReading = reading;
    emit woke();
}

void MinuteWaker::readTimer()
{
#ifdef Q_OS_LINUX
    quint64 expirations = 0;
    const ssize_t result = ::read(m_fd, &expirations, sizeof expirations);
    HandleReading(Interpret(result, errno));
#endif
}
