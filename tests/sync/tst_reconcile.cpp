#include "engine/AlarmWords.h"
#include "sync/Reconcile.h"
#include "tests/common/AlarmFixtures.h"

#include <QHash>
#include <QtTest>

using Reconcile::Plan;
using SyncState::Entry;
using SyncState::Kind;

namespace {

// Every alarm the rows use, so that a fingerprint in the state reads as the
// alarm it was taken of.
QHash<QByteArray, QString> &known()
{
    static QHash<QByteArray, QString> names;
    return names;
}

QString label(const AlarmRecord &a)
{
    return QStringLiteral("%1 %2%3").arg(a.TrimmedName(), AlarmWords::Time(a.Hour, a.Minute),
                                         a.Disabled ? QStringLiteral(" off") : QString());
}

AlarmRecord daily(const QString &name, int hour, int minute)
{
    const AlarmRecord a = makeAlarm(name, AlarmRecord::Daily, quint8(hour), quint8(minute));
    known().insert(SyncState::Fingerprint(a), label(a));
    return a;
}

const AlarmRecord Tea = daily(QStringLiteral("Tea"), 16, 30);
const AlarmRecord TeaLater = daily(QStringLiteral("Tea"), 17, 15);   // as changed on the server
const AlarmRecord TeaEarlier = daily(QStringLiteral("Tea"), 16, 45); // as changed here
const AlarmRecord Gym = daily(QStringLiteral("Gym"), 18, 0);

const QString TeaHref = QStringLiteral("/cal/tea.ics");
const QByteArray OldTag = "\"1\"";
const QByteArray NewTag = "\"2\"";

// Both sides of one sync, built up a call at a time.
struct Sides
{
    QList<AlarmRecord> alarms{AlarmRecord()};
    QStringList ids{QString()};
    SyncState::State state;
    QStringList removed;
    QList<Reconcile::Download> downloads;

    Sides &alarm(const QString &id, const AlarmRecord &a)
    {
        alarms.append(a);
        ids.append(id);
        return *this;
    }
    // What the last sync left: the event at href, in step with synced then.
    Sides &entry(Kind kind, const QString &id, const QString &href, const AlarmRecord &synced)
    {
        Entry e;
        e.kind = kind;
        e.id = id;
        e.href = href;
        e.etag = href.isEmpty() ? QByteArray() : OldTag;
        e.uid = id;
        e.synced = SyncState::Fingerprint(synced);
        state.entries.append(e);
        return *this;
    }
    Sides &sent(const QString &href, const AlarmRecord &a, bool ours, const QString &uid)
    {
        Reconcile::Download d;
        d.href = href;
        d.etag = NewTag;
        d.event.maps = true;
        d.event.alarm = a;
        d.event.ours = ours;
        d.event.uid = uid;
        downloads.append(d);
        return *this;
    }
    Sides &sentUnmapped(const QString &href, const QString &why)
    {
        Reconcile::Download d;
        d.href = href;
        d.etag = NewTag;
        d.event.ours = true;
        d.event.uid = QStringLiteral("u");
        d.event.skip = why;
        downloads.append(d);
        return *this;
    }
    Sides &gone(const QString &href)
    {
        removed.append(href);
        return *this;
    }
};

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Own:
        return QStringLiteral("own");
    case Kind::Foreign:
        return QStringLiteral("foreign");
    case Kind::Kept:
        return QStringLiteral("kept");
    case Kind::Ignored:
        return QStringLiteral("ignored");
    case Kind::Local:
        return QStringLiteral("local");
    }
    return QStringLiteral("?");
}

QString orDash(const QString &s)
{
    return s.isEmpty() ? QStringLiteral("-") : s;
}

QString describe(const Entry &e)
{
    QString synced = e.synced.isEmpty() ? QStringLiteral("-") : known().value(e.synced, QString::fromLatin1(e.synced));
    return QStringLiteral("%1 %2 %3 %4 uid %5 synced %6")
        .arg(kindName(e.kind), orDash(e.id), orDash(e.href), orDash(QString::fromLatin1(e.etag)), orDash(e.uid),
             synced);
}

