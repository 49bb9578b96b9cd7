#include "interchange/ICalendar.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmWords.h"
#include "engine/TimingModule.h"
#include "interchange/InputLimits.h"
#include "interchange/Recurrence.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QTime>
#include <QTimeZone>
#include <QUuid>

#include <libical/ical.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace ICalendar {

namespace {

constexpr char ProductId[] = "-//Varnod//Tockwise//EN";
const char *const ByDayNames[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
using AlarmWords::FirstDate;
using AlarmWords::LastDate;

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

QString Key(const AlarmRecord &a, const AlarmRule &rule)
{
    return rule.IsEmpty() ? Key(a) : QStringLiteral("rule %1 %2").arg(rule.Encode(), a.TrimmedName());
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

void addReminder(icalcomponent *event, const QByteArray &name);

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
    if (alarm.Disabled == 0)
        addReminder(event, name);
    return event;
}

// The reminder of an event of ours: at its start, in the alarm's name.
void addReminder(icalcomponent *event, const QByteArray &name)
{
    icalcomponent *reminder = icalcomponent_new(ICAL_VALARM_COMPONENT);
    icalcomponent_add_property(reminder, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icaltriggertype trigger;
    trigger.time = icaltime_null_time();
    trigger.duration = icaldurationtype_null_duration();
    icalcomponent_add_property(reminder, icalproperty_new_trigger(trigger));
    icalcomponent_add_property(reminder, icalproperty_new_description(name.constData()));
    icalcomponent_add_component(event, reminder);
}

// A reading of a rule's clock as an iCalendar time: floating on the local
// clock, in UTC, or on a zone of libical's own.
icaltimetype ruleTime(const QDateTime &wall, icaltimezone *zone)
{
    icaltimetype t = wallTime(wall.date(), wall.time().hour(), wall.time().minute());
    if (zone)
        t = icaltime_set_timezone(&t, zone);
    return t;
}

// The zone a rule is on, as libical has it; nullptr for the local clock.
icaltimezone *zoneOfRule(const AlarmRule &rule)
{
    if (rule.zone.isEmpty())
        return nullptr;
    if (rule.zone == QLatin1String("UTC"))
        return icaltimezone_get_utc_timezone();
    return icaltimezone_get_builtin_timezone(rule.zone.toUtf8().constData());
}

// The events of an alarm of a rule: the series with its rule, skipped and
// added dates, and one event of the same UID for each occurrence it moved.
QList<icalcomponent *> ruleEvents(const AlarmRecord &alarm, const AlarmRule &rule, const QString &uid,
                                  const icaltimetype &stamp, bool ours)
{
    icaltimezone *zone = zoneOfRule(rule);
    AlarmRecord once = alarm;
    once.AlarmType = AlarmRecord::OnceOnly;
    once.Year = static_cast<qint16>(rule.start.date().year());
    once.Month = static_cast<quint8>(rule.start.date().month());
    once.Day = static_cast<quint8>(rule.start.date().day());
    once.Hour = static_cast<quint8>(rule.start.time().hour());
    once.Minute = static_cast<quint8>(rule.start.time().minute());
    icalcomponent *series = newEvent(once, uid, stamp, ours);
    if (!series)
        return {};
    icalproperty *start = icalcomponent_get_first_property(series, ICAL_DTSTART_PROPERTY);
    icalproperty_set_dtstart(start, ruleTime(rule.start, zone));
    if (zone && zone != icaltimezone_get_utc_timezone())
        icalproperty_add_parameter(start, icalparameter_new_tzid(icaltimezone_get_tzid(zone)));
    const auto addTimes = [&](icalproperty *(*make)(const QDateTime &, icaltimezone *), const QList<QDateTime> &walls) {
        for (const QDateTime &wall : walls) {
            icalproperty *p = make(wall, zone);
            if (zone && zone != icaltimezone_get_utc_timezone())
                icalproperty_add_parameter(p, icalparameter_new_tzid(icaltimezone_get_tzid(zone)));
            icalcomponent_add_property(series, p);
        }
    };
    if (!rule.recur.isEmpty())
        icalcomponent_add_property(
            series, icalproperty_new_rrule(icalrecurrencetype_from_string(utf8(rule.recur).constData())));
    addTimes([](const QDateTime &w, icaltimezone *z) { return icalproperty_new_exdate(ruleTime(w, z)); }, rule.skipped);
    addTimes(
        [](const QDateTime &w, icaltimezone *z) {
            icaldatetimeperiodtype when;
            when.time = ruleTime(w, z);
            when.period = icalperiodtype_null_period();
            return icalproperty_new_rdate(when);
        },
        rule.added);
    QList<icalcomponent *> events{series};
    for (const auto &[original, to] : rule.moved) {
        icalcomponent *moved = icalcomponent_new_clone(series);
        for (icalproperty_kind kind : {ICAL_RRULE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_RDATE_PROPERTY}) {
            while (icalproperty *p = icalcomponent_get_first_property(moved, kind)) {
                icalcomponent_remove_property(moved, p);
                icalproperty_free(p);
            }
        }
        icalproperty *movedStart = icalcomponent_get_first_property(moved, ICAL_DTSTART_PROPERTY);
        icalproperty_set_dtstart(movedStart, ruleTime(to, zone));
        icalproperty *id = icalproperty_new_recurrenceid(ruleTime(original, zone));
        if (zone && zone != icaltimezone_get_utc_timezone())
            icalproperty_add_parameter(id, icalparameter_new_tzid(icaltimezone_get_tzid(zone)));
        icalcomponent_add_property(moved, id);
        events.append(moved);
    }
    return events;
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

QByteArray Export(const QList<AlarmRecord> &alarms, const QStringList &uids, const QList<AlarmRule> &rules)
{
    Component calendar = newCalendar();
    const icaltimetype stamp = utcStamp();
    QSet<QString> zones;
    for (qsizetype i = 0; i < alarms.size(); ++i) {
        const QString uid =
            i < uids.size() && !uids.at(i).isEmpty() ? uids.at(i) : QUuid::createUuid().toString(QUuid::WithoutBraces);
        const AlarmRule rule = rules.value(i);
        if (rule.IsEmpty()) {
            if (icalcomponent *event = newEvent(alarms.at(i), uid, stamp, false))
                icalcomponent_add_component(calendar.get(), event);
            continue;
        }
        // The zone's clock changes go along, once for every alarm on it.
        icaltimezone *zone = zoneOfRule(rule);
        if (zone && zone != icaltimezone_get_utc_timezone() && !zones.contains(rule.zone)) {
            zones.insert(rule.zone);
            icalcomponent_add_component(calendar.get(), icalcomponent_new_clone(icaltimezone_get_component(zone)));
        }
        for (icalcomponent *event : ruleEvents(alarms.at(i), rule, uid, stamp, false))
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

// Reading the text. What comes from outside is read once here, in linear
// time, before libical sees any of it: libical's own line reader takes time
// that grows with the square of a line's length, and it works out every
// clock change of a time zone's rules, so what it is given is bounded first.

// Clock changes are worked out up to the last year an alarm rings in, and
// libical goes five years beyond the year it is asked for.
constexpr int LastZoneYear = 2050 + 5;

QString mebibytes(qint64 bytes)
{
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Text from the file as a line of ours shows it: control characters as
// spaces (so nothing reaches a terminal raw or forges a line), cut after a
// name's length.
QString shown(const QString &text)
{
    QString result;
    const qsizetype room = AlarmRecord::NameLength;
    for (qsizetype i = 0; i < text.size() && result.size() <= room; ++i)
        result.append(AlarmRecord::IsControl(text.at(i)) ? QLatin1Char(' ') : text.at(i));
    if (result.size() > room) {
        result.truncate(room);
        result.append(QStringLiteral("..."));
    }
    return result;
}

// One content line, unfolded (RFC 5545 3.1: a line break followed by a
// space or a tab continues the line).
struct ContentLine
{
    qsizetype begin = 0; // offset of its first byte
    qsizetype end = 0;   // offset past its last line break
    int number = 0;      // the number of its first line in the data
    qint64 length = 0;   // its bytes once unfolded, without the line end
    bool nul = false;    // it holds a NUL byte, which libical would end it at
    QByteArray text;     // unfolded, trailing blanks removed, cut at the cap
};

class LineReader
{
public:
    LineReader(const QByteArray &data, qint64 cap)
        : m_data(data)
        , m_cap(cap)
    {}

    bool next(ContentLine &line)
    {
        const char *d = m_data.constData();
        const qsizetype size = m_data.size();
        if (m_pos >= size)
            return false;
        line.begin = m_pos;
        line.number = m_number + 1;
        line.length = 0;
        line.nul = false;
        line.text.truncate(0); // keeps its buffer for the next line
        bool folded = false;
        for (;;) {
            ++m_number;
            const void *found = std::memchr(d + m_pos, '\n', size_t(size - m_pos));
            const qsizetype end = found ? static_cast<const char *>(found) - d + 1 : size;
            const qsizetype from = m_pos + (folded ? 1 : 0);
            qsizetype to = end;
            if (found) {
                --to;
                if (to > from && d[to - 1] == '\r')
                    --to;
            }
            if (to > from) {
                line.nul = line.nul || std::memchr(d + from, 0, size_t(to - from)) != nullptr;
                line.length += to - from;
                const qint64 room = m_cap - line.text.size();
                if (room > 0)
                    line.text.append(d + from, qsizetype(qMin<qint64>(room, to - from)));
            }
            m_pos = end;
            if (!found || m_pos >= size || (d[m_pos] != ' ' && d[m_pos] != '\t'))
                break;
            folded = true;
        }
        line.end = m_pos;
        while (!line.text.isEmpty() && isBlank(line.text.back()))
            line.text.chop(1);
        return true;
    }

private:
    const QByteArray &m_data;
    const qint64 m_cap;
    qsizetype m_pos = 0;
    int m_number = 0;
};

// A content line's name as libical finds it (up to the first ';' or ':'
// outside quotes and not after a backslash), in upper case, and where its
// value starts (after the first such ':'; -1 for none).
struct Split
{
    QByteArray name;
    qsizetype value = -1;
};

Split split(const QByteArray &text)
{
    Split s;
    qsizetype nameEnd = -1;
    bool quoted = false;
    char previous = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (previous != 0 && previous != '\\') {
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && (c == ';' || c == ':')) {
                if (nameEnd < 0)
                    nameEnd = i;
                if (c == ':') {
                    s.value = i + 1;
                    break;
                }
            }
        }
        previous = c;
    }
    if (nameEnd >= 0) {
        s.name = text.left(nameEnd).toUpper();
        while (!s.name.isEmpty() && isBlank(s.name.back()))
            s.name.chop(1);
    }
    return s;
}

QByteArray valueOf(const ContentLine &line, const Split &s)
{
    return s.value < 0 ? QByteArray() : line.text.mid(s.value);
}

// A date's value: what follows the line's last ':' (a date never holds one,
// a zone's name in the parameters may).
QByteArray dateOf(const ContentLine &line)
{
    return line.text.mid(line.text.lastIndexOf(':') + 1).trimmed();
}

enum class Kind { Calendar, Event, Zone, ZonePart, Other };

// libical takes a component's name by its beginning ("VEVENTX" is an event),
// so the same is done here, and blanks around it are forgiven: counting a
// block libical would not take as a zone costs nothing.
Kind kindOf(const QByteArray &value, Kind parent)
{
    const QByteArray name = value.trimmed().toUpper();
    if (name.startsWith("VCALENDAR"))
        return Kind::Calendar;
    if (name.startsWith("VEVENT"))
        return Kind::Event;
    if (name.startsWith("VTIMEZONE"))
        return Kind::Zone;
    if (parent == Kind::Zone && (name.startsWith("STANDARD") || name.startsWith("DAYLIGHT")))
        return Kind::ZonePart;
    return Kind::Other;
}

// Multiplication that stops far beyond every limit, so that no list in a
// rule can make the count overflow.
constexpr qint64 Plenty = qint64(1) << 48;

qint64 times(qint64 a, qint64 b)
{
    if (a <= 0 || b <= 0)
        return 0;
    return a > Plenty / b ? Plenty : qMin(Plenty, a * b);
}

// At most how many clock changes one rule of a time zone part gives from
// startYear up to LastZoneYear: what libical works out for it.
qint64 ruleDates(const QByteArray &rule, int startYear)
{
    QByteArray frequency;
    qint64 interval = 1;
    qint64 count = -1;
    int endYear = LastZoneYear;
    qint64 months = 0, monthDays = 0, yearDays = 0, weeks = 0, plainDays = 0, nthDays = 0;
    qint64 factor = 1; // BYHOUR, BYMINUTE and BYSECOND multiply whatever else
    for (const QByteArray &part : rule.split(';')) {
        const qsizetype equals = part.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = part.left(equals).trimmed().toUpper();
        const QByteArray value = part.mid(equals + 1).trimmed();
        const qint64 values = value.count(',') + 1;
        bool ok = false;
        if (key == "FREQ") {
            frequency = value.toUpper();
        } else if (key == "INTERVAL") {
            interval = qMax<qint64>(1, value.toLongLong(&ok));
        } else if (key == "COUNT") {
            count = value.toLongLong(&ok);
            if (!ok)
                count = -1;
        } else if (key == "UNTIL") {
            const int year = value.left(4).toInt(&ok);
            if (ok)
                endYear = qMin(endYear, year);
        } else if (key == "BYMONTH") {
            months = values;
        } else if (key == "BYMONTHDAY") {
            monthDays = values;
        } else if (key == "BYYEARDAY") {
            yearDays = values;
        } else if (key == "BYWEEKNO") {
            weeks = values;
        } else if (key == "BYDAY") {
            for (const QByteArray &day : value.split(',')) {
                if (std::any_of(day.begin(), day.end(), [](char c) { return c >= '0' && c <= '9'; }))
                    ++nthDays;
                else
                    ++plainDays;
            }
        } else if (key == "BYHOUR" || key == "BYMINUTE" || key == "BYSECOND") {
            factor = times(factor, values);
        }
    }
    // Days a month at most: BYMONTHDAY picks them (BYDAY can only take some
    // away), else each weekday comes at most five times, an nth one once.
    const qint64 inMonth = monthDays > 0 ? monthDays : (plainDays + nthDays > 0 ? plainDays * 5 + nthDays : 1);
    qint64 perYear = 1;
    if (frequency == "YEARLY") {
        if (yearDays > 0)
            perYear = yearDays;
        else if (weeks > 0)
            perYear = times(weeks, 7);
        else if (months > 0)
            perYear = times(months, inMonth);
        else if (monthDays > 0)
            perYear = times(12, inMonth);
        else if (plainDays + nthDays > 0)
            perYear = plainDays * 53 + nthDays; // weekdays of the whole year
    } else if (frequency == "MONTHLY") {
        perYear = times(12, inMonth);
    } else if (frequency == "WEEKLY") {
        perYear = times(53, qMax<qint64>(1, plainDays + nthDays));
    } else if (frequency == "DAILY") {
        perYear = 366;
    } else if (frequency == "HOURLY") {
        perYear = 366 * 24;
    } else if (frequency == "MINUTELY") {
        perYear = 366 * 24 * 60;
    } else if (frequency == "SECONDLY") {
        perYear = 366 * 24 * 60 * 60;
    }
    perYear = times(perYear, factor);
    qint64 years = qMax(0, endYear - startYear + 1);
    if (frequency == "YEARLY")
        years = (years + interval - 1) / interval;
    else
        perYear = (perYear + interval - 1) / interval;
    const qint64 dates = times(years, perYear);
    return count >= 1 ? qMin(dates, count) : dates;
}

// What the reading before libical found: a reason to refuse the data whole,
// or the parts of it left out (each event among them with its reason).
struct Scan
{
    QString refusal;
    QString firstProblem;                           // of all, the first
    QList<std::pair<qsizetype, qsizetype>> dropped; // byte ranges, in order
    struct Skipped
    {
        QString what;
        QString why;
        QString uid;
        bool ours = false;
    };
    QList<Skipped> skipped;

    bool clean() const { return refusal.isEmpty() && dropped.isEmpty(); }
    QString problem() const { return refusal.isEmpty() ? firstProblem : refusal; }
};

class Scanner
{
public:
    explicit Scanner(const QByteArray &data)
        : m_data(data)
    {}

    Scan run()
    {
        if (m_data.size() > InputLimits::FileBytes) {
            m_scan.refusal = QStringLiteral("the data is larger than %1 (%2 bytes)")
                                 .arg(mebibytes(InputLimits::FileBytes))
                                 .arg(m_data.size());
            return m_scan;
        }
        LineReader reader(m_data, InputLimits::LineBytes + 1);
        ContentLine line;
        while (m_scan.refusal.isEmpty() && reader.next(line)) {
            const Split s = split(line.text);
            QString why;
            if (line.length > InputLimits::LineBytes)
                why =
                    QStringLiteral("line %1 is longer than %2").arg(line.number).arg(mebibytes(InputLimits::LineBytes));
            else if (line.nul)
                why = QStringLiteral("line %1 holds a NUL character (U+0000)").arg(line.number);
            if (s.name == "BEGIN") {
                const Kind parent = m_stack.isEmpty() ? Kind::Other : m_stack.last().kind;
                Frame frame;
                frame.kind = kindOf(valueOf(line, s), parent);
                frame.begin = line.begin;
                frame.line = line.number;
                m_stack.append(frame);
                if (!why.isEmpty())
                    problem(line, why, why, true);
            } else if (s.name == "END") {
                if (!why.isEmpty())
                    problem(line, why, why, true);
                end(line);
            } else if (!why.isEmpty()) {
                const bool name = line.nul && s.name == "SUMMARY" && inEvent() && m_stack.size() == 2;
                problem(line, why, name ? QStringLiteral("its name holds a control character (U+0000)") : why, false);
            } else if (m_dropAt < 0) {
                property(line, s);
            }
        }
        if (m_scan.refusal.isEmpty() && m_dropAt >= 0)
            leftOut(m_data.size()); // it never ends: left out to the end
        return m_scan;
    }

private:
    struct Frame
    {
        Kind kind = Kind::Other;
        qsizetype begin = 0; // offset of its BEGIN line
        int line = 0;        // the number of its BEGIN line
        // An event: what names it, should it be left out.
        QByteArray summary, start, uid;
        bool ours = false;
        // A time zone block: its name and its entries; a part of one: the
        // year it starts in (-1 none, which libical skips), its rules.
        QByteArray tzid;
        qint64 entries = 0;
        int startYear = -1;
        QList<QByteArray> rules;
    };

    bool inEvent() const
    {
        return m_stack.size() >= 2 && m_stack.first().kind == Kind::Calendar && m_stack.at(1).kind == Kind::Event;
    }

    // A line that must not reach libical: an event holding it is left out
    // with eventWhy; a zone holding it, or a line that begins or ends a
    // component, refuses the data (leaving out a zone would move the times
    // of events that rely on it); any other line is left out alone.
    void problem(const ContentLine &line, const QString &why, const QString &eventWhy, bool structural)
    {
        if (m_scan.firstProblem.isEmpty())
            m_scan.firstProblem = why;
        if (m_dropAt >= 0)
            return; // left out already
        if (inEvent()) {
            m_dropAt = 1;
            m_dropWhy = eventWhy;
            return;
        }
        const bool inZone =
            std::any_of(m_stack.begin(), m_stack.end(), [](const Frame &f) { return f.kind == Kind::Zone; });
        if (inZone || structural)
            m_scan.refusal = why;
        else
            m_scan.dropped.append({line.begin, line.end});
    }

    void property(const ContentLine &line, const Split &s)
    {
        if (m_stack.isEmpty())
            return;
        Frame &top = m_stack.last();
        if (top.kind == Kind::Event && inEvent() && m_stack.size() == 2) {
            if (s.name == "SUMMARY" && top.summary.isEmpty())
                top.summary = valueOf(line, s).left(4 * AlarmRecord::NameLength);
            else if (s.name == "DTSTART" && top.start.isEmpty())
                top.start = dateOf(line).left(40);
            else if (s.name == "UID" && top.uid.isEmpty())
                top.uid = valueOf(line, s).left(1024);
            else if (s.name == OwnerProperty)
                top.ours = valueOf(line, s).trimmed().toUpper() == "TRUE";
        } else if (top.kind == Kind::Zone) {
            if (s.name == "TZID" && top.tzid.isEmpty())
                top.tzid = valueOf(line, s).left(4 * AlarmRecord::NameLength);
        } else if (top.kind == Kind::ZonePart) {
            if (s.name == "DTSTART") {
                bool ok = false;
                const QByteArray date = dateOf(line);
                const int year = date.left(4).toInt(&ok);
                // A start not read here is taken as the earliest, not the latest.
                top.startYear = ok && date.size() >= 8 && date.at(0) >= '0' && date.at(0) <= '9' ? year : 0;
            } else if (s.name == "RDATE") {
                top.entries = times(1, top.entries + valueOf(line, s).count(',') + 1);
            } else if (s.name == "RRULE") {
                // Each rule costs libical a start, whatever dates it gives.
                top.entries = times(1, top.entries + 1);
                if (top.rules.size() <= InputLimits::ZoneEntries)
                    top.rules.append(valueOf(line, s));
            }
        }
    }

    void end(const ContentLine &line)
    {
        if (m_stack.isEmpty())
            return; // libical passes over an END with nothing open
        const int at = int(m_stack.size()) - 1;
        if (m_dropAt < 0)
            count(line);
        if (!m_scan.refusal.isEmpty())
            return;
        if (at == m_dropAt)
            leftOut(line.end);
        m_stack.removeLast();
    }

    // The entries of a part go to its zone; a zone's are weighed.
    void count(const ContentLine &line)
    {
        Frame &top = m_stack.last();
        if (top.kind == Kind::ZonePart) {
            qint64 entries = times(1, top.entries + 1);
            if (top.startYear >= 0) {
                for (const QByteArray &rule : std::as_const(top.rules))
                    entries = qMin(Plenty, entries + ruleDates(rule, top.startYear));
            }
            Frame &zone = m_stack[m_stack.size() - 2];
            zone.entries = qMin(Plenty, zone.entries + entries);
        } else if (top.kind == Kind::Zone) {
            const QString name = top.tzid.isEmpty() ? QStringLiteral("block")
                                                    : QStringLiteral("\"%1\"").arg(shown(QString::fromUtf8(top.tzid)));
            if (top.entries > InputLimits::ZoneEntries) {
                const QString why = QStringLiteral("the time zone %1 at line %2 has more than %3 entries (parts, their "
                                                   "dates and the dates of their rules up to %4)")
                                        .arg(name)
                                        .arg(top.line)
                                        .arg(InputLimits::ZoneEntries)
                                        .arg(LastZoneYear);
                problem(line, why, why, true);
                return;
            }
            m_zoneEntries += top.entries;
            if (m_zoneEntries > InputLimits::ZoneEntriesInAll)
                m_scan.refusal = QStringLiteral("its time zones have more than %1 entries in all, at line %2")
                                     .arg(InputLimits::ZoneEntriesInAll)
                                     .arg(line.number);
        }
    }

    // The component being left out ends at offset end.
    void leftOut(qsizetype end)
    {
        const Frame &frame = m_stack.at(m_dropAt);
        m_scan.dropped.append({frame.begin, end});
        if (frame.kind == Kind::Event) {
            Scan::Skipped skipped;
            QString summary = QString::fromUtf8(frame.summary);
            summary.replace(QLatin1String("\\n"), QLatin1String(" "), Qt::CaseInsensitive);
            summary.replace(QLatin1String("\\,"), QLatin1String(","));
            summary.replace(QLatin1String("\\;"), QLatin1String(";"));
            summary.replace(QLatin1String("\\\\"), QLatin1String("\\"));
            skipped.what = frame.summary.isEmpty() ? QStringLiteral("the event at line %1").arg(frame.line)
                                                   : QStringLiteral("\"%1\"").arg(shown(summary));
            if (!frame.start.isEmpty())
                skipped.what += QStringLiteral(" (%1)").arg(shown(QString::fromUtf8(frame.start)));
            skipped.why = m_dropWhy;
            skipped.uid = QString::fromUtf8(frame.uid);
            skipped.ours = frame.ours;
            m_scan.skipped.append(skipped);
        }
        m_dropAt = -1;
        m_dropWhy.clear();
    }

    const QByteArray &m_data;
    Scan m_scan;
    QList<Frame> m_stack;
    int m_dropAt = -1;        // the component being left out, -1 for none
    QString m_dropWhy;        // why, when it is an event
    qint64 m_zoneEntries = 0; // of every zone so far
};

// The data as libical reads it, but line by line from here (libical's own
// reader takes quadratic time over a long line), leaving out what scan left
// out: nothing past a limit reaches libical.
Component parse(const QByteArray &data, const Scan &scan)
{
    icalparser *parser = icalparser_new();
    if (!parser)
        return {};
    icalcomponent *root = nullptr;
    LineReader reader(data, InputLimits::LineBytes + 1);
    ContentLine line;
    qsizetype next = 0;
    while (reader.next(line)) {
        while (next < scan.dropped.size() && scan.dropped.at(next).second <= line.begin)
            ++next;
        if (next < scan.dropped.size() && line.begin >= scan.dropped.at(next).first)
            continue;
        if (line.text.isEmpty())
            continue;
        icalcomponent *c = icalparser_add_line(parser, line.text.data());
        if (!c)
            continue;
        // Two or more components at the top go under one, as libical does.
        if (!root) {
            root = c;
            continue;
        }
        if (icalcomponent_isa(root) != ICAL_XROOT_COMPONENT) {
            icalcomponent *top = icalcomponent_new(ICAL_XROOT_COMPONENT);
            icalcomponent_add_component(top, root);
            root = top;
        }
        icalcomponent_add_component(root, c);
    }
    icalparser_free(parser);
    return Component(root);
}

// A TZID that libical does not find in the data is looked up as a file below
// the system's zoneinfo folder; one that climbs out of it ("../") could open
// a FIFO or a terminal and wait for ever, so it is no zone at all here.
bool definedIn(icalcomponent *component, const char *tzid)
{
    for (icalcomponent *c = component; c; c = icalcomponent_get_parent(c)) {
        if (icalcomponent_get_timezone(c, tzid))
            return true;
    }
    return false;
}

QString unsafeZone(icalcomponent *event)
{
    for (icalproperty_kind kind : {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY}) {
        for (icalproperty *p = icalcomponent_get_first_property(event, kind); p;
             p = icalcomponent_get_next_property(event, kind)) {
            icalparameter *tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
            const char *name = tzid ? icalparameter_get_tzid(tzid) : nullptr;
            if (name && std::strstr(name, "..") && !definedIn(event, name))
                return QString::fromUtf8(name);
        }
    }
    return {};
}

} // namespace

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
    AlarmRule rule; // where the kinds cannot say when it rings
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
qint64 reminderOffset(icalcomponent *event, const icaltimetype &start, bool fixedMoments = false)
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
        // A reminder at a fixed moment alerts once, then: it moves an event
        // that happens once (where the changes of our own events keep it); a
        // series rings at its starts.
        if (!icaltime_is_null_time(when.time))
            return fixedMoments && !icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) &&
                           icaltime_is_valid_time(when.time)
                       ? toLocalWall(start).secsTo(toLocalWall(when.time))
                       : 0;
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

// A property libical could not read and left out of the event, noting its
// name and its text in an X-LIC-ERROR property.
struct Unread
{
    QString property;
    QString text;
};

QList<Unread> unread(icalcomponent *event)
{
    static constexpr QLatin1String Marker(" property. Removing entire property: ");
    QList<Unread> found;
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_XLICERROR_PROPERTY)) {
        const char *error = icalproperty_get_xlicerror(p);
        const QString text = QString::fromUtf8(error ? error : "");
        const qsizetype at = text.indexOf(Marker);
        const qsizetype in = at < 0 ? -1 : text.lastIndexOf(QLatin1String(" in "), at);
        if (in < 0)
            continue;
        found.append({text.mid(in + 4, at - in - 4).trimmed().toUpper(), text.mid(at + Marker.size())});
    }
    return found;
}

// Why a rule libical could not read cannot be an alarm's.
QString ruleProblem(const QString &rule)
{
    const QString shownRule = shown(rule);
    for (const QString &part : rule.split(QLatin1Char(';'))) {
        const QString key = part.section(QLatin1Char('='), 0, 0).trimmed().toUpper();
        const QString value = part.section(QLatin1Char('='), 1);
        if (key == QLatin1String("COUNT")) {
            bool number = false;
            const qlonglong count = value.trimmed().toLongLong(&number);
            if (number && count < 1)
                return QStringLiteral("its rule %1 repeats it %2 times, below 1").arg(shownRule).arg(count);
            if (!number)
                return QStringLiteral("its rule %1 has COUNT=%2, which is no number").arg(shownRule, shown(value));
        } else if (key == QLatin1String("UNTIL")) {
            return QStringLiteral("its rule %1 has UNTIL=%2, which is no date").arg(shownRule, shown(value));
        }
    }
    return QStringLiteral("its rule %1 cannot be read").arg(shownRule);
}

// relaxed: for a rule of its own (mapRule), the checks of what the kinds
// cannot say are left out.
Mapping mapEvent(icalcomponent *event, const QDate &today, bool relaxed = false)
{
    Mapping m;
    AlarmRecord &a = m.alarm;
    // Blanks around the name are dropped, as every window drops them.
    const QString summary = QString::fromUtf8(icalcomponent_get_summary(event));
    qsizetype first = 0;
    qsizetype last = summary.size();
    while (first < last && summary.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && summary.at(last - 1) == QLatin1Char(' '))
        --last;
    const QString name = summary.mid(first, last - first);
    if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED)
        return {a, QStringLiteral("it is cancelled"), {}, {}};
    // A "\n" in the text is a line break once read, and as much a control
    // character as a tab.
    const QString control = AlarmRecord::ControlCharacterIn(name);
    if (!control.isEmpty())
        return {a, QStringLiteral("its name holds a control character (%1)").arg(control), {}, {}};
    if (name.size() > AlarmRecord::NameLength)
        return {a, QStringLiteral("its name is longer than %1 characters").arg(AlarmRecord::NameLength), {}, {}};
    if (AlarmHandling::StorableName(name) != name)
        return {a, QStringLiteral("its name has characters an alarm name cannot hold"), {}, {}};

