#pragma once

#include "engine/AlarmRecord.h"
#include "engine/AlarmRule.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// The alarm table as iCalendar (RFC 5545) and back. Each alarm is a VEVENT
// with a floating start on the first day from 1 January 2000 that its rule
// matches, so the same table always gives the same events and the alarm keeps
// following the wall clock across daylight saving time.
namespace ICalendar {

// A VCALENDAR with one VEVENT per alarm; uids[i] is the UID of alarms[i]
// (one is made up where none is given). An alarm with a rule (rules[i]) goes
// out as its series (RRULE, EXDATE, RDATE, on its zone's clock with the
// zone's VTIMEZONE) and one event of its UID for each occurrence it moved.
QByteArray Export(const QList<AlarmRecord> &alarms, const QStringList &uids = {}, const QList<AlarmRule> &rules = {});

struct Import
{
    // False when the data is no iCalendar at all, or is refused whole (larger
    // than InputLimits allow): nothing may be added.
    bool ok = false;
    QString error;
    // The new alarms (Index 0), in the order of the file.
    QList<AlarmRecord> alarms;
    // Their rules, where the kinds cannot say when they ring (an empty rule
    // where they can): any rule, skipped, added and moved dates, another zone.
    QList<AlarmRule> rules;
    // What each of alarms was in the file (its summary and start), for the
    // lines of those a caller leaves out itself.
    QStringList described;
    // One line per event left out, saying what and why.
    QStringList skipped;
    // Events taken, with something the user should know (a time zone whose
    // daylight saving time moves the alarm against the calendar).
    QStringList warnings;
};

// Every event of data that maps exactly onto an alarm; those equal to an
// alarm of existing (or to one earlier in the file) are skipped.
// today fills the unused date fields of repeating alarms, as the editor does.
// Data past InputLimits::FileBytes, a time zone block past ZoneEntries or a
// content line of the calendar itself past LineBytes is refused whole; an
// event holding such a line is skipped. Safe to call on any thread.
// existingRules[i] is the rule of existing[i], where it has one.
Import Read(const QByteArray &data, const QList<AlarmRecord> &existing, const QDate &today,
            const QList<AlarmRule> &existingRules = {});

// Equal for two alarms that ring alike: the same name, kind, time and day
// (or rule).
QString Key(const AlarmRecord &alarm);
QString Key(const AlarmRecord &alarm, const AlarmRule &rule);

// The custom property a disabled alarm carries.
inline constexpr char DisabledProperty[] = "X-TOCKWISE-DISABLED";
// The custom property of an event Tockwise itself put on a calendar server:
// any copy of Tockwise may change or remove it there; an event without it
// belongs to another program and is never changed there.
inline constexpr char OwnerProperty[] = "X-TOCKWISE-ALARM";

// One event as a calendar server stores it (a calendar object resource).
struct Event
{
    bool maps = false; // its timing maps onto an alarm
    AlarmRecord alarm; // the alarm it maps onto (Index 0)
    QString uid;       // its UID, empty when it has none
    bool ours = false; // it carries OwnerProperty
    QString skip;      // why it does not map
};
// The resource maps on no account when it holds anything Read would leave
// out or refuse; skip says why.
Event ReadEvent(const QByteArray &resource, const QDate &today);

// A new resource for alarm with this UID, carrying OwnerProperty; empty for
// a damaged record that has no day to start on.
QByteArray NewEvent(const AlarmRecord &alarm, const QString &uid);

// The resource with only what the alarm holds changed (its name, start,
// rule and the disabled flag) and every other property kept; its end moves
// with its start. Empty when the resource holds no single event, or holds
// anything ReadEvent would not map for its size or its time zones.
QByteArray UpdateEvent(const QByteArray &resource, const AlarmRecord &alarm);

} // namespace ICalendar