// The whole plan, a line per decision, in the order it is carried out.
QStringList render(const Plan &plan)
{
    QStringList out;
    for (auto it = plan.replaced.cbegin(); it != plan.replaced.cend(); ++it)
        out << QStringLiteral("replace %1 with %2").arg(it.key()).arg(label(it.value()));
    for (const Reconcile::Added &a : plan.added)
        out << QStringLiteral("add %1%2%3")
                   .arg(label(a.alarm), a.entry >= 0 ? QStringLiteral(" for entry %1").arg(a.entry) : QString(),
                        a.conflict ? QStringLiteral(" as a conflict") : QString());
    for (int k = 0; k < plan.removed.size(); ++k)
        out << QStringLiteral("remove %1, unlinking entry %2")
                   .arg(plan.removed.at(k))
                   .arg(plan.removedEntries.value(k));
    for (int e = 0; e < plan.entries.size(); ++e)
        out << QStringLiteral("entry %1: %2").arg(e).arg(describe(plan.entries.at(e)));
    for (auto it = plan.settled.cbegin(); it != plan.settled.cend(); ++it)
        out << QStringLiteral("then entry %1: %2").arg(it.key()).arg(describe(it.value()));
    for (const Reconcile::Upload &u : plan.uploads) {
        const QString who = u.added >= 0 ? QStringLiteral("added %1").arg(u.added) : u.id;
        out << (u.change ? QStringLiteral("up: change %1 at entry %2").arg(who).arg(u.entry)
                         : QStringLiteral("up: new %1").arg(who));
    }
    for (int e : plan.deletions)
        out << QStringLiteral("delete entry %1").arg(e);
    for (const QString &l : plan.changes)
        out << QStringLiteral("says: ") + l;
    for (const QString &l : plan.removedLines)
        out << QStringLiteral("says once removed: ") + l;
    for (const QString &l : plan.keptLines)
        out << QStringLiteral("says: ") + l;
    for (const QString &l : plan.skipped)
        out << QStringLiteral("skipped: ") + l;
    if (plan.counts.added || plan.counts.changed || plan.counts.removed || plan.conflicts)
        out << QStringLiteral("counts: %1 added, %2 changed, %3 removed, %4 on both sides")
                   .arg(plan.counts.added)
                   .arg(plan.counts.changed)
                   .arg(plan.counts.removed)
                   .arg(plan.conflicts);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Sides)

class TestReconcile : public QObject
{
    Q_OBJECT

private slots:
    void plan_data();
    void plan();
};

