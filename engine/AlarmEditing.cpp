#include "engine/AlarmEditing.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmIdentity.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"

#include <algorithm>

namespace AlarmEditing {

AlarmRecord EditAlarm;

void ClearEditAlarm()
{
    // The next whole hour: a time a newcomer can keep, and never one already past.
    const QDateTime next = TimingModule::Now().addSecs(3600);
    const QDate day = next.date();
    AlarmRecord r;
    r.Index = 0;
    r.Name = QString(AlarmRecord::NameLength, QLatin1Char(' '));
    r.AlarmType = AlarmRecord::OnceOnly;
    r.Hour = static_cast<quint8>(next.time().hour());
    r.Minute = 0;
    r.WeekDay = 0;
    r.Day = static_cast<quint8>(day.day());
    r.Month = static_cast<quint8>(day.month());
    r.Year = static_cast<qint16>(day.year());
    r.Deleted = 0;
    r.Disabled = 0;
    EditAlarm = r;
}

bool StoreEditAlarm(QString *error)
{
    QList<AlarmRecord> &alarms = AlarmHandling::Alarms;
    // An index that names no alarm (never the placeholder) is stored as a new one
    // rather than written outside the table.
    if (EditAlarm.Index <= 0 || EditAlarm.Index >= alarms.size()) {
        EditAlarm.Index = static_cast<qint32>(alarms.size());
        alarms.append(AlarmRecord{});
        AlarmIdentity::Appended();
    }
    EditAlarm.Name = AlarmRecord::FixedName(EditAlarm.Name);
    alarms[EditAlarm.Index] = EditAlarm;
    return AlarmHandling::SaveAlarms(error);
}

Removal RemoveAlarm(int index, QString *error)
{
    return RemoveAlarms({index}, error);
}

Removal RemoveAlarms(QList<int> indexes, QString *error)
{
    QList<AlarmRecord> &alarms = AlarmHandling::Alarms;
    indexes.removeIf([&alarms](int index) { return index <= 0 || index >= alarms.size(); });
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (indexes.isEmpty())
        return Removal::Removed;
    for (int index : indexes)
        alarms[index].Deleted = -1;
    if (!AlarmHandling::SaveAlarms(error)) {
        // The file still holds the alarms, so they stay in the table rather
        // than coming back unannounced at the next start.
        for (int index : indexes)
            alarms[index].Deleted = 0;
        return Removal::NotSaved;
    }
    // The records after each move up; so do their identities (the last
    // first, so that the earlier numbers still hold).
    for (auto it = indexes.crbegin(); it != indexes.crend(); ++it) {
        const QString id = AlarmIdentity::Of(*it);
        AlarmIdentity::Removed(*it);
        Snoozes::CancelFor(id);
    }
    return AlarmHandling::LoadAlarms(error) ? Removal::Removed : Removal::NotReadBack;
}

} // namespace AlarmEditing
