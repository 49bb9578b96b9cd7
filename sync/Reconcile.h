#pragma once

#include "engine/AlarmRecord.h"
#include "interchange/ICalendar.h"
#include "sync/SyncState.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// What one sync does, decided from what both sides hold and nothing else:
// the alarm table with each record's identity, what the last sync left, and
// what the server listed as removed and sent as changed. Nothing here reads
// or writes anything; the synchronizer carries the plan out.
//
// The rules: an alarm changed on one side takes that side's version; changed
// on both, the server's wins and the local one is kept as a disabled copy
// that goes up as an event of its own. Removed on one side and changed on the
// other, the change wins. Another program's event is never changed or
// removed on the server: the alarm changed or removed here stays as it is
// here. An event that maps onto no alarm is followed but never taken, and an
// alarm whose event stops mapping stays here as it is.
namespace Reconcile {

// One event that came down, already read as an alarm.
struct Download
{
    QString href;
    QByteArray etag;
    ICalendar::Event event;
};

// A record appended to the table.
struct Added
{
    AlarmRecord alarm;     // Index 0: its place is the table's
    int entry = -1;        // the entry that takes its identity once it is in the table; -1 for none
    bool conflict = false; // the local version of an alarm changed on both sides, kept disabled
};

// An alarm that goes up: as a new event, or as the change of its event.
struct Upload
{
    bool change = false;
    QString id;     // the alarm's identity; empty for an added record's
    int added = -1; // a new event for Plan::added[added], whose identity comes with its place
    int entry = -1; // a change: the entry of its event
};

struct Plan
{
    // What comes down, in one save: records replaced in place (by index in
    // the table given), then new records at its end, in this order.
    QMap<int, AlarmRecord> replaced;
    QList<Added> added;
    // Then the records removed on the server (indexes in the table given);
    // once that is saved, their entries (removedEntries) are unlinked.
    QList<int> removed;
    QList<int> removedEntries;
    // The sync state's entries once what came down is in the table (those
    // of the removed records still linked), the same indexes as before and
    // new ones after them; then, once the uploads are planned, these entries
    // of alarms changed or removed here whose events stay as they are.
    QList<SyncState::Entry> entries;
    QMap<int, SyncState::Entry> settled;
    // What goes up, in this order, then the events deleted there (by entry).
    QList<Upload> uploads;
    QList<int> deletions;

    // The report: what came down and the conflicts; the removals, said only
    // once they are saved; what stays here unsent; the events left out.
    QStringList changes;
    QStringList removedLines;
    QStringList keptLines;
    QStringList skipped;
    struct Counts
    {
        int added = 0;
        int changed = 0;
        int removed = 0;
    } counts; // from the server
    int conflicts = 0;
};

// ids[i] is the identity of alarms[i] (record 0 has none); state is what the
// last sync left.
Plan Decide(const QList<AlarmRecord> &alarms, const QStringList &ids, const SyncState::State &state,
            const QStringList &removedHrefs, const QList<Download> &downloads);

} // namespace Reconcile
