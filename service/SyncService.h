#pragma once

#include "platform/InstanceLock.h"
#include "sync/Credentials.h"
#include "sync/Synchronizer.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

// Keeping the alarm table in step with the user's calendar server: the
// server's settings, one sync at a time, and, in a running clock, when to
// sync: at start-up, a few seconds after each change, when the computer
// resumes or the network returns, and every 15 minutes. With no server set
// up it does nothing at all: no timer, no connection.
//
// One sync at a time per user, whoever runs it (the clock, or a command with
// no clock): each holds the sync lock for its whole run; one finding it held
// says "a sync is already running", and the clock simply tries again soon.
class SyncService : public QObject
{
    Q_OBJECT

public:
    struct Config
    {
        QUrl url;
        QString user;
        QString passwordFile;
        bool IsSet() const { return !url.isEmpty() && !user.isEmpty(); }
    };
    static Config ReadConfig();
    // The sync state beside the table, in the per-user data folder.
    static QString StatePath();
    // The lock held for a whole sync, beside the state.
    static QString LockPath();
    static constexpr char AlreadyRunning[] = "a sync is already running";

    static constexpr int PeriodMs = 15 * 60 * 1000;
    static constexpr int AfterChangeMs = 5000;
    static constexpr int AfterStartMs = 3000;
    static constexpr int WhenBusyMs = 30000;

    explicit SyncService(QObject *parent = nullptr);
    ~SyncService() override;

    // One sync now (after the one under way, if any); done gets what it did.
    void SyncNow(std::function<void(const Synchronizer::Report &)> done);

    // --sync-now where no clock runs: the sync in this process. The server is
    // talked to without the single-copy lock (so a clock may start
    // meanwhile); the lock is taken only to apply what came down: the table
    // is read fresh, changed and saved, and the lock let go before anything
    // goes up. A clock that started meanwhile keeps the table: this sync
    // then changes nothing and says so (status 1).
    static Synchronizer::Report RunAlone();

    // The running clock's schedule; busy says why the table may not be
    // changed right now (the editor is open), empty when it may.
    void StartSchedule(std::function<QString()> busy);

signals:
    // A sync changed the table: windows showing it follow.
    void TableChanged();
    // A scheduled sync failed: said once a run, for the user to see.
    void FailureToShow(const QString &text);

private:
    void soon(int ms);
    void run();
    void finished(const Synchronizer::Report &report);
    void watchResumeAndNetwork();
    void start(const Config &config, const Credentials::Lookup &found);
    QString takeTable(bool *busy);

    std::function<QString()> m_busy;
    bool m_alone = false; // no clock runs: the table is this process's to load, under the single-copy lock
    std::unique_ptr<InstanceLock> m_syncLock;
    std::vector<std::unique_ptr<InstanceLock>> m_tableLocks;
    std::unique_ptr<Synchronizer> m_sync;
    std::unique_ptr<Synchronizer> m_ended; // the last sync, deleted once off its own stack
    quint64 m_round = 0;
    QList<std::function<void(const Synchronizer::Report &)>> m_waiting;
    QList<std::function<void(const Synchronizer::Report &)>> m_inRun;
    QTimer m_period;
    QTimer m_soon;
    bool m_running = false;
    bool m_again = false;
    bool m_scheduled = false;
    bool m_reported = false;
};
