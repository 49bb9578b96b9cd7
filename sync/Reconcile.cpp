#include "sync/Reconcile.h"

#include "engine/AlarmWords.h"

#include <QHash>
#include <QMultiHash>
#include <QSet>

#include <utility>

using SyncState::Entry;
using SyncState::Fingerprint;
using SyncState::Kind;

namespace Reconcile {

namespace {

// The local copy of an alarm changed on both sides: disabled, its name
// marked, cut where the mark would not fit.
AlarmRecord conflictCopy(const AlarmRecord &local)
{
    static const QString mark = QStringLiteral(" (conflict)");
    AlarmRecord copy = local;
    copy.Name = AlarmRecord::FixedName(local.TrimmedName().left(AlarmRecord::NameLength - mark.size()) + mark);
    copy.Disabled = -1;
    return copy;
}

void kill(Entry &e)
{
    e.id.clear();
    e.href.clear();
}

QString skippedEvent(const QString &href, const QString &why)
{
    return QStringLiteral("skipped the event %1: %2")
        .arg(href, why.isEmpty() ? QStringLiteral("it maps onto no alarm") : why);
}

// One decision under way. The lookups by href and by identity are made once
// and only added to: an entry found is checked against what it holds now,
// as its href or identity may have been cleared since.
class Decision
{
public:
    Decision(const QList<AlarmRecord> &alarms, const QStringList &ids, const SyncState::State &state)
        : m_alarms(alarms)
        , m_ids(ids)
        , m_entries(m_plan.entries)
    {
        m_entries = state.entries;
        for (int i = 0; i < m_entries.size(); ++i) {
            const Entry &e = m_entries.at(i);
            if (!e.href.isEmpty())
                m_byHref.insert(e.href, i);
            if (!e.id.isEmpty())
                m_byId.insert(e.id, i);
        }
        // The first record that holds an identity is the one it names.
        for (int i = int(m_alarms.size()) - 1; i >= 1; --i) {
            if (!idOf(i).isEmpty())
                m_indexOfId.insert(idOf(i), i);
        }
    }

    void downloads(const QList<Download> &resources);
    void removals(const QStringList &removedHrefs);
    void uploads();

    Plan take() { return std::move(m_plan); }

private:
    QString idOf(int index) const { return m_ids.value(index); }
    int indexOf(const QString &id) const { return id.isEmpty() ? -1 : m_indexOfId.value(id, -1); }
    int entryOfHref(const QString &href) const
    {
        const int e = m_byHref.value(href, -1);
        return e >= 0 && m_entries.at(e).href == href ? e : -1;
    }
    int entryOfId(const QString &id) const
    {
        const int e = m_byId.value(id, -1);
        return e >= 0 && m_entries.at(e).id == id ? e : -1;
    }
    int newEntry(const Entry &e)
    {
        m_entries.append(e);
        return int(m_entries.size()) - 1;
    }
    void add(const AlarmRecord &alarm, int entry, bool conflict = false)
    {
        m_plan.added.append(Added{alarm, entry, conflict});
    }

