#pragma once

#include <QDateTime>
#include <QString>

// A kernel timer that wakes a sleeping computer at a moment (on Linux a
// timerfd on CLOCK_REALTIME_ALARM, which needs the CAP_WAKE_ALARM capability).
// It only wakes the computer: the program never reads it, so an armed timer
// costs the running program no wake-up.
class WakeTimer
{
public:
    WakeTimer() = default;
    ~WakeTimer();
    WakeTimer(const WakeTimer &) = delete;
    WakeTimer &operator=(const WakeTimer &) = delete;

    // Arms it for the moment (an invalid one disarms it). False, with the
    // system's reason, where the system refuses such a timer.
    bool Arm(const QDateTime &moment, QString *why = nullptr);
    // Gives the timer back to the system.
    void Close();
    // Whether this system has such timers at all (not whether this program
    // may use one).
    static bool Supported();
    bool IsArmed() const { return m_armed.isValid(); }
    QDateTime ArmedFor() const { return m_armed; }

private:
    int m_fd = -1;
    QDateTime m_armed;
};
