#include "service/SyncService.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/UserFiles.h"
#include "service/ResumeWatch.h"
#include "service/SingleInstance.h"
#include "sync/CalDav.h"
#include "sync/Credentials.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkInformation>
#include <QPointer>
#include <QThread>

namespace {

// A clock holds the single-copy lock for good; one that seems to hold it may
// also be a command just letting go of it, so a held lock that no command
// holds is looked at for this long before the clock is taken to be there.
constexpr int ClockSureMs = 5000;
constexpr int LockPollMs = 100;
// A command's server thread ends within moments of the sync.
constexpr int WorkerEndMs = 5000;

} // namespace

SyncService::Config SyncService::ReadConfig()
{
    Config config;
    config.url = QUrl(Settings::Read(Settings::SyncUrl), QUrl::StrictMode);
    config.user = Settings::Read(Settings::SyncUser);
    config.passwordFile = Settings::Read(Settings::SyncPasswordFile);
    return config;
}

QString SyncService::StatePath()
{
    return UserFiles::UserFile(QStringLiteral("sync-state"));
}

QString SyncService::LockPath()
{
    return StatePath() + QStringLiteral(".lock");
}

SyncService::SyncService(QObject *parent)
    : QObject(parent)
{
    m_period.setInterval(PeriodMs);
    // To the second is plenty, and lets the system gather wake-ups.
    m_period.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_period, &QTimer::timeout, this, [this] { soon(0); });
    m_soon.setSingleShot(true);
    connect(&m_soon, &QTimer::timeout, this, [this] {
        if (m_running)
            m_again = true;
        else
            run();
    });
}

SyncService::~SyncService()
{
    // A sync cut off here (the clock ends) drops what it waits for; its
    // server thread is not left running into the end of the process.
    if (m_sync)
        m_sync->Stop(WorkerEndMs);
    if (m_ended)
        m_ended->Stop(WorkerEndMs);
}

void SyncService::SyncNow(std::function<void(const Synchronizer::Report &)> done)
{
    m_waiting.append(std::move(done));
    if (m_running) {
        m_again = true;
        return;
    }
    // Always from the event loop: the caller may wait in one of its own.
    QTimer::singleShot(0, this, [this] {
        if (m_running)
            m_again = true;
        else
            run();
    });
}

void SyncService::StartSchedule(std::function<QString()> busy)
{
    m_busy = std::move(busy);
    if (!m_scheduled)
        connect(&AlarmStore::Instance(), &AlarmStore::changed, this, [this] {
            if (m_period.isActive())
                soon(AfterChangeMs);
        });
    m_scheduled = true;
    if (!ReadConfig().IsSet())
        return;
    m_period.start();
    watchResumeAndNetwork();
    soon(AfterStartMs);
}

void SyncService::soon(int ms)
{
    if (!m_soon.isActive() || m_soon.remainingTime() > ms)
        m_soon.start(ms);
}

void SyncService::watchResumeAndNetwork()
{
    static bool watching = false;
    if (watching)
        return;
    watching = true;
    // The network comes up a little after the computer wakes.
    auto *resume = new ResumeWatch(this);
    connect(resume, &ResumeWatch::PrepareForSleep, this, [this](bool start) {
        if (!start && m_period.isActive())
            soon(AfterChangeMs);
    });
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
                [this](QNetworkInformation::Reachability reachability) {
                    if (reachability == QNetworkInformation::Reachability::Online && m_period.isActive())
                        soon(AfterChangeMs);
                });
    }
}

void SyncService::run()
{
    m_again = false;
    // Those who asked before this sync began get its report; one asking
    // while it runs may have changed something meanwhile (the password, an
    // alarm) and gets the next sync's.
    m_inRun = std::exchange(m_waiting, {});
    const Config config = ReadConfig();
    Synchronizer::Report refused;
    if (!config.IsSet()) {
        refused.error = QStringLiteral("no calendar server is set up (tockwise --sync-setup URL --user NAME)");
    } else if (const QString why = CalDav::RefuseUrl(config.url); !why.isEmpty()) {
        refused.error = why;
    }
    if (!refused.error.isEmpty()) {
        if (m_scheduled && !config.IsSet()) {
            // Sync was turned off: the clock goes back to its old ways.
            m_period.stop();
            m_soon.stop();
        }
        m_running = true;
        return finished(refused);
    }
    if (m_scheduled && !m_period.isActive()) {
        // Set up while the clock runs.
        m_period.start();
        watchResumeAndNetwork();
    }
    m_running = true;
    // One sync at a time, in whichever process: held until this one ends.
    const QString lockPath = LockPath();
    QDir().mkpath(QFileInfo(lockPath).path());
    auto lock = std::make_unique<InstanceLock>();
    QString why;
    switch (lock->TryTake(lockPath, &why)) {
    case InstanceLock::Take::Taken:
        m_syncLock = std::move(lock);
        break;
    case InstanceLock::Take::Held:
        refused.error = QString::fromLatin1(AlreadyRunning);
        refused.busy = true;
        return finished(refused);
    case InstanceLock::Take::Unusable:
        refused.error = QStringLiteral("%1 cannot be used as the lock that keeps to one sync at a time: %2; remove it")
                            .arg(QDir::toNativeSeparators(lockPath), why);
        return finished(refused);
    }
    const quint64 round = ++m_round;
    Credentials::Read(config.url, config.user, config.passwordFile,
                      [self = QPointer<SyncService>(this), round, config](const Credentials::Lookup &found) {
                          if (self && self->m_round == round)
                              self->start(config, found);
                      });
}

