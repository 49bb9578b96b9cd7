#include "engine/AlarmEditing.h"

#include "engine/AlarmStore.h"
#include "engine/AlarmWords.h"
#include "engine/TimingModule.h"

namespace AlarmEditing {

AlarmRecord EditAlarm;
AlarmRule EditRule;

void LoadEditAlarm(int index)
{
    const AlarmStore &store = AlarmStore::Instance();
    EditAlarm = store.At(index);
    EditRule = store.RuleOf(index);
}

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
    EditRule = {};
}

bool StoreEditAlarm(QString *error)
{
    AlarmStore &store = AlarmStore::Instance();
    EditAlarm.Name = AlarmRecord::FixedName(EditAlarm.Name);
    AlarmRecord record = EditAlarm;
    AlarmRule rule = EditRule;
    if (!rule.IsEmpty()) {
        if (rule.ToKind(&record))
            rule = {};
        else
            rule.StandIn(&record, TimingModule::CurrentMinute());
    }
    AlarmStore::Change change;
    const bool replacing = store.Holds(EditAlarm.Index);
    if (replacing) {
        change.replace = {{EditAlarm.Index, record}};
        change.rules = {{EditAlarm.Index, rule}};
    } else {
        change.add = {record};
        change.addRules = {rule};
    }
    if (!store.Apply(change, error))
        return false;
    if (!replacing)
        EditAlarm.Index = static_cast<qint32>(store.Records().size()) - 1;
    return true;
}

} // namespace AlarmEditing
