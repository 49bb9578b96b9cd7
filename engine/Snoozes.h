#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Rung alarms put off for a while. A snooze belongs to the ringing, not to the
// record: it keeps the name it rang with and the alarm's identity (so that
// removing the alarm cancels it), and lasts that many real minutes: while the
// program runs they are counted on a clock no clock set or time zone moves;
// on disk (a small file of its own, replaced atomically) the end is kept as an
// absolute time, so a restart, a logout or a crash keeps it. Never written to
// the alarm table.
namespace Snoozes {

struct Snooze
{
    QString alarmId;
    QString name;
    QDateTime end; // UTC
};

void SetFile(const QString &path);
// Replaces the pending snoozes with those on disk.
void Load();

// Puts off the alarm for that many minutes from now.
void Add(const QString &alarmId, const QString &name, int minutes);
// Takes out and returns the snoozes that have ended, in the order they end.
QList<Snooze> TakeDue();
// Cancels the alarm's pending snoozes (it was removed).
void CancelFor(const QString &alarmId);

const QList<Snooze> &Pending();
// The end of the alarm's first pending snooze, invalid when it has none.
QDateTime EndFor(const QString &alarmId);
// Called after a snooze was added, ended, cancelled or loaded, for what shows
// them; an empty function removes it.
void SetChangedHook(std::function<void()> hook);
// Counts every change of the pending snoozes: what depends on them can tell
// whether to look again.
quint64 Changes();
// Milliseconds until the next snooze ends (0 when one is due), -1 for none.
qint64 MsecsToNext();
// Writes the pending snoozes with their ends as of now (after the clock was
// set, or on the way out).
void Save();

} // namespace Snoozes
