#pragma once

#include "engine/AlarmRecord.h"

#include <QString>

// An alarm record with the given fields; the rest stay as in an empty record.
// The name is padded as the file stores it.
inline AlarmRecord makeAlarm(const QString &name, quint8 type, quint8 hour, quint8 minute, quint8 weekDay = 0,
                             quint8 day = 0, quint8 month = 0, qint16 year = 0, qint16 disabled = 0)
{
    AlarmRecord r;
    r.Name = AlarmRecord::FixedName(name);
    r.AlarmType = type;
    r.Hour = hour;
    r.Minute = minute;
    r.WeekDay = weekDay;
    r.Day = day;
    r.Month = month;
    r.Year = year;
    r.Disabled = disabled;
    return r;
}