    // What libical could not read it left out, noting it: an event without
    // its rule or its left-out dates would ring on other days than it does.
    for (const Unread &u : unread(event)) {
        if (u.property == QLatin1String("RRULE"))
            return {a, ruleProblem(u.text), {}, {}};
        if (u.property == QLatin1String("EXRULE") || u.property == QLatin1String("RDATE") ||
            u.property == QLatin1String("EXDATE"))
            return {
                a, QStringLiteral("it has added or left-out dates (%1), which no alarm has").arg(u.property), {}, {}};
        if (u.property == QLatin1String("DTSTART"))
            return {a, QStringLiteral("its start cannot be read"), {}, {}};
    }
    if (!icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY))
        return {a, QStringLiteral("it has no start"), {}, {}};
    const QString unsafe = unsafeZone(event);
    if (!unsafe.isEmpty())
        return {a, QStringLiteral("its time zone %1 is unknown").arg(shown(unsafe)), {}, {}};
    const icaltimetype start = icalcomponent_get_dtstart(event);
    if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start))
        return {a, QStringLiteral("its start cannot be read"), {}, {}};
    if (start.is_date)
        return {a, QStringLiteral("it is an all-day event, without a time to ring at"), {}, {}};
    icalproperty *startProperty = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    icalparameter *tzid = icalproperty_get_first_parameter(startProperty, ICAL_TZID_PARAMETER);
    if (tzid && !start.zone)
        return {
            a,
            QStringLiteral("its time zone %1 is unknown").arg(shown(QString::fromUtf8(icalparameter_get_tzid(tzid)))),
            {},
            {}};

    for (icalproperty_kind extra : {ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_EXRULE_PROPERTY}) {
        if (relaxed && extra != ICAL_EXRULE_PROPERTY)
            continue;
        if (icalcomponent_get_first_property(event, extra))
            return {a,
                    QStringLiteral("it has added or left-out dates (%1), which no alarm has")
                        .arg(QString::fromUtf8(icalproperty_kind_to_string(extra))),
                    {},
                    {}};
    }
    icalproperty *ruleProperty = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    if (ruleProperty && icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY))
        return {a, QStringLiteral("it has more than one rule"), {}, {}};

    const QDate startDate(start.year, start.month, start.day);
    // libical works a zone's clock changes out up to the year asked for, and
    // again on every call past the years it keeps: no alarm rings after 2050.
    if (start.zone && !icaltime_is_utc(start) && start.year > LastDate.year()) {
        const QString day = startDate.toString(Qt::ISODate);
        return {a,
                ruleProperty ? QStringLiteral("it starts on %1, after 2050").arg(day)
                             : QStringLiteral("its day %1 lies outside 2000-2050").arg(day),
                {},
                {}};
    }
    const QDateTime wall = toLocalWall(start);
    const QDateTime rings = wall.addSecs(reminderOffset(event, start, true));
    if (!startDate.isValid() || !rings.isValid())
        return {a, QStringLiteral("its start cannot be read"), {}, {}};
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

    if (!ruleProperty || relaxed) {
        if (relaxed && ruleProperty)
            return m;
        if (rings.date() < FirstDate || rings.date() > LastDate)
            return {
                a, QStringLiteral("its day %1 lies outside 2000-2050").arg(rings.date().toString(Qt::ISODate)), {}, {}};
        a.AlarmType = AlarmRecord::OnceOnly;
        a.Day = static_cast<quint8>(rings.date().day());
        a.Month = static_cast<quint8>(rings.date().month());
        a.Year = static_cast<qint16>(rings.date().year());
        return m;
    }

    const icalrecurrencetype rule = icalproperty_get_rrule(ruleProperty);
    const QString ruleText = QString::fromUtf8(icalproperty_get_value_as_string(ruleProperty));
    if (rule.freq != ICAL_DAILY_RECURRENCE && rule.freq != ICAL_WEEKLY_RECURRENCE)
        return {a,
                QStringLiteral("it repeats %1 (%2), which no alarm does").arg(frequencyName(rule.freq), ruleText),
                {},
                {}};
    if (rule.interval > 1)
        return {
            a,
            QStringLiteral("it repeats only every %1 %2 (%3), an alarm every one")
                .arg(rule.interval)
                .arg(rule.freq == ICAL_DAILY_RECURRENCE ? QStringLiteral("days") : QStringLiteral("weeks"), ruleText),
            {},
            {}};
    if (rule.count != 0 || !icaltime_is_null_time(rule.until))
        return {a, QStringLiteral("its repeats end (%1), an alarm's never do").arg(ruleText), {}, {}};
    for (const short *part : {rule.by_second, rule.by_minute, rule.by_hour, rule.by_month_day, rule.by_year_day,
                              rule.by_week_no, rule.by_month, rule.by_set_pos}) {
        if (!isEmpty(part))
            return {a, QStringLiteral("its rule %1 picks days or times no alarm can").arg(ruleText), {}, {}};
    }

    // Days of the rule, Monday = 0.
    QList<int> days;
    for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0)
            return {a, QStringLiteral("its rule %1 picks days of the month").arg(ruleText), {}, {}};
        const int sundayFirst = icalrecurrencetype_day_day_of_week(rule.by_day[i]); // 1 = Sunday
        const int day = (sundayFirst + 5) % 7;
        if (!days.contains(day))
            days.append(day);
    }
    std::sort(days.begin(), days.end());

    if (rule.freq == ICAL_DAILY_RECURRENCE) {
        if (!days.isEmpty())
            return {a, QStringLiteral("its rule %1 picks days no alarm kind repeats on").arg(ruleText), {}, {}};
        a.AlarmType = AlarmRecord::Daily;
    } else if (days.isEmpty() || days.size() == 1) {
        a.AlarmType = AlarmRecord::Weekly;
        a.WeekDay = static_cast<quint8>(days.isEmpty() ? startDate.dayOfWeek() - 1 : days.first());
    } else if (days == QList<int>{0, 1, 2, 3, 4}) {
        a.AlarmType = AlarmRecord::EveryWeekday;
    } else {
        return {a, QStringLiteral("its rule %1 picks days no alarm kind repeats on").arg(ruleText), {}, {}};
    }
    if (a.AlarmType != AlarmRecord::Daily && dayShift != 0)
        return {a,
                QStringLiteral("its reminder or time zone moves it to another day, which would change its days"),
                {},
                {}};

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

