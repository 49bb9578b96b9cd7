#include "shell/MediaPause.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {
const QString PlayerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString PlayerPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
constexpr int EndingWaitMs = 500;

QDBusMessage statusCall(const QString &name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        name, PlayerPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << PlayerInterface << QStringLiteral("PlaybackStatus");
    return call;
}

QDBusMessage playerCall(const QString &name, const QString &method)
{
    return QDBusMessage::createMethodCall(name, PlayerPath, PlayerInterface, method);
}
} // namespace

MediaPause::MediaPause(QObject *parent)
    : QObject(parent)
{
    // A ring that ended as the program ends (its windows closed on the way
    // out) leaves answers no event loop will hear: the players are asked
    // again while waiting.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { playNow(std::exchange(m_resuming, {})); });
}

void MediaPause::PausePlaying()
{
    if (m_ringing)
        return;
    m_ringing = true;
    const quint64 round = ++m_round;
    if (!m_session.isConnected())
        m_session = QDBusConnection::sessionBus();
    if (!m_session.isConnected())
        return;
    const QDBusMessage list =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(list), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, round](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isValid() || round != m_round)
            return;
        for (const QString &name : reply.value())
            if (name.startsWith(PlayerPrefix))
                pauseIfPlaying(name, round);
    });
}

void MediaPause::pauseIfPlaying(const QString &name, quint64 round)
{
    auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(statusCall(name)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, round](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        // The ring may have ended while the player was being asked.
        if (reply.type() != QDBusMessage::ReplyMessage || round != m_round || reply.arguments().isEmpty())
            return;
        const QString status = qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString();
        // The answer comes from the player's unique name: the one to play again.
        const QString player = reply.service();
        if (status != QLatin1String("Playing") || player.isEmpty() || m_paused.contains(player))
            return;
        m_paused.append(player);
        m_session.send(playerCall(player, QStringLiteral("Pause")));
    });
}

void MediaPause::PlayPaused(bool programEnding)
{
    if (!m_ringing)
        return;
    m_ringing = false;
    ++m_round;
    const QStringList paused = std::exchange(m_paused, {});
    if (programEnding) {
        playNow(paused);
        return;
    }
    m_resuming += paused;
    for (const QString &player : paused) {
        auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(statusCall(player)), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, player](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            m_resuming.removeOne(player);
            const QDBusMessage reply = w->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                return;
            if (qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString() ==
                QLatin1String("Paused"))
                m_session.send(playerCall(player, QStringLiteral("Play")));
        });
    }
}

void MediaPause::playNow(const QStringList &players)
{
    for (const QString &player : players) {
        const QDBusMessage reply = m_session.call(statusCall(player), QDBus::Block, EndingWaitMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString() == QLatin1String("Paused"))
            m_session.call(playerCall(player, QStringLiteral("Play")), QDBus::Block, EndingWaitMs);
    }
}
