// Figures for the alarm engine: the start-up catch-up over a full week with a
// large table, and loading and saving a large alarm file.
#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWindows.h"
#include "engine/TimingModule.h"

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
    TimingModule::SetClock({});
    return 0;
}
