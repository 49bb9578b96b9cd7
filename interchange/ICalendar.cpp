#include "interchange/ICalendar.h"

#include "engine/AlarmHandling.h"
#include "engine/TimingModule.h"

#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QTime>
#include <QUuid>

#include <libical/ical.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace ICalendar {

namespace {

constexpr char ProductId[] = "-//Varnod//Tockwise//EN";
const char *const ByDayNames[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
const char *const WeekDayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
const QDate FirstDate(2000, 1, 1);
const QDate LastDate(2050, 12, 31);

struct ComponentFree
{
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// The first day from 1 January 2000 on which the alarm rings: the start of
// its event, the same on every export.
QDate firstDay(const AlarmRecord &alarm)
{
    switch (alarm.AlarmType) {
    case AlarmRecord::OnceOnly:
        return QDate(alarm.Year, alarm.Month, alarm.Day);
    case AlarmRecord::Weekly:
        // Monday = 1 in Qt, 0 in the record.
        return FirstDate.addDays((alarm.WeekDay + 1 - FirstDate.dayOfWeek() + 7) % 7);
    case AlarmRecord::EveryWeekday:
        return FirstDate.addDays((1 - FirstDate.dayOfWeek() + 7) % 7);
    default:
        return FirstDate;
    }
}

icaltimetype wallTime(const QDate &date, int hour, int minute)
{
    icaltimetype t = icaltime_null_time();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    t.hour = hour;
    t.minute = minute;
    t.second = 0;
    t.is_date = 0;
    t.zone = nullptr; // floating: the wall clock wherever the user is
    return t;
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

} // namespace

QString Key(const AlarmRecord &a)
{
    QString key = QStringLiteral("%1 %2:%3 ").arg(a.AlarmType).arg(a.Hour).arg(a.Minute);
    if (a.AlarmType == AlarmRecord::OnceOnly)
        key += QStringLiteral("%1-%2-%3 ").arg(a.Year).arg(a.Month).arg(a.Day);
    else if (a.AlarmType == AlarmRecord::Weekly)
        key += QStringLiteral("%1 ").arg(a.WeekDay);
    return key + a.TrimmedName();
}

namespace {

icaltimetype utcStamp()
{
    const QDateTime now = TimingModule::Now().toUTC();
    return icaltime_from_timet_with_zone(now.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
}

// The rule of a repeating alarm, empty for one that rings once.
QByteArray ruleOf(const AlarmRecord &alarm)
{
    if (alarm.AlarmType == AlarmRecord::Daily)
        return "FREQ=DAILY";
    if (alarm.AlarmType == AlarmRecord::Weekly && alarm.WeekDay <= 6)
        return QByteArray("FREQ=WEEKLY;BYDAY=") + ByDayNames[alarm.WeekDay];
    if (alarm.AlarmType == AlarmRecord::EveryWeekday)
        return "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR";
    return {};
}

void addFlag(icalcomponent *event, const char *name)
{
    icalproperty *flag = icalproperty_new_x("TRUE");
    icalproperty_set_x_name(flag, name);
    icalcomponent_add_property(event, flag);
}

void removeFlag(icalcomponent *event, const char *name)
{
    QList<icalproperty *> found;
    for (icalproperty *x = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); x;
         x = icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
        if (qstrcmp(icalproperty_get_x_name(x), name) == 0)
            found.append(x);
    }
    for (icalproperty *x : found) {
        icalcomponent_remove_property(event, x);
        icalproperty_free(x);
    }
}

// The event of one alarm, or nullptr for a damaged record.
icalcomponent *newEvent(const AlarmRecord &alarm, const QString &uid, const icaltimetype &stamp, bool ours)
{
    const QDate day = firstDay(alarm);
    if (!day.isValid())
        return nullptr; // a damaged record has no day to start on
    icalcomponent *event = icalcomponent_new(ICAL_VEVENT_COMPONENT);
    icalcomponent_add_property(event, icalproperty_new_uid(utf8(uid).constData()));
    icalcomponent_add_property(event, icalproperty_new_dtstamp(stamp));
    const QByteArray name = utf8(alarm.TrimmedName());
    icalcomponent_add_property(event, icalproperty_new_summary(name.constData()));
    icalcomponent_add_property(event, icalproperty_new_dtstart(wallTime(day, alarm.Hour, alarm.Minute)));
    const QByteArray rule = ruleOf(alarm);
    if (!rule.isEmpty())
        icalcomponent_add_property(event, icalproperty_new_rrule(icalrecurrencetype_from_string(rule.constData())));
    if (alarm.Disabled != 0)
        addFlag(event, DisabledProperty);
    if (ours)
        addFlag(event, OwnerProperty);
    icalcomponent *reminder = icalcomponent_new(ICAL_VALARM_COMPONENT);
    icalcomponent_add_property(reminder, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icaltriggertype trigger;
    trigger.time = icaltime_null_time();
    trigger.duration = icaldurationtype_null_duration();
    icalcomponent_add_property(reminder, icalproperty_new_trigger(trigger));
    icalcomponent_add_property(reminder, icalproperty_new_description(name.constData()));
    icalcomponent_add_component(event, reminder);
    return event;
}

Component newCalendar()
{
    Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(ProductId));
    return calendar;
}

QByteArray text(icalcomponent *component)
{
    char *chars = icalcomponent_as_ical_string_r(component);
    QByteArray result(chars);
    std::free(chars);
    return result;
}

} // namespace

QByteArray Export(const QList<AlarmRecord> &alarms, const QStringList &uids)
{
    Component calendar = newCalendar();
    const icaltimetype stamp = utcStamp();
    for (qsizetype i = 0; i < alarms.size(); ++i) {
        const QString uid =
            i < uids.size() && !uids.at(i).isEmpty() ? uids.at(i) : QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (icalcomponent *event = newEvent(alarms.at(i), uid, stamp, false))
            icalcomponent_add_component(calendar.get(), event);
    }
    return text(calendar.get());
}

QByteArray NewEvent(const AlarmRecord &alarm, const QString &uid)
{
    icalcomponent *event = newEvent(alarm, uid, utcStamp(), true);
    if (!event)
        return {};
    Component calendar = newCalendar();
    icalcomponent_add_component(calendar.get(), event);
    return text(calendar.get());
}

namespace {

bool isEmpty(const short *array)
{
    return array[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

// What one event becomes: an alarm, or the reason it cannot be one.
struct Mapping
{
    AlarmRecord alarm;
    QString skip;
    QString warning;
};

QDateTime asWall(const icaltimetype &t)
{
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC);
}

// The local wall time of a moment in the event's zone; a floating time is
// wall time already.
QDateTime toLocalWall(icaltimetype t)
{
    if (!t.zone)
        return asWall(t);
    const icaltimezone *zone = icaltime_get_timezone(t);
    const time_t seconds = icaltime_as_timet_with_zone(t, zone);
    const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::LocalTime);
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

// The seconds by which the first reminder a calendar would show moves the
// alarm from the event's start (0 without one).
qint64 reminderOffset(icalcomponent *event, const icaltimetype &start)
{
    for (icalcomponent *reminder = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT); reminder;
         reminder = icalcomponent_get_next_component(event, ICAL_VALARM_COMPONENT)) {
        icalproperty *action = icalcomponent_get_first_property(reminder, ICAL_ACTION_PROPERTY);
        if (!action)
            continue;
        const icalproperty_action kind = icalproperty_get_action(action);
        if (kind != ICAL_ACTION_DISPLAY && kind != ICAL_ACTION_AUDIO)
            continue;
        icalproperty *trigger = icalcomponent_get_first_property(reminder, ICAL_TRIGGER_PROPERTY);
        if (!trigger)
            return 0;
        const icaltriggertype when = icalproperty_get_trigger(trigger);
        if (!icaltime_is_null_time(when.time))
            return 0; // a fixed moment, not a move of the event
        qint64 offset = icaldurationtype_as_int(when.duration);
        icalparameter *related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
        if (related && icalparameter_get_related(related) == ICAL_RELATED_END) {
            const icaltimetype end = icalcomponent_get_dtend(event);
            if (!icaltime_is_null_time(end))
                offset += asWall(start).secsTo(asWall(end));
        }
        return offset;
    }
    return 0;
}

QString frequencyName(icalrecurrencetype_frequency frequency)
{
    switch (frequency) {
    case ICAL_SECONDLY_RECURRENCE:
        return QStringLiteral("every second");
    case ICAL_MINUTELY_RECURRENCE:
        return QStringLiteral("every minute");
    case ICAL_HOURLY_RECURRENCE:
        return QStringLiteral("hourly");
    case ICAL_MONTHLY_RECURRENCE:
        return QStringLiteral("monthly");
    case ICAL_YEARLY_RECURRENCE:
        return QStringLiteral("yearly");
    default:
        return QStringLiteral("in a way");
    }
}

Mapping mapEvent(icalcomponent *event, const QDate &today)
{
    Mapping m;
    AlarmRecord &a = m.alarm;
    // Blanks around the name are dropped, as every window drops them.
    QString name = QString::fromUtf8(icalcomponent_get_summary(event));
    while (name.startsWith(QLatin1Char(' ')))
        name.remove(0, 1);
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED)
        return {a, QStringLiteral("it is cancelled"), {}};
    if (name.size() > AlarmRecord::NameLength)
        return {a, QStringLiteral("its name is longer than %1 characters").arg(AlarmRecord::NameLength), {}};
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return {a, QStringLiteral("its name has line breaks or other control characters"), {}};
    }
    if (AlarmHandling::StorableName(name) != name)
        return {a, QStringLiteral("its name has characters an alarm name cannot hold"), {}};

    if (!icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY))
        return {a, QStringLiteral("it has no start"), {}};
    const icaltimetype start = icalcomponent_get_dtstart(event);
    if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start))
        return {a, QStringLiteral("its start cannot be read"), {}};
    if (start.is_date)
        return {a, QStringLiteral("it is an all-day event, without a time to ring at"), {}};
    icalproperty *startProperty = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    icalparameter *tzid = icalproperty_get_first_parameter(startProperty, ICAL_TZID_PARAMETER);
    if (tzid && !start.zone)
        return {
            a, QStringLiteral("its time zone %1 is unknown").arg(QString::fromUtf8(icalparameter_get_tzid(tzid))), {}};

    for (icalproperty_kind extra : {ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_EXRULE_PROPERTY}) {
        if (icalcomponent_get_first_property(event, extra))
            return {a,
                    QStringLiteral("it has added or left-out dates (%1), which no alarm has")
                        .arg(QString::fromUtf8(icalproperty_kind_to_string(extra))),
                    {}};
    }
    icalproperty *ruleProperty = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    if (ruleProperty && icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY))
        return {a, QStringLiteral("it has more than one rule"), {}};

    const QDate startDate(start.year, start.month, start.day);
    const QDateTime wall = toLocalWall(start);
    const QDateTime rings = wall.addSecs(reminderOffset(event, start));
    if (!startDate.isValid() || !rings.isValid())
        return {a, QStringLiteral("its start cannot be read"), {}};
    const qint64 dayShift = startDate.daysTo(rings.date());

    a.Name = AlarmRecord::FixedName(name);
    a.Hour = static_cast<quint8>(rings.time().hour());
    a.Minute = static_cast<quint8>(rings.time().minute());
    a.Day = static_cast<quint8>(today.day());
    a.Month = static_cast<quint8>(today.month());
    a.Year = static_cast<qint16>(today.year());
    for (icalproperty *x = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); x;
         x = icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
        if (qstrcmp(icalproperty_get_x_name(x), DisabledProperty) == 0)
            a.Disabled = QByteArray(icalproperty_get_x(x)).trimmed().toUpper() == "TRUE" ? -1 : 0;
    }

    if (!ruleProperty) {
        if (rings.date() < FirstDate || rings.date() > LastDate)
            return {a, QStringLiteral("its day %1 lies outside 2000-2050").arg(rings.date().toString(Qt::ISODate)), {}};
        a.AlarmType = AlarmRecord::OnceOnly;
        a.Day = static_cast<quint8>(rings.date().day());
        a.Month = static_cast<quint8>(rings.date().month());
        a.Year = static_cast<qint16>(rings.date().year());
        return m;
    }

    const icalrecurrencetype rule = icalproperty_get_rrule(ruleProperty);
    const QString ruleText = QString::fromUtf8(icalproperty_get_value_as_string(ruleProperty));
    if (rule.freq != ICAL_DAILY_RECURRENCE && rule.freq != ICAL_WEEKLY_RECURRENCE)
        return {
            a, QStringLiteral("it repeats %1 (%2), which no alarm does").arg(frequencyName(rule.freq), ruleText), {}};
    if (rule.interval > 1)
        return {
            a,
            QStringLiteral("it repeats only every %1 %2 (%3), an alarm every one")
                .arg(rule.interval)
                .arg(rule.freq == ICAL_DAILY_RECURRENCE ? QStringLiteral("days") : QStringLiteral("weeks"), ruleText),
            {}};
    if (rule.count != 0 || !icaltime_is_null_time(rule.until))
        return {a, QStringLiteral("its repeats end (%1), an alarm's never do").arg(ruleText), {}};
    for (const short *part : {rule.by_second, rule.by_minute, rule.by_hour, rule.by_month_day, rule.by_year_day,
                              rule.by_week_no, rule.by_month, rule.by_set_pos}) {
        if (!isEmpty(part))
            return {a, QStringLiteral("its rule %1 picks days or times no alarm can").arg(ruleText), {}};
    }

    // Days of the rule, Monday = 0.
    QList<int> days;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0)
            return {a, QStringLiteral("its rule %1 picks days of the month").arg(ruleText), {}};
        const int sundayFirst = icalrecurrencetype_day_day_of_week(rule.by_day[i]); // 1 = Sunday
        const int day = (sundayFirst + 5) % 7;
        if (!days.contains(day))
            days.append(day);
    }
    std::sort(days.begin(), days.end());

    if (rule.freq == ICAL_DAILY_RECURRENCE) {
        if (!days.isEmpty())
            return {a, QStringLiteral("its rule %1 picks days no alarm kind repeats on").arg(ruleText), {}};
        a.AlarmType = AlarmRecord::Daily;
    } else if (days.isEmpty() || days.size() == 1) {
        a.AlarmType = AlarmRecord::Weekly;
        a.WeekDay = static_cast<quint8>(days.isEmpty() ? startDate.dayOfWeek() - 1 : days.first());
    } else if (days == QList<int>{0, 1, 2, 3, 4}) {
        a.AlarmType = AlarmRecord::EveryWeekday;
    } else {
        return {a, QStringLiteral("its rule %1 picks days no alarm kind repeats on").arg(ruleText), {}};
    }
    if (a.AlarmType != AlarmRecord::Daily && dayShift != 0)
        return {
            a, QStringLiteral("its reminder or time zone moves it to another day, which would change its days"), {}};

    // A zone whose clocks change at other times than the user's: the alarm
    // keeps one wall time, the calendar's would move part of the year.
    if (start.zone) {
        icaltimetype winter = start;
        winter.month = 1;
        winter.day = 15;
        icaltimetype summer = start;
        summer.month = 7;
        summer.day = 15;
        if (toLocalWall(winter).time() != toLocalWall(summer).time())
            m.warning = QStringLiteral("its time zone and yours change to daylight saving time differently: the "
                                       "alarm keeps %1, the calendar moves it by an hour part of the year")
                            .arg(rings.time().toString(QStringLiteral("HH:mm")));
    }
    return m;
}

