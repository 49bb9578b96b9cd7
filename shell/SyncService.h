#pragma once

#include "shell/AlarmCommands.h"
#include "sync/Synchronizer.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

// Keeping the alarm table in step with the user's calendar server: the
// server's settings, one sync at a time, and, in a running clock, when to
// sync: at start-up, a few seconds after each change, when the computer
// resumes or the network returns, and every 15 minutes. With no server set
// up it does nothing at all: no timer, no connection.
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

    static constexpr int PeriodMs = 15 * 60 * 1000;
    static constexpr int AfterChangeMs = 5000;
    static constexpr int AfterStartMs = 3000;
    static constexpr int WhenBusyMs = 30000;

    explicit SyncService(QObject *parent = nullptr);
    ~SyncService() override;

    // One sync now (after the one under way, if any); done gets what it did.
    void SyncNow(std::function<void(const Synchronizer::Report &)> done);

    // The running clock's schedule; busy says why the table may not be
    // changed right now (the editor is open), empty when it may.
    void StartSchedule(std::function<QString()> busy);

    // The command's reply for a sync report.
    static AlarmCommands::Reply ToReply(const Synchronizer::Report &report);

signals:
    // A sync changed the table: windows showing it follow.
    void TableChanged();

private:
    void soon(int ms);
    void run();
    void finished(const Synchronizer::Report &report);
    void watchResumeAndNetwork();

    std::function<QString()> m_busy;
    std::unique_ptr<Synchronizer> m_sync;
    QList<std::function<void(const Synchronizer::Report &)>> m_waiting;
    QTimer m_period;
    QTimer m_soon;
    bool m_running = false;
    bool m_again = false;
    bool m_scheduled = false;
    bool m_reported = false;
};
