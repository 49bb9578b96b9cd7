// Figures for the alarm engine: the start-up catch-up over a full week with a
// large table, loading and saving a large alarm file, and the minute check and
// a day's wake-up moments with alarms of any rule against the kinds alone.
#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "engine/AlarmRule.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWindows.h"
#include "engine/TimingModule.h"
#include "interchange/Recurrence.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include "bench/BenchTools.h"

#include <algorithm>

namespace {

class CountingWindows : public AlarmWindows
{
public:
    int missed = 0;
    void OpenNotification(const QString &, const QString &, qint32, const QString &) override {}
    void ShowMissedAlarms() override { ++missed; }
};

QList<AlarmRecord> mixedTable(int count, QRandomGenerator &rng)
{
    QList<AlarmRecord> table{AlarmRecord{}};
    for (int i = 1; i <= count; ++i) {
        AlarmRecord r;
        r.Index = i;
        r.Name = AlarmRecord::FixedName(QStringLiteral("Alarm number %1").arg(i));
        r.AlarmType = static_cast<quint8>(i % 4);
        r.Hour = static_cast<quint8>(rng.bounded(24));
        r.Minute = static_cast<quint8>(rng.bounded(60));
        r.WeekDay = static_cast<quint8>(rng.bounded(7));
        r.Day = static_cast<quint8>(1 + rng.bounded(28));
        r.Month = static_cast<quint8>(1 + rng.bounded(12));
        r.Year = static_cast<qint16>(2024 + rng.bounded(2));
        r.Disabled = (i % 10 == 0) ? -1 : 0;
        table.append(r);
    }
    return table;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QRandomGenerator rng(42);
    const int rounds = 7;

    // Catch-up: 10080 minutes x 1000 alarms, missed lines counted, not shown.
    CountingWindows windows;
    AlarmChecking::SetWindows(&windows);
    QTemporaryDir dir;
    AlarmHandling::SetAlarmFolder(dir.path());
    AlarmStore &store = AlarmStore::Instance();
    store.SetIdentityFile(dir.filePath(QStringLiteral("alarm-ids")));
    if (!store.Load() || !store.Add(mixedTable(1000, rng).mid(1)))
        return 1;
    const QDateTime now(QDate(2025, 3, 12), QTime(9, 0));
    TimingModule::SetClock([now] { return now; });
    QList<double> catchUp;
    int lines = 0;
    for (int r = 0; r < rounds; ++r) {
        AlarmChecking::ResetMissedAlarms();
        AlarmChecking::LastCheck = TimingModule::CurrentMinute() - 30 * 1440;
        QElapsedTimer t;
        t.start();
        AlarmChecking::StartupCatchUp();
        catchUp.append(t.nsecsElapsed() / 1e6);
        lines = static_cast<int>(AlarmChecking::MissedAlarms.size() - 1);
    }
    out << "catch-up, 10080 minutes x 1000 alarms: median " << median(catchUp) << " ms (" << lines
        << " missed lines)\n";

    // Matching alone: the same week with every alarm moved to a time no
    // minute has, so nothing fires and only the tests are measured.
    AlarmChecking::SetWindows(nullptr);
    AlarmStore::Change never;
    for (int i = 1; i < store.Records().size(); ++i) {
        AlarmRecord moved = store.At(i);
        moved.Minute = 60;
        never.replace.append({i, moved});
    }
    if (!store.Apply(never))
        return 1;
    QList<double> matchOnly;
    for (int r = 0; r < rounds; ++r) {
        AlarmChecking::LastCheck = TimingModule::CurrentMinute() - 30 * 1440;
        QElapsedTimer t;
        t.start();
        AlarmChecking::StartupCatchUp();
        matchOnly.append(t.nsecsElapsed() / 1e6);
    }
    out << "catch-up matching only (nothing due), 10080 minutes x 1000 alarms: median " << median(matchOnly) << " ms\n";

    // Load and save 10000 alarms.
    AlarmStore::Change fill;
    for (int i = 1; i < store.Records().size(); ++i)
        fill.remove.append(i);
    fill.add = mixedTable(10000, rng).mid(1);
    if (!store.Apply(fill))
        return 1;
    QList<double> saves, loads;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        AlarmRecord changed = store.At(1 + r);
        changed.Disabled = changed.Disabled != 0 ? 0 : -1;
        if (!store.Replace(1 + r, changed))
            return 1;
        saves.append(t.nsecsElapsed() / 1e6);
        t.restart();
        if (!store.Load())
            return 1;
        loads.append(t.nsecsElapsed() / 1e6);
    }
    out << "one change saved (Alarms.dat and identities), 10000 alarms (1.28 MB): median " << median(saves) << " ms\n";
    out << "load with identities, 10000 alarms: median " << median(loads) << " ms\n";

