#pragma once

#include "clockwindow/MainForm.h"
#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/TimingModule.h"
#include "tests/common/AlarmFixtures.h"
#include "tests/common/NotificationFixture.h"
#include "ui/FormRegistry.h"

#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <QtDebug>
#include <memory>

// What a test of the running clock needs: its alarms in a folder of their
// own, a clock the test moves (Thursday 7 March 2024, 09:05:12 to begin with)
// and the clock loaded with its ticks driven by the test. Begin in init(),
// End in cleanup(), so a failing test still leaves nothing behind.
class ClockFixture
{
public:
    QDateTime now;

    void Begin()
    {
        m_alarms = std::make_unique<QTemporaryDir>();
        AlarmHandling::SetAlarmFolder(m_alarms->path());
        AlarmStore::Instance().SetIdentityFile(QString());
        if (!AlarmStore::Instance().Load(nullptr, AlarmStore::Missing::LeaveAlone))
            qWarning("the empty table could not be loaded");
        AlarmChecking::ResetMissedAlarms();
        now = QDateTime(QDate(2024, 3, 7), QTime(9, 5, 12));
        TimingModule::SetClock([this] { return now; });
    }

    void End()
    {
        DeleteNotifications();
        Forms().DeleteAll();
        TimingModule::SetClock({});
        m_alarms.reset();
    }

    MainForm *LoadClock() const
    {
        MainForm *clock = Forms().Get<MainForm>();
        QString error;
        if (!clock->Form_Load(&error))
            qWarning() << error;
        // The tests drive the ticks themselves.
        clock->RefreshTimer()->stop();
        clock->SaveTimer()->stop();
        return clock;
    }

    // Returns whether the last tick asked for the quick cadence, which is
    // cancelled: the test steps the clock itself. The minute wake-up sleeps on
    // the test's clock and stays quiet.
    static bool Tick(MainForm *clock, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            clock->RefreshTimer_Timer();
        const bool quick = clock->RefreshTimer()->isActive();
        clock->RefreshTimer()->stop();
        return quick;
    }

    // The table as given, written to Alarms.dat.
    static bool SaveAlarms(const QList<AlarmRecord> &alarms)
    {
        return useTable(QList<AlarmRecord>{AlarmRecord{}} + alarms);
    }

private:
    std::unique_ptr<QTemporaryDir> m_alarms;
};