// The IANA name of the zone a time is on, "UTC" for UTC; empty for a
// floating time, or a zone Qt does not know by that name.
QString zoneNameOf(const icaltimetype &t)
{
    if (icaltime_is_utc(t))
        return QStringLiteral("UTC");
    if (!t.zone)
        return {};
    const char *tzid = icaltimezone_get_tzid(const_cast<icaltimezone *>(t.zone));
    const char *location = icaltimezone_get_location(const_cast<icaltimezone *>(t.zone));
    for (const char *candidate : {tzid, location}) {
        QString name = QString::fromUtf8(candidate ? candidate : "");
        // libical's own zones carry a prefix before the IANA name.
        for (const QLatin1String prefix : {QLatin1String("/freeassociation.sourceforge.net/Tzfile/"),
                                           QLatin1String("/freeassociation.sourceforge.net/")}) {
            if (name.startsWith(prefix)) {
                name = name.mid(prefix.size());
                break;
            }
        }
        if (!name.isEmpty() && QTimeZone::isTimeZoneIdAvailable(name.toUtf8()))
            return name;
    }
    return {};
}

// A time of the event as a reading of the rule's clock: the zone's own where
// Qt knows it, else the local one.
QDateTime ruleWall(icaltimetype t, const icaltimezone *zone, bool local)
{
    if (local)
        return toLocalWall(t);
    if (t.zone && zone && t.zone != zone)
        t = icaltime_convert_to_zone(t, const_cast<icaltimezone *>(zone));
    else if (icaltime_is_utc(t) && zone)
        t = icaltime_convert_to_zone(t, const_cast<icaltimezone *>(zone));
    return asWall(t);
}

