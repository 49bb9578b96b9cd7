#pragma once

#include "platform/WakeTimer.h"

#include <QtGlobal>

// Keeps the computer's wake timer on the next alarm or pending snooze while
// "Wake From Suspend" is on: armed for the moment that minute begins, looked
// at again when the table, the snoozes or the clock changed and after the
// moment passed; disarmed when nothing is due. Where the system refuses such
// a timer, it says so once on standard error and the clock runs as ever.
class WakeScheduler
{
public:
    void SetEnabled(bool on);
    // The table changed (saved).
    void TableChanged() { m_stale = true; }
    // Called once a minute by the clock with the minute it examined.
    void Update(qint32 minute);

    const WakeTimer &Timer() const { return m_timer; }

private:
    WakeTimer m_timer;
    bool m_enabled = false;
    bool m_stale = true;
    bool m_refused = false;
    qint32 m_lastMinute = 0;
    quint64 m_snoozeChanges = 0;
};
