#include "shell/SyncService.h"

#include "engine/AlarmHandling.h"
#include "shell/ResumeWatch.h"
#include "sync/CalDav.h"
#include "sync/Credentials.h"
#include "ui/Dialogs.h"
#include "ui/Settings.h"

#include <QCoreApplication>
#include <QNetworkInformation>

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
    return AlarmCommands::UserFile(QStringLiteral("sync-state"));
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
    if (m_scheduled)
        AlarmHandling::SetChangedHook({});
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
    m_scheduled = true;
    AlarmHandling::SetChangedHook([this] {
        if (m_period.isActive())
            soon(AfterChangeMs);
    });
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
    Credentials::Read(config.url, config.user, config.passwordFile, [this, config](const Credentials::Lookup &found) {
        if (found.password.isEmpty()) {
            Synchronizer::Report report;
            report.error = found.error;
            return finished(report);
        }
        m_sync = std::make_unique<Synchronizer>(CalDav::Account{config.url, config.user, found.password}, StatePath());
        if (m_busy)
            m_sync->SetBusyCheck(m_busy);
        m_sync->Run([this](const Synchronizer::Report &report) { finished(report); });
    });
}

void SyncService::finished(const Synchronizer::Report &report)
{
    m_running = false;
    // The sync is still on the stack of its own last request.
    if (m_sync)
        m_sync.release()->deleteLater();
    const auto waiting = std::exchange(m_waiting, {});
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
                QTimer::singleShot(0, qApp, [text] { Dialogs::ShowError(nullptr, text); });
            }
        }
    }
    if (m_again || !m_waiting.isEmpty())
        soon(0);
}

AlarmCommands::Reply SyncService::ToReply(const Synchronizer::Report &report)
{
    AlarmCommands::Reply reply;
    for (const QString &line : report.changes)
        reply.out += (line + QLatin1Char('\n')).toUtf8();
    if (!report.summary.isEmpty())
        reply.out += (report.summary + QLatin1Char('\n')).toUtf8();
    reply.changed = report.tableChanged;
    if (!report.error.isEmpty()) {
        reply.status = 1;
        reply.err = QStringLiteral("tockwise: the alarms were not synced: %1\n").arg(report.error).toUtf8();
    }
    return reply;
}