void TestReconcile::plan_data()
{
    QTest::addColumn<Sides>("sides");
    QTest::addColumn<QStringList>("expected");

    const QString a1 = QStringLiteral("a1");
    const QString a2 = QStringLiteral("a2");
    const QString gymHref = QStringLiteral("/cal/gym.ics");

    // --- one side changed
    QTest::newRow("added here: goes up") << Sides().alarm(a1, Tea) << QStringList{"up: new a1"};
    QTest::newRow("added there by another computer: taken, linked as ours, not sent back")
        << Sides().sent(gymHref, Gym, true, "u-gym")
        << QStringList{"add Gym 18:00 for entry 0", "entry 0: own - /cal/gym.ics \"2\" uid u-gym synced Gym 18:00",
                       "says: from the server: added \"Gym\" (daily 18:00)",
                       "counts: 1 added, 0 changed, 0 removed, 0 on both sides"};
    QTest::newRow("added there by another program: taken and followed as another program's")
        << Sides().sent(gymHref, Gym, false, "u-gym")
        << QStringList{"add Gym 18:00 for entry 0", "entry 0: foreign - /cal/gym.ics \"2\" uid u-gym synced Gym 18:00",
                       "says: from the server: added \"Gym\" (daily 18:00)",
                       "counts: 1 added, 0 changed, 0 removed, 0 on both sides"};
    QTest::newRow("changed there: the server's version replaces it")
        << Sides().alarm(a1, Tea).entry(Kind::Own, a1, TeaHref, Tea).sent(TeaHref, TeaLater, true, a1)
        << QStringList{"replace 1 with Tea 17:15", "entry 0: own a1 /cal/tea.ics \"2\" uid a1 synced Tea 17:15",
                       "says: from the server: changed \"Tea\" (daily 16:30) to \"Tea\" (daily 17:15)",
                       "counts: 0 added, 1 changed, 0 removed, 0 on both sides"};
    QTest::newRow("changed here: goes up as a change of its event")
        << Sides().alarm(a1, TeaEarlier).entry(Kind::Own, a1, TeaHref, Tea)
        << QStringList{"entry 0: own a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30", "up: change a1 at entry 0"};
    QTest::newRow("changed here, its event rewritten there with the same alarm: the change goes up")
        << Sides().alarm(a1, TeaEarlier).entry(Kind::Own, a1, TeaHref, Tea).sent(TeaHref, Tea, true, a1)
        << QStringList{"entry 0: own a1 /cal/tea.ics \"2\" uid a1 synced Tea 16:30", "up: change a1 at entry 0"};
    QTest::newRow("removed here: its event is deleted there")
        << Sides().entry(Kind::Own, a1, TeaHref, Tea)
        << QStringList{"entry 0: own a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30", "delete entry 0"};
    QTest::newRow("removed there: removed here once that is saved")
        << Sides().alarm(a1, Tea).alarm(a2, Gym).entry(Kind::Own, a1, TeaHref, Tea).gone(TeaHref)
        << QStringList{"remove 1, unlinking entry 0", "entry 0: own a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30",
                       "up: new a2", "says once removed: from the server: removed \"Tea\" (daily 16:30)",
                       "counts: 0 added, 0 changed, 1 removed, 0 on both sides"};

    // --- both sides changed
    QTest::newRow("changed on both sides: the server's wins, this one kept disabled and sent as new")
        << Sides().alarm(a1, TeaEarlier).entry(Kind::Own, a1, TeaHref, Tea).sent(TeaHref, TeaLater, true, a1)
        << QStringList{"replace 1 with Tea 17:15",
                       "add Tea (conflict) 16:45 off as a conflict",
                       "entry 0: own a1 /cal/tea.ics \"2\" uid a1 synced Tea 17:15",
                       "up: new added 0",
                       "says: conflict: \"Tea\" (daily 17:15) changed here and on the server; the server's version "
                       "is kept, this computer's as \"Tea (conflict)\" (daily 16:45, disabled)",
                       "counts: 0 added, 0 changed, 0 removed, 1 on both sides"};
    QTest::newRow("changed alike on both sides: no conflict, nothing to send")
        << Sides().alarm(a1, TeaLater).entry(Kind::Own, a1, TeaHref, Tea).sent(TeaHref, TeaLater, true, a1)
        << QStringList{"entry 0: own a1 /cal/tea.ics \"2\" uid a1 synced Tea 17:15"};
    QTest::newRow("removed here, changed there: taken again, its event kept")
        << Sides().alarm(a2, Gym).entry(Kind::Own, a1, TeaHref, Tea).sent(TeaHref, TeaLater, true, a1)
        << QStringList{"add Tea 17:15 for entry 0", "entry 0: own - /cal/tea.ics \"2\" uid a1 synced Tea 17:15",
                       "up: new a2",
                       "says: from the server: added again \"Tea\" (daily 17:15) (removed here, changed there)",
                       "counts: 1 added, 0 changed, 0 removed, 1 on both sides"};
    // Also what a server that sends no ETag for an upload looks like at the
    // next sync: the event's ETag is news, its alarm is not.
    QTest::newRow("removed here, its event rewritten there with the same alarm: deleted there, not taken again")
        << Sides().entry(Kind::Own, a1, TeaHref, Tea).sent(TeaHref, Tea, true, a1)
        << QStringList{"entry 0: own a1 /cal/tea.ics \"2\" uid a1 synced Tea 16:30", "delete entry 0"};
    QTest::newRow("changed here, removed there: kept, and sent again as a new event")
        << Sides().alarm(a1, TeaEarlier).entry(Kind::Own, a1, TeaHref, Tea).gone(TeaHref)
        << QStringList{"entry 0: own - - \"1\" uid a1 synced Tea 16:30", "up: new a1"};
    QTest::newRow("removed on both sides: forgotten, nothing deleted")
        << Sides().entry(Kind::Own, a1, TeaHref, Tea).gone(TeaHref)
        << QStringList{"entry 0: own - - \"1\" uid a1 synced Tea 16:30"};

    // --- another program's events: never changed or removed on the server
    QTest::newRow("another program's event edited here: kept here, nothing sent")
        << Sides().alarm(a1, TeaEarlier).entry(Kind::Foreign, a1, TeaHref, Tea)
        << QStringList{"entry 0: foreign a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30",
                       "then entry 0: kept a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30",
                       "says: kept here: \"Tea\" (daily 16:45), changed here, whose event belongs to another "
                       "program and is left as it is"};
    QTest::newRow("another program's event removed here: left there, not taken again")
        << Sides().entry(Kind::Foreign, a1, TeaHref, Tea)
        << QStringList{"entry 0: foreign a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30",
                       "then entry 0: kept - /cal/tea.ics \"1\" uid a1 synced Tea 16:30"};
    QTest::newRow("another program's event kept here, changed there: this one stays")
        << Sides().alarm(a1, TeaEarlier).entry(Kind::Kept, a1, TeaHref, Tea).sent(TeaHref, TeaLater, false, "x")
        << QStringList{"entry 0: kept a1 /cal/tea.ics \"2\" uid a1 synced Tea 16:30"};
    QTest::newRow("another program's event edited here, removed there: the alarm stays here only")
        << Sides().alarm(a1, TeaEarlier).entry(Kind::Foreign, a1, TeaHref, Tea).gone(TeaHref)
        << QStringList{"entry 0: local a1 - - uid a1 synced Tea 16:30"};
    QTest::newRow("another program's event unchanged here, removed there: removed here")
        << Sides().alarm(a1, Tea).entry(Kind::Foreign, a1, TeaHref, Tea).gone(TeaHref)
        << QStringList{"remove 1, unlinking entry 0", "entry 0: foreign a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30",
                       "says once removed: from the server: removed \"Tea\" (daily 16:30)",
                       "counts: 0 added, 0 changed, 1 removed, 0 on both sides"};
    QTest::newRow("another program's event removed here, changed there: stays removed here")
        << Sides().entry(Kind::Foreign, a1, TeaHref, Tea).sent(TeaHref, TeaLater, false, "x")
        << QStringList{"entry 0: kept - /cal/tea.ics \"2\" uid a1 synced Tea 16:30"};
    QTest::newRow("an alarm kept here only, removed here: forgotten")
        << Sides().entry(Kind::Local, a1, QString(), Tea)
        << QStringList{"entry 0: local a1 - - uid a1 synced Tea 16:30",
                       "then entry 0: local - - - uid a1 synced Tea 16:30"};

    // --- events that map onto no alarm
    QTest::newRow("an event stops mapping: the alarm stays here as it is, nothing sent")
        << Sides().alarm(a1, Tea).entry(Kind::Own, a1, TeaHref, Tea).sentUnmapped(TeaHref, "it repeats monthly")
        << QStringList{"entry 0: kept a1 /cal/tea.ics \"2\" uid a1 synced Tea 16:30",
                       "says: kept here: \"Tea\" (daily 16:30), whose event no longer maps onto an alarm (it "
                       "repeats monthly)"};
    QTest::newRow("an event stops mapping, its alarm removed here: followed as no alarm")
        << Sides().entry(Kind::Own, a1, TeaHref, Tea).sentUnmapped(TeaHref, "it repeats monthly")
        << QStringList{"entry 0: ignored - /cal/tea.ics \"2\" uid a1 synced Tea 16:30",
                       "skipped: skipped the event /cal/tea.ics: it repeats monthly"};
    QTest::newRow("a new event that maps onto no alarm: followed, skipped")
        << Sides().sentUnmapped(gymHref, QString())
        << QStringList{"entry 0: ignored - /cal/gym.ics \"2\" uid u synced -",
                       "skipped: skipped the event /cal/gym.ics: it maps onto no alarm"};
    QTest::newRow("an event that mapped onto no alarm now maps: taken as new")
        << Sides().entry(Kind::Ignored, QString(), gymHref, Gym).sent(gymHref, Gym, false, "u-gym")
        << QStringList{"add Gym 18:00 for entry 1", "entry 0: ignored - - \"1\" uid - synced Gym 18:00",
                       "entry 1: foreign - /cal/gym.ics \"2\" uid u-gym synced Gym 18:00",
                       "says: from the server: added \"Gym\" (daily 18:00)",
                       "counts: 1 added, 0 changed, 0 removed, 0 on both sides"};

    // --- linking what both sides already hold
    QTest::newRow("first sync, the same alarm on both sides: linked, not doubled")
        << Sides().alarm(a1, Tea).sent(TeaHref, Tea, false, "x")
        << QStringList{"entry 0: foreign a1 /cal/tea.ics \"2\" uid x synced Tea 16:30"};
    QTest::newRow("first sync, two equal alarms here and one there: one linked, the other sent")
        << Sides().alarm(a1, Tea).alarm(a2, Tea).sent(TeaHref, Tea, true, "x")
        << QStringList{"entry 0: own a2 /cal/tea.ics \"2\" uid x synced Tea 16:30", "up: new a1"};
    // The upload reached the server but the sync ended before noting it; the
    // alarm changed since. Its UID, not what it holds, names the alarm.
    QTest::newRow("an upload cut off before it was noted: linked by its UID, the change goes up")
        << Sides().alarm(a1, TeaEarlier).sent("/cal/a1.ics", Tea, true, a1)
        << QStringList{"entry 0: own a1 /cal/a1.ics \"2\" uid a1 synced Tea 16:30", "up: change a1 at entry 0"};
    QTest::newRow("another program's event with an alarm's identity as UID: not taken for an upload")
        << Sides().alarm(a1, TeaEarlier).sent("/cal/a1.ics", Tea, false, a1)
        << QStringList{"add Tea 16:30 for entry 0", "entry 0: foreign - /cal/a1.ics \"2\" uid a1 synced Tea 16:30",
                       "up: new a1", "says: from the server: added \"Tea\" (daily 16:30)",
                       "counts: 1 added, 0 changed, 0 removed, 0 on both sides"};
    QTest::newRow("a copy there of an event already linked: taken as another alarm")
        << Sides().alarm(a1, Tea).entry(Kind::Own, a1, TeaHref, Tea).sent("/cal/copy.ics", Tea, true, a1)
        << QStringList{"add Tea 16:30 for entry 1", "entry 0: own a1 /cal/tea.ics \"1\" uid a1 synced Tea 16:30",
                       "entry 1: own - /cal/copy.ics \"2\" uid a1 synced Tea 16:30",
                       "says: from the server: added \"Tea\" (daily 16:30)",
                       "counts: 1 added, 0 changed, 0 removed, 0 on both sides"};
}

void TestReconcile::plan()
{
    QFETCH(Sides, sides);
    QFETCH(QStringList, expected);
    const Plan plan = Reconcile::Decide(sides.alarms, sides.ids, sides.state, sides.removed, sides.downloads);
    QCOMPARE(render(plan), expected);
}

QTEST_GUILESS_MAIN(TestReconcile)
#include "tst_reconcile.moc"
