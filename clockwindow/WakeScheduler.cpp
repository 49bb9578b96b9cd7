#include "clockwindow/WakeScheduler.h"

#include "engine/AlarmChecking.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"

void WakeScheduler::SetEnabled(bool on)
{
    m_enabled = on;
    m_stale = true;
    if (!on)
        m_timer.Close();
}

void WakeScheduler::Update(qint32 minute)
{
    if (!m_enabled || m_refused)
        return;
    // A minute that does not follow the last one is a clock set, a new time
    // zone or a computer that slept: the wall-clock moment of the next alarm
    // may have moved.
    const bool jumped = minute != m_lastMinute + 1 && minute != m_lastMinute;
    const bool passed = m_timer.IsArmed() && m_timer.ArmedFor() <= TimingModule::Now().toUTC();
    const bool snoozes = Snoozes::Changes() != m_snoozeChanges;
    m_lastMinute = minute;
    if (!m_stale && !jumped && !passed && !snoozes)
        return;
    m_stale = false;
    m_snoozeChanges = Snoozes::Changes();
    QString why;
    if (!m_timer.Arm(AlarmChecking::NextWakeMoment(), &why)) {
        m_refused = true;
        m_timer.Close();
        qWarning("tockwise: the computer will not be woken for alarms: %s", qPrintable(why));
    }
}
