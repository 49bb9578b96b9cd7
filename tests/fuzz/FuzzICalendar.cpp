// The iCalendar reader: any bytes give a result or a refusal, never a crash;
// what it takes are alarms the table can hold, named without a control
// character, and reading the same bytes beside them adds nothing; a single
// event maps alike through either reader.

#include "FuzzTarget.h"

#include "interchange/ICalendar.h"
#include "interchange/Recurrence.h"

#include <QDate>

int TestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QDate today(2024, 3, 7);
    Recurrence::Install();
    const ICalendar::Import read = ICalendar::Read(input, {}, today);
    // One resource maps only where the whole file would give that one alarm.
    const ICalendar::Event event = ICalendar::ReadEvent(input, today);
    FUZZ_CHECK(event.maps == event.skip.isEmpty());
    // (An event the import keeps as a rule of its own the sync still maps onto a kind, or leaves alone.)
    if (event.maps && read.rules.value(0).IsEmpty())
        FUZZ_CHECK(read.ok && read.alarms.size() == 1 && read.alarms.first() == event.alarm);
    if (!read.ok) {
        FUZZ_CHECK(read.alarms.isEmpty());
        return 0;
    }
    FUZZ_CHECK(read.described.size() == read.alarms.size());
    for (const AlarmRecord &a : read.alarms) {
        FUZZ_CHECK(AlarmRecord::ControlCharacterIn(a.Name).isEmpty());
        FUZZ_CHECK(a.AlarmType <= AlarmRecord::EveryWeekday);
        FUZZ_CHECK(a.Hour <= 23 && a.Minute <= 59 && a.WeekDay <= 6);
        FUZZ_CHECK(a.Name.size() == AlarmRecord::NameLength);
        if (a.AlarmType == AlarmRecord::OnceOnly)
            FUZZ_CHECK(a.Year >= 2000 && a.Year <= 2050 && QDate(a.Year, a.Month, a.Day).isValid());
    }
    FUZZ_CHECK(read.rules.size() == read.alarms.size());
    FUZZ_CHECK(ICalendar::Read(input, read.alarms, today, read.rules).alarms.isEmpty());
    // What was taken goes out and comes back the same.
    FUZZ_CHECK(ICalendar::Read(ICalendar::Export(read.alarms), {}, today).alarms == read.alarms);
    return 0;
}