// An event the kinds cannot say, kept as a rule: any RRULE libical expands,
// its EXDATEs, RDATEs and the occurrences moved or cancelled by the events
// of the same UID with a RECURRENCE-ID, on the clock of its zone, ringing at
// its reminder.
Mapping mapRule(icalcomponent *event, const QList<icalcomponent *> &overrides, const QDate &today)
{
    Mapping m = mapEvent(event, today, true);
    if (!m.skip.isEmpty())
        return m;
    AlarmRule &rule = m.rule;
    const icaltimetype start = icalcomponent_get_dtstart(event);
    const qint64 offset = reminderOffset(event, start);
    rule.zone = zoneNameOf(start);
    // A zone Qt does not know by its name: the local clock, which a warning says.
    const bool local = rule.zone.isEmpty();
    if (local && start.zone)
        m.warning = QStringLiteral("its time zone is not known by an IANA name: the alarm keeps the local time of its "
                                   "first day");
    const icaltimezone *zone = icaltime_is_utc(start) ? icaltimezone_get_utc_timezone() : start.zone;
    rule.start = ruleWall(start, zone, local).addSecs(offset);
    if (icalproperty *ruleProperty = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY)) {
        rule.recur = QString::fromUtf8(icalproperty_get_value_as_string(ruleProperty));
        if (const QString refusal = Recurrence::Instance().Refusal(rule.recur); !refusal.isEmpty())
            return {m.alarm,
                    QStringLiteral("its rule %1 cannot be an alarm's: %2").arg(shown(rule.recur), refusal),
                    {},
                    {}};
    }
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
        icaltimetype when = icalproperty_get_exdate(p);
        if (when.is_date) { // a whole day left out: the occurrence of that day
            when.is_date = 0;
            when.hour = start.hour;
            when.minute = start.minute;
            when.zone = start.zone;
        }
        rule.skipped.append(ruleWall(when, zone, local).addSecs(offset));
    }
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
        icaltimetype when = icalproperty_get_rdate(p).time;
        if (icaltime_is_null_time(when))
            continue;
        if (when.is_date) {
            when.is_date = 0;
            when.hour = start.hour;
            when.minute = start.minute;
            when.zone = start.zone;
        }
        rule.added.append(ruleWall(when, zone, local).addSecs(offset));
    }
    for (icalcomponent *o : overrides) {
        const QDateTime original = ruleWall(icalcomponent_get_recurrenceid(o), zone, local).addSecs(offset);
        if (icalcomponent_get_status(o) == ICAL_STATUS_CANCELLED) {
            rule.skipped.append(original);
            continue;
        }
        const icaltimetype moved = icalcomponent_get_dtstart(o);
        if (icaltime_is_null_time(moved) || moved.is_date) {
            rule.skipped.append(original); // an occurrence made all-day has no time to ring at
            continue;
        }
        const bool ownReminder = icalcomponent_get_first_component(o, ICAL_VALARM_COMPONENT) != nullptr;
        rule.moved.append(
            {original, ruleWall(moved, zone, local).addSecs(ownReminder ? reminderOffset(o, moved) : offset)});
    }
    AlarmRecord kind = m.alarm;
    if ((rule.recur.isEmpty() && rule.zone.isEmpty() && rule.skipped.isEmpty() && rule.added.isEmpty() &&
         rule.moved.isEmpty()) ||
        rule.ToKind(&kind))
        rule = {}; // what the kinds say: the caller's own mapping holds it
    else
        rule.StandIn(&m.alarm, TimingModule::CurrentMinute());
    return m;
}

