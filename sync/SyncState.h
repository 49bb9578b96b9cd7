#pragma once

#include "engine/AlarmRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What the last sync left: for each alarm in step with an event on the
// server, its per-user identity, the event's place (href), UID and ETag, and
// a fingerprint of the alarm as it was then (so a local change shows); the
// collection's sync token. Kept in a small file of its own beside the alarm
// table, replaced atomically.
namespace SyncState {

enum class Kind {
    Own,     // an event Tockwise made: changed and removed on the server with the alarm
    Foreign, // another program's event: followed, never changed on the server
    Kept,    // another program's event whose alarm the user changed or removed here: both left alone
    Ignored, // an event that maps onto no alarm
    Local,   // an alarm that stays on this computer (its event went while it was kept)
};

struct Entry
{
    Kind kind = Kind::Own;
    QString id; // the alarm's identity; empty for none
    QString href;
    QByteArray etag;
    QString uid;
    QByteArray synced; // Fingerprint of the alarm at the last sync
};

struct State
{
    QString collection; // the URL the entries belong to
    QByteArray token;   // the collection's sync token, empty for none
    QList<Entry> entries;
};

// A missing file is an empty state. False, with the reason, when the file
// cannot be read (then nothing may be synced: it would duplicate).
bool Read(const QString &path, State *state, QString *error);
bool Write(const QString &path, const State &state, QString *error);

// Equal for two alarms that ring alike, enabled or disabled alike.
QByteArray Fingerprint(const AlarmRecord &alarm);

} // namespace SyncState
