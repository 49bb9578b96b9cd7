#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>

class QSocketNotifier;

// Wakes the idle clock at the start of the next wall-clock minute, and at once
// when the wall clock is set or the computer resumes past that moment.
//
// On Linux the kernel does the waiting: a timerfd on the real-time clock, set
// to the absolute moment and cancelled when the clock is set, so an idle clock
// sleeps a whole minute. Elsewhere, or with TOCKWISE_POLL_CLOCK=1, it looks at
// the clock once a second instead, which also notices a clock that a test
// moves under the program (the kernel cancels no timer for a faked jump).
class MinuteWaker : public QObject
{
    Q_OBJECT

public:
    enum class Mode { KernelTimer, Polling };
    // What one read of the timer descriptor means.
    enum class Reading { Expired, ClockSet, Nothing };

    static constexpr int PollInterval = 1000;

    // The clock whose minutes it wakes for: the program's own, or a test's.
    // A clock running apart from the system's (a test's, years behind) is
    // slept on for as long as its own minute has left to run.
    using Clock = std::function<QDateTime()>;
    explicit MinuteWaker(Clock clock, QObject *parent = nullptr);
    ~MinuteWaker() override;

    Mode CurrentMode() const { return m_mode; }

    // Replaces any earlier request: wake once when the clock's minute after
    // `now` (a reading of the clock) begins, or at once when the system clock
    // is set or resumes past it.
    // With orWithinMsecs of 0 or more it wakes by then at the latest (for
    // something due between two minutes).
    void SleepUntilNextMinute(const QDateTime &now, qint64 orWithinMsecs = -1);
    void SleepUntilNextMinute() { SleepUntilNextMinute(m_clock()); }
    void Stop();
    bool IsArmed() const { return m_armed; }
    // The moment asked for on the clock, milliseconds since 1970; 0 when not
    // armed.
    qint64 Deadline() const { return m_armed ? m_deadline : 0; }

    // The start of the minute after `now`, milliseconds since 1970.
    static qint64 NextMinuteMSecs(const QDateTime &now);
    // The result of read() on the descriptor and errno after it.
    static Reading Interpret(qint64 result, int error);
    // Acts on one reading: anything but Nothing wakes the clock.
    void HandleReading(Reading reading);
    // Why it last woke: the minute began (Expired, also when polling) or the
    // system clock was set.
    Reading LastReading() const { return m_lastReading; }

signals:
    void woke();

private:
    void readTimer();
    bool armKernelTimer(qint64 deadline);

    Clock m_clock;
    Mode m_mode = Mode::Polling;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_poll;
    qint64 m_deadline = 0;
    bool m_armed = false;
    Reading m_lastReading = Reading::Nothing;
};
