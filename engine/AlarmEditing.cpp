#include "engine/AlarmEditing.h"

#include "engine/AlarmStore.h"
#include "engine/TimingModule.h"

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
    AlarmStore &store = AlarmStore::Instance();
    EditAlarm.Name = AlarmRecord::FixedName(EditAlarm.Name);
    if (store.Holds(EditAlarm.Index))
        return store.Replace(EditAlarm.Index, EditAlarm, AlarmStore::Never, error);
    if (!store.Add({EditAlarm}, AlarmStore::Never, error))
        return false;
    EditAlarm.Index = static_cast<qint32>(store.Records().size()) - 1;
    return true;
}

} // namespace AlarmEditing