QString describe(icalcomponent *event)
{
    const char *summary = icalcomponent_get_summary(event);
    QString text = QStringLiteral("\"%1\"").arg(QString::fromUtf8(summary ? summary : ""));
    if (icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY)) {
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (!icaltime_is_null_time(start))
            text += QStringLiteral(" (%1)").arg(QString::fromUtf8(icaltime_as_ical_string(start)));
    }
    return text;
}

} // namespace

Import Read(const QByteArray &data, const QList<AlarmRecord> &existing, const QDate &today)
{
    Import result;
    // The parser reads up to the first NUL; text never holds one.
    const QByteArray text = data.left(data.indexOf('\0') < 0 ? data.size() : data.indexOf('\0'));
    Component root(icalparser_parse_string(text.constData()));
    QList<icalcomponent *> calendars;
    if (root && icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        calendars.append(root.get());
    } else if (root && icalcomponent_isa(root.get()) == ICAL_XROOT_COMPONENT) {
        for (icalcomponent *c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars.append(c);
    }
    if (calendars.isEmpty()) {
        result.error = QStringLiteral("no iCalendar data (no BEGIN:VCALENDAR ... END:VCALENDAR)");
        return result;
    }
    result.ok = true;
    QSet<QString> known;
    for (const AlarmRecord &alarm : existing)
        known.insert(Key(alarm));
    for (icalcomponent *calendar : calendars) {
        for (icalcomponent *event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
             event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            const Mapping m = mapEvent(event, today);
            if (!m.skip.isEmpty()) {
                result.skipped.append(QStringLiteral("skipped %1: %2").arg(describe(event), m.skip));
                continue;
            }
            const QString key = Key(m.alarm);
            if (known.contains(key)) {
                result.skipped.append(
                    QStringLiteral("skipped %1: the same alarm is already there").arg(describe(event)));
                continue;
            }
            if (!m.warning.isEmpty())
                result.warnings.append(QStringLiteral("%1: %2").arg(describe(event), m.warning));
            known.insert(key);
            result.alarms.append(m.alarm);
        }
    }
    return result;
}

namespace {

// The one event of a resource and the calendar that holds it; nullptr for
// none, or for more than one (changed occurrences, which no alarm has).
icalcomponent *singleEvent(const Component &root)
{
    if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
        return nullptr;
    if (icalcomponent_count_components(root.get(), ICAL_VEVENT_COMPONENT) != 1)
        return nullptr;
    return icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT);
}

Component parse(const QByteArray &data)
{
    const QByteArray chars = data.left(data.indexOf('\0') < 0 ? data.size() : data.indexOf('\0'));
    return Component(icalparser_parse_string(chars.constData()));
}

bool hasFlag(icalcomponent *event, const char *name)
{
    for (icalproperty *x = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); x;
         x = icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
        if (qstrcmp(icalproperty_get_x_name(x), name) == 0)
            return QByteArray(icalproperty_get_x(x)).trimmed().toUpper() == "TRUE";
    }
    return false;
}

