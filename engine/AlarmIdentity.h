#pragma once

#include <QString>

#include <limits>

// Each alarm's per-user identity. The records of the table have none of their
// own and removing one renumbers the rest, so the identities are kept beside
// the table, one per record in table order, in a small file of their own;
// only the one path that removes a record (AlarmEditing::RemoveAlarm)
// renumbers them. What belongs to an alarm rather than to its place (a
// pending snooze) holds its identity.
namespace AlarmIdentity {

void SetFile(const QString &path);

// After the table was loaded: one identity per record, the stored ones kept in
// order, new ones for records beyond them (a table grown elsewhere), surplus
// ones dropped.
void Reconcile();

// The identity of record index (1 = the first alarm), empty for none.
QString Of(int index);
// The record with that identity, or -1.
int IndexOf(const QString &id);

// Records were appended to the table; record index was removed.
void Appended(int count = 1);
void Removed(int index);

// The minute record index was last changed while no clock ran, kept with its
// identity: the next start does not report it missed for that minute or any
// before it. Never when none is known.
constexpr qint32 Never = std::numeric_limits<qint32>::min();
void SetChanged(int first, int last, qint32 minute);
inline void SetChanged(int index, qint32 minute)
{
    SetChanged(index, index, minute);
}
qint32 ChangedAt(int index);

} // namespace AlarmIdentity