void SyncService::start(const Config &config, const Credentials::Lookup &found)
{
    if (found.password.isEmpty()) {
        Synchronizer::Report report;
        report.error = found.error;
        return finished(report);
    }
    m_sync = std::make_unique<Synchronizer>(CalDav::Account{config.url, config.user, found.password}, StatePath());
    if (m_alone) {
        m_sync->SetTableAccess([this](bool *busy) { return takeTable(busy); }, [this] { m_tableLocks.clear(); });
    } else if (m_busy) {
        m_sync->SetTableAccess([busy = m_busy](bool *isBusy) {
            const QString why = busy();
            *isBusy = !why.isEmpty();
            return why;
        });
    }
    m_sync->Run([this](const Synchronizer::Report &report) { finished(report); });
}

// With no clock running: the single-copy lock, and the table as it is now.
// A command holding the lock is waited for (it lets go when it has saved); a
// clock that started meanwhile keeps the table and does its own syncing.
QString SyncService::takeTable(bool *busy)
{
    *busy = false;
    QDeadlineTimer clockSure(ClockSureMs);
    for (;;) {
        QString why;
        switch (SingleInstance::TakeCommandLocks(&m_tableLocks, &why)) {
        case InstanceLock::Take::Taken:
            break;
        case InstanceLock::Take::Unusable:
            return QStringLiteral("the single-copy lock cannot be taken: %1; nothing was changed here").arg(why);
        case InstanceLock::Take::Held:
            if (SingleInstance::CommandHoldsLock())
                clockSure.setRemainingTime(ClockSureMs);
            else if (clockSure.hasExpired())
                return QStringLiteral("a clock started during the sync and syncs on its own; nothing was changed "
                                      "here");
            QThread::msleep(LockPollMs);
            continue;
        }
        break;
    }
    // Read fresh under the lock: what changed here is judged against the
    // table as it is now, not as it was when the sync began.
    if (AlarmHandling::AlarmFolder().isEmpty())
        UserFiles::SetUpFiles();
    Snoozes::Load();
    const QString path = AlarmHandling::AlarmFilePath();
    QString error = AlarmHandling::UnreadableReason(path);
    if (error.isEmpty()) {
        // A missing or empty table is left as it is unless the sync changes it.
        if (!AlarmStore::Instance().Load(&error, AlarmStore::Missing::LeaveAlone) && error.isEmpty())
            error = QStringLiteral("%1 could not be read").arg(QDir::toNativeSeparators(path));
    }
    if (!error.isEmpty()) {
        m_tableLocks.clear();
        return error;
    }
    return {};
}

void SyncService::finished(const Synchronizer::Report &report)
{
    m_running = false;
    // Let go of first: whoever is told the sync ended may start the next.
    m_tableLocks.clear();
    m_syncLock.reset();
    // The sync is still on the stack of its own last request: deleted later.
    if (m_sync) {
        m_ended = std::move(m_sync);
        QTimer::singleShot(0, this, [this] { m_ended.reset(); });
    }
    if (m_scheduled) {
        // The clock's own record of what was left out, and why.
        for (const QString &line : report.skipped)
            qWarning("tockwise: sync: %s", qPrintable(line));
    }
    const auto waiting = std::exchange(m_inRun, {});
    for (const auto &done : waiting) {
        if (done)
            done(report);
    }
    if (report.tableChanged)
        emit TableChanged();
    if (m_scheduled && m_period.isActive()) {
        if (report.busy) {
            soon(WhenBusyMs);
        } else if (!report.error.isEmpty() && waiting.isEmpty()) {
            qWarning("tockwise: the alarms were not synced with the calendar server: %s", qPrintable(report.error));
            if (!m_reported) {
                m_reported = true;
                QString why = report.error;
                if (!why.isEmpty())
                    why[0] = why.at(0).toUpper();
                const QString text = QStringLiteral("Tockwise could not sync the alarms with the calendar server.\n\n"
                                                    "%1.\n\nNothing was lost: it tries again every 15 minutes.")
                                         .arg(why);
                QTimer::singleShot(0, this, [this, text] { emit FailureToShow(text); });
            }
        }
    }
    if (m_again || !m_waiting.isEmpty())
        soon(0);
}

Synchronizer::Report SyncService::RunAlone()
{
    SyncService service;
    service.m_alone = true;
    Synchronizer::Report result;
    bool ended = false;
    QEventLoop loop;
    service.SyncNow([&](const Synchronizer::Report &report) {
        result = report;
        ended = true;
        loop.quit();
    });
    if (!ended)
        loop.exec();
    return result;
}
