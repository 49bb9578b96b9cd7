#pragma once

#include "engine/AlarmHandling.h"
#include "engine/AlarmRecord.h"
#include "engine/AlarmStore.h"

#include <QList>
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

// The table (the placeholder first) as the alarm folder's Alarms.dat, each
// record in the slot of its position (one marked Deleted too), read by the
// program's store as a start reads it. False, with a warning, when either step
// fails.
inline bool useTable(const QList<AlarmRecord> &table)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < table.size(); ++i) {
        AlarmRecord record = table.at(i);
        record.Index = static_cast<qint32>(i);
        bytes += AlarmHandling::EncodeSlot(record);
    }
    QString error;
    if (!AlarmHandling::SaveFile(AlarmHandling::AlarmFilePath(), bytes, &error) ||
        !AlarmStore::Instance().Load(&error)) {
        qWarning("useTable: %s", qPrintable(error));
        return false;
    }
    return true;
}

// The program's table as the store holds it.
inline const QList<AlarmRecord> &storedTable()
{
    return AlarmStore::Instance().Records();
}
