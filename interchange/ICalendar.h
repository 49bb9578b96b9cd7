#pragma once

#include "engine/AlarmRecord.h"

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
// (one is made up where none is given).
QByteArray Export(const QList<AlarmRecord> &alarms, const QStringList &uids = {});

struct Import
{
    // False when the data is no iCalendar at all: nothing may be added.
    bool ok = false;
    QString error;
    // The new alarms (Index 0), in the order of the file.
    QList<AlarmRecord> alarms;
    // One line per event left out, saying what and why.
    QStringList skipped;
    // Events taken, with something the user should know (a time zone whose
    // daylight saving time moves the alarm against the calendar).
    QStringList warnings;
};

// Every event of data that maps exactly onto an alarm; those equal to an
// alarm of existing (or to one earlier in the file) are skipped.
// today fills the unused date fields of repeating alarms, as the editor does.
Import Read(const QByteArray &data, const QList<AlarmRecord> &existing, const QDate &today);

// Equal for two alarms that ring alike: the same name, kind, time and day.
QString Key(const AlarmRecord &alarm);

// The English name of a day, Monday = 0.
QString WeekDayName(int weekDay);

// The custom property a disabled alarm carries.
inline constexpr char DisabledProperty[] = "X-TOCKWISE-DISABLED";

} // namespace ICalendar