    // The next moment to wake the computer for, over 10000 mixed alarms.
    QList<double> wakes;
    QDateTime wake;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        wake = AlarmChecking::NextWakeMoment();
        wakes.append(t.nsecsElapsed() / 1e6);
    }
    out << "NextWakeMoment, 10000 alarms: median " << median(wakes) << " ms (" << wake.toString(Qt::ISODate) << ")\n";

    // A day of the running clock over 10000 alarms: the minute check of each
    // of its 1440 minutes and the wake-up moment worked out after each, first
    // with the kinds alone, then with half the alarms on rules of every shape
    // (a fifth of those on another zone's clock).
    Recurrence::Install();
    const QStringList shapes{QStringLiteral("FREQ=WEEKLY;BYDAY=MO,WE,FR"), QStringLiteral("FREQ=WEEKLY;INTERVAL=2;BYDAY=TH"),
                             QStringLiteral("FREQ=MONTHLY;BYDAY=1MO"), QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=15"),
                             QStringLiteral("FREQ=DAILY;INTERVAL=3"), QStringLiteral("FREQ=YEARLY"),
                             QStringLiteral("FREQ=DAILY;COUNT=400")};
    const auto day = [&](const char *what) {
        QDateTime clock(QDate(2025, 3, 12), QTime(0, 0));
        TimingModule::SetClock([&clock] { return clock; });
        AlarmChecking::LastCheck = TimingModule::CurrentMinute() - 1;
        QElapsedTimer t;
        t.start();
        AlarmChecking::LiveCheck(); // the first: every rule's next ring is worked out
        const double first = t.nsecsElapsed() / 1e6;
        QList<double> checks, wakeUps;
        for (int m = 1; m < 1440; ++m) {
            clock = clock.addSecs(60);
            t.restart();
            AlarmChecking::LiveCheck();
            checks.append(t.nsecsElapsed() / 1e6);
            t.restart();
            AlarmChecking::NextWakeMoment();
            wakeUps.append(t.nsecsElapsed() / 1e6);
        }
        double total = 0;
        for (double w : wakeUps)
            total += w;
        out << what << ": the first minute check " << first << " ms, then median " << median(checks)
            << " ms a minute; the wake-up moment median " << median(wakeUps) << " ms, " << total << " ms a day\n";
    };
    AlarmChecking::SetWindows(nullptr);
    day("a day, 10000 alarms of the kinds");
    AlarmStore::Change rules;
    for (int i = 2; i < store.Records().size(); i += 2) {
        AlarmRule rule;
        rule.recur = shapes.at(i / 2 % shapes.size());
        rule.start = QDateTime(QDate(2025, 1, 1 + i % 28), QTime(store.At(i).Hour, store.At(i).Minute), Qt::UTC);
        if (i % 10 == 0)
            rule.zone = QStringLiteral("America/New_York");
        if (i % 6 == 0)
            rule.skipped.append(rule.start.addDays(7));
        AlarmRecord record = store.At(i);
        rule.StandIn(&record, TimingModule::MinuteOf(QDate(2025, 3, 12), QTime(0, 0)));
        rules.replace.append({i, record});
        rules.rules.append({i, rule});
    }
    if (!store.Apply(rules))
        return 1;
    day("a day, 5000 of the 10000 alarms on rules");
    TimingModule::SetClock({});
    return 0;
}