QString describe(icalcomponent *event)
{
    const char *summary = icalcomponent_get_summary(event);
    QString text = QStringLiteral("\"%1\"").arg(shown(QString::fromUtf8(summary ? summary : "")));
    if (icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY) && unsafeZone(event).isEmpty()) {
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (!icaltime_is_null_time(start))
            text += QStringLiteral(" (%1)").arg(QString::fromUtf8(icaltime_as_ical_string(start)));
    }
    return text;
}

} // namespace

Import Read(const QByteArray &data, const QList<AlarmRecord> &existing, const QDate &today,
            const QList<AlarmRule> &existingRules)
{
    Import result;
    const Scan scan = Scanner(data).run();
    if (!scan.refusal.isEmpty()) {
        result.error = scan.refusal;
        return result;
    }
    const Component root = parse(data, scan);
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
    for (const Scan::Skipped &s : scan.skipped)
        result.skipped.append(QStringLiteral("skipped %1: %2").arg(s.what, s.why));
    QSet<QString> known;
    for (qsizetype i = 0; i < existing.size(); ++i)
        known.insert(Key(existing.at(i), existingRules.value(i)));
    for (icalcomponent *calendar : calendars) {
        // The occurrences a calendar moved or cancelled are events of their
        // own, of the series' UID with a RECURRENCE-ID: they belong to it.
        QHash<QString, QList<icalcomponent *>> overrides;
        QSet<QString> series;
        for (icalcomponent *event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
             event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            const QString uid = QString::fromUtf8(icalcomponent_get_uid(event) ? icalcomponent_get_uid(event) : "");
            if (uid.isEmpty())
                continue;
            if (icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY))
                overrides[uid].append(event);
            else
                series.insert(uid);
        }
        for (icalcomponent *event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
             event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
            const QString uid = QString::fromUtf8(icalcomponent_get_uid(event) ? icalcomponent_get_uid(event) : "");
            const bool isOverride = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr;
            if (isOverride && series.contains(uid))
                continue; // taken with its series
            Mapping m = mapEvent(event, today);
            const QList<icalcomponent *> changed = isOverride ? QList<icalcomponent *>() : overrides.value(uid);
            // What the kinds cannot say, or say only with a warning, a rule holds; so does a repeating event
            // on another zone's clock, whose clock changes a comparison of two days can miss.
            // (Its start is read only once mapEvent found its zone safe to look up.)
            const auto onAnotherClock = [&] {
                const icaltimetype start = icalcomponent_get_dtstart(event);
                return (start.zone || icaltime_is_utc(start)) &&
                       zoneNameOf(start) != QString::fromUtf8(QTimeZone::systemTimeZoneId());
            };
            const bool zoned =
                m.skip.isEmpty() && icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) && onAnotherClock();
            if (!m.skip.isEmpty() || !m.warning.isEmpty() || !changed.isEmpty() || zoned) {
                const Mapping r = mapRule(event, changed, today);
                if (r.skip.isEmpty() && !r.rule.IsEmpty())
                    m = r;
            }
            if (!m.skip.isEmpty()) {
                result.skipped.append(QStringLiteral("skipped %1: %2").arg(describe(event), m.skip));
                continue;
            }
            const QString key = Key(m.alarm, m.rule);
            if (known.contains(key)) {
                result.skipped.append(
                    QStringLiteral("skipped %1: the same alarm is already there").arg(describe(event)));
                continue;
            }
            if (!m.warning.isEmpty())
                result.warnings.append(QStringLiteral("%1: %2").arg(describe(event), m.warning));
            known.insert(key);
            result.alarms.append(m.alarm);
            result.rules.append(m.rule);
            result.described.append(describe(event));
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

// A resource read only when nothing of it is past a limit: one left-out part
// could be a changed occurrence that keeps it from being one alarm.
Component parseWhole(const QByteArray &data, Scan *scan)
{
    *scan = Scanner(data).run();
    return scan->clean() ? parse(data, *scan) : Component();
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
    Scan scan;
    const Component root = parseWhole(resource, &scan);
    if (!scan.clean()) {
        result.skip = scan.problem();
        if (!scan.skipped.isEmpty()) {
            result.skip = scan.skipped.first().why;
            result.uid = scan.skipped.first().uid;
            result.ours = scan.skipped.first().ours;
        }
        return result;
    }
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
    Scan scan;
    const Component root = parseWhole(resource, &scan);
    icalcomponent *event = singleEvent(root);
    const QDate day = firstDay(alarm);
    if (!event || !day.isValid() || !unsafeZone(event).isEmpty())
        return {};
    // The alarm rings at the start moved by the event's reminder, so the
    // start is the alarm's time moved back by it; the end keeps its distance.
    icaltimetype oldStart = icalcomponent_get_dtstart(event);
    const bool hadStart = !icaltime_is_null_time(oldStart) && icaltime_is_valid_time(oldStart) && !oldStart.is_date;
    // An event of ours carries a reminder only while its alarm is enabled, so
    // that other calendar programs stop reminding of a disabled one too; then
    // it starts when the alarm rings.
    const bool ours = hasFlag(event, OwnerProperty);
    const bool quiet = ours && alarm.Disabled != 0;
    const qint64 offset = hadStart && !quiet ? reminderOffset(event, oldStart) : 0;
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
    if (ours) {
        QList<icalcomponent *> reminders;
        for (icalcomponent *r = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT); r;
             r = icalcomponent_get_next_component(event, ICAL_VALARM_COMPONENT))
            reminders.append(r);
        const QByteArray name = utf8(alarm.TrimmedName());
        for (icalcomponent *r : std::as_const(reminders)) {
            if (quiet) {
                icalcomponent_remove_component(event, r);
                icalcomponent_free(r);
            } else if (icalproperty *text = icalcomponent_get_first_property(r, ICAL_DESCRIPTION_PROPERTY)) {
                icalproperty_set_description(text, name.constData()); // it shows the alarm's name as it is now
            }
        }
        if (!quiet && reminders.isEmpty())
            addReminder(event, name);
    }
    removeAll(event, ICAL_DTSTAMP_PROPERTY);
    icalcomponent_add_property(event, icalproperty_new_dtstamp(utcStamp()));
    if (icalproperty *sequence = icalcomponent_get_first_property(event, ICAL_SEQUENCE_PROPERTY))
        icalproperty_set_sequence(sequence, icalproperty_get_sequence(sequence) + 1);
    return text(root.get());
}

} // namespace ICalendar