void removeAll(icalcomponent *event, icalproperty_kind kind)
{
    while (icalproperty *p = icalcomponent_get_first_property(event, kind)) {
        icalcomponent_remove_property(event, p);
        icalproperty_free(p);
    }
}

icaltimetype fromWall(const QDateTime &wall)
{
    return wallTime(wall.date(), wall.time().hour(), wall.time().minute());
}

} // namespace

Event ReadEvent(const QByteArray &resource, const QDate &today)
{
    Event result;
    const Component root = parse(resource);
    icalcomponent *event = singleEvent(root);
    if (!event) {
        result.skip = QStringLiteral("it holds no single event");
        return result;
    }
    const char *uid = icalcomponent_get_uid(event);
    result.uid = QString::fromUtf8(uid ? uid : "");
    result.ours = hasFlag(event, OwnerProperty);
    const Mapping m = mapEvent(event, today);
    result.skip = m.skip;
    result.maps = m.skip.isEmpty();
    result.alarm = m.alarm;
    return result;
}

QByteArray UpdateEvent(const QByteArray &resource, const AlarmRecord &alarm)
{
    const Component root = parse(resource);
    icalcomponent *event = singleEvent(root);
    const QDate day = firstDay(alarm);
    if (!event || !day.isValid())
        return {};
    // The alarm rings at the start moved by the event's reminder, so the
    // start is the alarm's time moved back by it; the end keeps its distance.
    icaltimetype oldStart = icalcomponent_get_dtstart(event);
    const bool hadStart = !icaltime_is_null_time(oldStart) && icaltime_is_valid_time(oldStart) && !oldStart.is_date;
    const qint64 offset = hadStart ? reminderOffset(event, oldStart) : 0;
    const QDateTime start = QDateTime(day, QTime(alarm.Hour, alarm.Minute), Qt::UTC).addSecs(-offset);
    qint64 length = -1;
    if (hadStart) {
        const icaltimetype oldEnd = icalcomponent_get_dtend(event);
        if (icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY) && !icaltime_is_null_time(oldEnd))
            length = qMax<qint64>(0, asWall(oldStart).secsTo(asWall(oldEnd)));
    }
    removeAll(event, ICAL_DTSTART_PROPERTY);
    icalcomponent_add_property(event, icalproperty_new_dtstart(fromWall(start)));
    if (icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
        removeAll(event, ICAL_DTEND_PROPERTY);
        icalcomponent_add_property(event, icalproperty_new_dtend(fromWall(start.addSecs(qMax<qint64>(length, 0)))));
    }
    removeAll(event, ICAL_SUMMARY_PROPERTY);
    icalcomponent_add_property(event, icalproperty_new_summary(utf8(alarm.TrimmedName()).constData()));
    removeAll(event, ICAL_RRULE_PROPERTY);
    const QByteArray rule = ruleOf(alarm);
    if (!rule.isEmpty())
        icalcomponent_add_property(event, icalproperty_new_rrule(icalrecurrencetype_from_string(rule.constData())));
    removeFlag(event, DisabledProperty);
    if (alarm.Disabled != 0)
        addFlag(event, DisabledProperty);
    removeAll(event, ICAL_DTSTAMP_PROPERTY);
    icalcomponent_add_property(event, icalproperty_new_dtstamp(utcStamp()));
    if (icalproperty *sequence = icalcomponent_get_first_property(event, ICAL_SEQUENCE_PROPERTY))
        icalproperty_set_sequence(sequence, icalproperty_get_sequence(sequence) + 1);
    return text(root.get());
}

QString WeekDayName(int weekDay)
{
    return weekDay >= 0 && weekDay <= 6 ? QString::fromLatin1(WeekDayNames[weekDay]) : QString();
}

} // namespace ICalendar
