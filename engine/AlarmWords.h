#pragma once

#include "engine/AlarmRecord.h"
#include "engine/AlarmRule.h"

#include <QDate>
#include <QMap>
#include <QString>

// The words and figures an alarm is told in, wherever it is shown, listed,
// exported or synced, so that they never drift apart: its kinds, the days of
// the week, the dates it may be set on, its time and its one-line description.
namespace AlarmWords {

// The dates an alarm may be set on (the editor's calendar, --add --on).
inline const QDate FirstDate{2000, 1, 1};
inline const QDate LastDate{2050, 12, 31};

// 7 -> "07".
QString TwoDigits(int value);
// "07:05".
QString Time(int hour, int minute);

// once, daily, weekly, weekdays ("unknown" for a damaged type), and back: the
// type a name gives, -1 for none.
QString KindName(int alarmType);
int KindOf(const QString &name);

// Monday = 0 ... Sunday = 6, in English; empty for anything else.
QString WeekDayName(int weekDay);
// "Mon" ... "Sun" for a day of the week as QDate counts them (Monday = 1).
QString ShortDayName(int dayOfWeek);

// What --list shows as an alarm's day: YYYY-MM-DD for a one-off alarm, the
// weekday's name for a weekly one (- when damaged), - for the others.
QString DayText(const AlarmRecord &alarm);

// "Gym" (weekly 18:05 Tuesday), "Pills" (daily 08:00, disabled).
QString Describe(const AlarmRecord &alarm);

// A rule in words, after its time: "Mon, Wed, Fri", "every 2 weeks on
// Thursday", "monthly on the first Monday", "daily, skips 24 December".
QString RuleText(const AlarmRule &rule);
// "New York" for America/New_York; empty for the local time.
QString ZoneCity(const QString &zone);
// A rule's time of day as its own clock shows it: "09:00", "09:00 New York time".
QString RuleTime(const AlarmRule &rule);

// RFC 5545's name of a day of the week, Monday = 0 ("MO" ... "SU"), and back
// (-1 for none).
QString DayCode(int weekDay);
int DayOfCode(const QString &code);
// The parts of RECUR text ("FREQ" -> "WEEKLY", ...), keys and values in capitals.
QMap<QString, QString> RuleParts(const QString &recur);

// The kind whose record says exactly what a rule of RECUR text at a time of
// the local clock says, or -1: a rule that needs no rule of its own is stored
// as that kind. Weekly gives its day (Monday = 0) too.
int KindOfRule(const QString &recur, int *weekDay = nullptr);

} // namespace AlarmWords
