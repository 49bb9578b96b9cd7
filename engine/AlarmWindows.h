#pragma once

#include <QString>
#include <QtGlobal>

// What alarm checking needs of the windows. The program's windows implement it;
// tests implement it with a recorder.
class AlarmWindows
{
public:
    virtual ~AlarmWindows() = default;

    // A due alarm rings: open its notification with the trimmed name, the time
    // text of the present moment, the minute it fell due and the alarm's
    // identity (for a snooze); show and raise it.
    virtual void OpenNotification(const QString &name, const QString &dateText, qint32 dueMinute,
                                  const QString &alarmId) = 0;

    // A missed line was appended: check "Show Missed Alarms", show the missed
    // panel, then the clock, and redraw the panel's list.
    virtual void ShowMissedAlarms() = 0;
    // Lines were deleted or cleared: redraw the panel's list where it shows.
    virtual void MissedAlarmsChanged() {}
};
