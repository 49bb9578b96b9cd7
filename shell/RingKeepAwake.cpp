#include "shell/RingKeepAwake.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const QString Who = QStringLiteral("Tockwise");
const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
// The portal's flags: 4 suspend, 8 idle.
constexpr quint32 PortalSuspendAndIdle = 4 | 8;
} // namespace

RingKeepAwake::RingKeepAwake(QObject *parent)
    : QObject(parent)
{}

void RingKeepAwake::Hold(const QString &alarmName)
{
    if (m_holding)
        return;
    m_holding = true;
    const quint64 round = ++m_round;
    if (!m_system.isConnected())
        m_system = QDBusConnection::systemBus();
    if (!m_session.isConnected())
        m_session = QDBusConnection::sessionBus();
    const QString why = QStringLiteral("The alarm \"%1\" is ringing").arg(alarmName);
    if (m_system.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep:idle") << Who << why << QStringLiteral("block");
        auto *watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, round](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
            // Taken after the ring ended: the descriptor goes out of scope, which
            // releases it.
            if (reply.isValid() && round == m_round && m_holding)
                m_logind = reply.value();
        });
    }
    if (m_session.isConnected())
        holdDesktop(why, round);
}

void RingKeepAwake::holdDesktop(const QString &why, quint64 round)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(PortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                       QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    call << QString() << PortalSuspendAndIdle << QVariantMap{{QStringLiteral("reason"), why}};
    auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, why, round](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (!reply.isValid()) {
            // No portal: the desktop's older interfaces, where they exist.
            if (round == m_round && m_holding) {
                holdCookie(QStringLiteral("org.freedesktop.ScreenSaver"),
                           QStringLiteral("/org/freedesktop/ScreenSaver"),
                           QStringLiteral("org.freedesktop.ScreenSaver"), why, round);
                holdCookie(QStringLiteral("org.freedesktop.PowerManagement.Inhibit"),
                           QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"),
                           QStringLiteral("org.freedesktop.PowerManagement.Inhibit"), why, round);
            }
            return;
        }
        const QString request = reply.value().path();
        if (round == m_round && m_holding) {
            m_portalRequest = request;
        } else {
            m_session.send(QDBusMessage::createMethodCall(
                PortalService, request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        }
    });
}

void RingKeepAwake::holdCookie(const QString &service, const QString &path, const QString &interface,
                               const QString &why, quint64 round)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Inhibit"));
    call << Who << why;
    auto *watcher = new QDBusPendingCallWatcher(m_session.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, service, path, interface, round](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                QDBusPendingReply<quint32> reply = *w;
                if (!reply.isValid())
                    return;
                const Cookie cookie{service, path, interface, reply.value()};
                if (round == m_round && m_holding)
                    m_cookies.append(cookie);
                else
                    m_session.send(QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("UnInhibit"))
                                   << cookie.cookie);
            });
}

void RingKeepAwake::Release()
{
    if (!m_holding)
        return;
    m_holding = false;
    ++m_round;
    // Closing logind's descriptor is what releases its inhibitor.
    m_logind = QDBusUnixFileDescriptor();
    if (!m_portalRequest.isEmpty())
        m_session.send(QDBusMessage::createMethodCall(
            PortalService, m_portalRequest, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
    m_portalRequest.clear();
    for (const Cookie &c : std::as_const(m_cookies))
        m_session.send(QDBusMessage::createMethodCall(c.service, c.path, c.interface, QStringLiteral("UnInhibit"))
                       << c.cookie);
    m_cookies.clear();
}
