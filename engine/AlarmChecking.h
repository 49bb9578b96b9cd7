#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "engine/AlarmRecord.h"

class AlarmWindows;

// Minute-by-minute checking of the alarm table and the list of missed alarms.
namespace AlarmChecking {

// How far back the start-up catch-up looks: seven days.
constexpr qint32 CatchUpLimit = 7 * 1440;

// A clock set back by up to this many minutes is the hour that repeats when
// daylight saving time ends: those minutes are not checked a second time. A
// larger step back is a corrected clock or a new time zone; checking then goes
// on from the present minute, that minute included, so no alarm stays silent.
constexpr qint32 SetBackTolerance = 60;

// A gap longer than this at run time (days asleep, a clock corrected by
// years) is reported like time the program was closed: as missed lines,
// instead of a long run of late notifications.
constexpr qint32 LiveGapLimit = 1440;

// The last minute whose alarms have been examined. Only ever moves forward.
extern qint32 LastCheck;

// Missed lines, kept until the user deletes them or clears the list. Element 0
// is always empty; an empty line is a deleted one. Every change is written to
// the missed file at once, deleted lines left out.
extern QStringList MissedAlarms;

void SetWindows(AlarmWindows *windows);
AlarmWindows *Windows();
// Empties the list in memory only.
void ResetMissedAlarms();

// The file that keeps the missed lines between runs, a small one of their own
// in the per-user data folder. Without one (tests) the list lives in memory.
void SetMissedFile(const QString &path);
// Replaces the list with the lines kept in the missed file, in their order.
void LoadMissedAlarms();
// Rewrites the missed file from the list, atomically. A file that exists but
// could not be read at load is left alone rather than replaced by less.
bool SaveMissedAlarms(QString *error = nullptr);
// "Delete" and "Clear All" of the missed panel: the list and the file.
void DeleteMissedAlarm(qint32 index);
void ClearMissedAlarms();
bool HasMissedAlarms();

// "hh:mm,  d mmmm" with the month name of the user's locale.
QString FormatAlarmTime(const QDateTime &when);

// MissedMinute 0 rings every due alarm now; any other value records it as
// missed at that minute.
void CheckAlarms(qint32 CheckMinute, qint32 MissedMinute);
void FireAlarm(int i, qint32 MissedMinute);
void AddMissedAlarm(const QString &text, const QDateTime &when);

// At start-up: examine, as missed, every minute after LastCheck up to and
// including the current one, at most CatchUpLimit minutes back; snoozes that
// ended while the program was closed are missed lines of their minute. The
// panel is brought up when the list then holds any line, kept or new.
void StartupCatchUp();

// The first minute after `after` in which an enabled alarm of the table falls
// due, or -1 when none ever will (however far ahead the one that does). When
// several fall due then, *which is the first of them in the table.
qint32 NextDueMinute(qint32 after, int *which = nullptr);

// What rings next after the present minute: an alarm of the table or a
// pending snooze, whichever comes first.
struct Coming
{
    QString name;   // empty: nothing
    QDateTime when; // local time; the start of the alarm's minute, a snooze's end
    bool snoozed = false;
};
Coming NextRing();

// Shown where a one-off alarm is set for a moment already gone, and printed
// by the command that adds one.
inline const QString PassedText = QStringLiteral("This moment has passed: the alarm will not ring.");
// Whether the alarm is a one-off one whose minute has begun by `now` (the
// check of that minute is over, or about to be: it will not ring).
bool HasPassed(const AlarmRecord &alarm, const QDateTime &now);
// The moment the computer must be awake for the next alarm or pending snooze:
// the start of that minute on the wall clock (for a minute the wall clock
// skips, the moment it jumps past it), UTC; invalid when nothing is due.
QDateTime NextWakeMoment();

// Snoozes that have ended ring as a live alarm does, with the minute they
// ended as their due minute. Returns whether any rang.
bool RingDueSnoozes();

// On each tick: when the clock has passed LastCheck, examine the next minute
// live (after a gap over LiveGapLimit the minutes before the present one are
// caught up as missed, and the present one is examined live). Returns whether
// a minute was examined.
bool LiveCheck();
// The same with the current minute already read by the caller.
bool LiveCheck(qint32 currentMinute);

} // namespace AlarmChecking
