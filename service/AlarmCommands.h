#pragma once

#include "interchange/ICalendar.h"
#include "sync/Synchronizer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The alarm table changed from outside the windows: the command line, the
// local socket a command reaches a running clock by, and D-Bus all end up in
// Execute, the one code path through which they change the table.
//
// A command is a list of words:
//   list
//   add NAME KIND HH:MM DAY enabled|disabled   (KIND once|daily|weekly|weekdays;
//                                               DAY YYYY-MM-DD, a weekday or -)
//   remove N | enable N | disable N
//   export | import-alarms (the alarms a file mapped onto, EncodeImport()'d, as input)
//   snooze-all MINUTES | dismiss-all             (a running clock only)
//   (sync-now goes to the running clock's sync schedule, or a sync of its own)
namespace AlarmCommands {

struct Reply
{
    int status = 0;       // 0 done, 1 failed, 2 a usage error
    QByteArray out;       // standard output
    QByteArray err;       // standard error
    bool changed = false; // the table was saved changed
};

// Runs a command on the loaded table (Alarms). A change is saved at once;
// when the save fails, the table is as before and the status is 1.
Reply Execute(const QStringList &words, const QByteArray &input = {});

// How a running clock acts on notifications; empty where none runs.
struct NotificationActions
{
    int (*snoozeAll)(int minutes) = nullptr; // returns how many were snoozed
    int (*dismissAll)() = nullptr;
};
void SetNotificationActions(const NotificationActions &actions);

// The words as sent over the local socket, and back.
QByteArray EncodeRequest(const QStringList &words, const QByteArray &input);
bool DecodeRequest(const QByteArray &line, QStringList *words, QByteArray *input);
QByteArray EncodeReply(const Reply &reply);
bool DecodeReply(const QByteArray &line, Reply *reply);

// What an import read, mapped in the command's own process, as the running
// clock (or the command itself) is given it.
QByteArray EncodeImport(const ICalendar::Import &read);
bool DecodeImport(const QByteArray &data, ICalendar::Import *read);

// The command's reply for a sync report.
Reply SyncReply(const Synchronizer::Report &report);

// A number written with digits alone (no blank, sign or base); -1 otherwise.
int ParseNumber(const QString &text);
// An alarm volume as given to --alarm-volume: 1-100, 0 for "0" or "off";
// -1 for anything else.
int ParseAlarmVolume(const QString &text);

// Monday = 0 from an English day name (any case, three letters are enough)
// or a number Monday = 1 ... Sunday = 7; -1 when neither.
int ParseWeekDay(const QString &text);

} // namespace AlarmCommands