    const QList<AlarmRecord> &m_alarms;
    const QStringList &m_ids;
    Plan m_plan;
    QList<Entry> &m_entries;
    QHash<QString, int> m_byHref;
    QHash<QString, int> m_byId;
    QHash<QString, int> m_indexOfId;
};

void Decision::downloads(const QList<Download> &resources)
{
    QStringList &lines = m_plan.changes;
    // Alarms in step with no event yet, by what they are: a table that
    // already holds an event's alarm (the same table on two computers) is
    // linked to it rather than given a second one.
    QMultiHash<QByteArray, int> unlinked;
    for (int i = 1; i < m_alarms.size(); ++i) {
        if (entryOfId(idOf(i)) < 0)
            unlinked.insert(Fingerprint(m_alarms.at(i)), i);
    }

    for (const Download &r : resources) {
        const ICalendar::Event &ev = r.event;
        int e = entryOfHref(r.href);
        if (e >= 0 && m_entries.at(e).kind == Kind::Ignored && ev.maps) {
            kill(m_entries[e]);
            e = -1;
        }
        if (e < 0) {
            Entry entry;
            entry.href = r.href;
            entry.etag = r.etag;
            entry.uid = ev.uid;
            if (!ev.maps) {
                entry.kind = Kind::Ignored;
                m_byHref.insert(r.href, newEntry(entry));
                m_plan.skipped.append(skippedEvent(r.href, ev.skip));
                continue;
            }
            entry.kind = ev.ours ? Kind::Own : Kind::Foreign;
            entry.synced = Fingerprint(ev.alarm);
            // Our own upload whose sync was cut off before it was noted: its
            // UID is the alarm's identity.
            int index = ev.ours ? indexOf(ev.uid) : -1;
            if (index > 0 && entryOfId(ev.uid) >= 0)
                index = -1;
            if (index > 0) {
                unlinked.remove(Fingerprint(m_alarms.at(index)), index);
            } else {
                index = unlinked.value(entry.synced, -1);
                if (index > 0)
                    unlinked.remove(entry.synced, index);
            }
            if (index > 0) {
                entry.id = idOf(index);
                const int at = newEntry(entry);
                m_byHref.insert(r.href, at);
                m_byId.insert(entry.id, at);
                continue;
            }
            const int at = newEntry(entry);
            m_byHref.insert(r.href, at);
            add(ev.alarm, at);
            lines.append(QStringLiteral("from the server: added %1").arg(AlarmWords::Describe(ev.alarm)));
            ++m_plan.counts.added;
            continue;
        }
        Entry &entry = m_entries[e];
        entry.etag = r.etag;
        if (entry.kind == Kind::Ignored && !ev.maps)
            m_plan.skipped.append(skippedEvent(r.href, ev.skip)); // changed there, and still no alarm
        if (entry.kind == Kind::Ignored || entry.kind == Kind::Kept || entry.kind == Kind::Local)
            continue;
        const int index = indexOf(entry.id);
        if (!ev.maps) {
            // It no longer maps onto an alarm: the alarm stays here as it is,
            // the event there.
            if (index > 0) {
                entry.kind = Kind::Kept;
                lines.append(QStringLiteral("kept here: %1, whose event no longer maps onto an alarm (%2)")
                                 .arg(AlarmWords::Describe(m_alarms.at(index)), ev.skip));
            } else {
                entry.kind = Kind::Ignored;
                entry.id.clear();
                m_plan.skipped.append(skippedEvent(r.href, ev.skip));
            }
            continue;
        }
        const QByteArray theirs = Fingerprint(ev.alarm);
        if (index < 0) {
            if (entry.kind == Kind::Foreign) {
                entry.kind = Kind::Kept; // removed here: stays removed here
                entry.id.clear();
                continue;
            }
            // Rewritten there with the alarm as it was (or only its ETag
            // learnt now, where the server sent none for the upload): nothing
            // changed there, and the removal here goes up.
            if (theirs == entry.synced && !entry.id.isEmpty())
                continue;
            // Removed here, changed there: the server's version wins.
            entry.synced = theirs;
            entry.id.clear();
            add(ev.alarm, e);
            lines.append(QStringLiteral("from the server: added again %1 (removed here, changed there)")
                             .arg(AlarmWords::Describe(ev.alarm)));
            ++m_plan.counts.added;
            ++m_plan.conflicts;
            continue;
        }
        const AlarmRecord &mine = m_alarms.at(index);
        const QByteArray ours = Fingerprint(mine);
        if (theirs == entry.synced || theirs == ours) {
            entry.synced = theirs == ours ? theirs : entry.synced;
            continue; // nothing new there, or the same change on both sides
        }
        if (ours != entry.synced) {
            const AlarmRecord copy = conflictCopy(mine);
            add(copy, -1, true);
            lines.append(QStringLiteral("conflict: %1 changed here and on the server; the server's version is kept, "
                                        "this computer's as %2")
                             .arg(AlarmWords::Describe(ev.alarm), AlarmWords::Describe(copy)));
            ++m_plan.conflicts;
        } else {
            lines.append(QStringLiteral("from the server: changed %1 to %2")
                             .arg(AlarmWords::Describe(mine), AlarmWords::Describe(ev.alarm)));
            ++m_plan.counts.changed;
        }
        m_plan.replaced.insert(index, ev.alarm);
        entry.synced = theirs;
    }
}

void Decision::removals(const QStringList &removedHrefs)
{
    for (const QString &href : removedHrefs) {
        const int e = entryOfHref(href);
        if (e < 0)
            continue;
        Entry &entry = m_entries[e];
        const int index = indexOf(entry.id);
        if (index < 0 || entry.kind == Kind::Ignored) {
            kill(entry);
            continue;
        }
        if (entry.kind == Kind::Kept ||
            (entry.kind == Kind::Foreign && Fingerprint(m_alarms.at(index)) != entry.synced)) {
            // The user's own version of another program's event stays here.
            entry.kind = Kind::Local;
            entry.href.clear();
            entry.etag.clear();
            continue;
        }
        if (entry.kind == Kind::Own && Fingerprint(m_alarms.at(index)) != entry.synced) {
            // Changed here, removed there: it goes up again as a new event.
            kill(entry);
            continue;
        }
        if (m_plan.replaced.contains(index))
            continue;
        m_plan.removedLines.append(
            QStringLiteral("from the server: removed %1").arg(AlarmWords::Describe(m_alarms.at(index))));
        ++m_plan.counts.removed;
        m_plan.removed.append(index);
        m_plan.removedEntries.append(e);
    }
}

void Decision::uploads()
{
    const QSet<int> removed(m_plan.removed.cbegin(), m_plan.removed.cend());
    const QSet<int> removedEntries(m_plan.removedEntries.cbegin(), m_plan.removedEntries.cend());
    const auto entryAt = [this](int e) -> Entry & {
        if (!m_plan.settled.contains(e))
            m_plan.settled.insert(e, m_entries.at(e));
        return m_plan.settled[e];
    };
    const auto current = [this](int e) -> const Entry & {
        const auto it = m_plan.settled.constFind(e);
        return it != m_plan.settled.cend() ? *it : m_entries.at(e);
    };

    QSet<QString> present;
    // e: its entry, -1 for none.
    const auto consider = [&](const AlarmRecord &alarm, const QString &id, int added, int e) {
        if (e < 0) {
            m_plan.uploads.append(Upload{false, id, added, -1});
            return;
        }
        if (Fingerprint(alarm) == current(e).synced)
            return;
        if (current(e).kind == Kind::Foreign) {
            // Another program's event is never changed from here.
            entryAt(e).kind = Kind::Kept;
            m_plan.keptLines.append(QStringLiteral("kept here: %1, changed here, whose event belongs to another "
                                                   "program and is left as it is")
                                        .arg(AlarmWords::Describe(alarm)));
            return;
        }
        if (current(e).kind == Kind::Own)
            m_plan.uploads.append(Upload{true, id, added, e});
    };
    // The table as it stands once what came down is in: its records in
    // order, the removed ones gone, the added ones at the end.
    for (int i = 1; i < m_alarms.size(); ++i) {
        if (removed.contains(i))
            continue;
        const QString id = idOf(i);
        present.insert(id);
        consider(m_plan.replaced.value(i, m_alarms.at(i)), id, -1, entryOfId(id));
    }
    // An entry given to two added records (an event sent twice) is the last one's.
    QHash<int, int> lastAdded;
    for (int k = 0; k < m_plan.added.size(); ++k)
        lastAdded.insert(m_plan.added.at(k).entry, k);
    for (int k = 0; k < m_plan.added.size(); ++k) {
        const int e = m_plan.added.at(k).entry;
        consider(m_plan.added.at(k).alarm, QString(), k, lastAdded.value(e) == k ? e : -1);
    }

    for (int e = 0; e < m_entries.size(); ++e) {
        // An added record's entry is linked once it is in the table; a
        // removed record's is unlinked.
        const Entry &entry = current(e);
        if (entry.id.isEmpty() || present.contains(entry.id) || removedEntries.contains(e))
            continue;
        switch (entry.kind) {
        case Kind::Own:
            m_plan.deletions.append(e);
            break;
        case Kind::Foreign:
        case Kind::Kept:
            // Removed here; the other program's event stays, and is not
            // taken again.
            entryAt(e).kind = Kind::Kept;
            entryAt(e).id.clear();
            break;
        case Kind::Local:
        case Kind::Ignored:
            kill(entryAt(e));
            break;
        }
    }
}

} // namespace

Plan Decide(const QList<AlarmRecord> &alarms, const QStringList &ids, const SyncState::State &state,
            const QStringList &removedHrefs, const QList<Download> &downloads)
{
    Decision decision(alarms, ids, state);
    decision.downloads(downloads);
    decision.removals(removedHrefs);
    decision.uploads();
    return decision.take();
}

} // namespace Reconcile
