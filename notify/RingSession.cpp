#include "notify/RingSession.h"

#include <QCoreApplication>

RingSession &RingSession::Instance()
{
    static RingSession *session = [] {
        auto *s = new RingSession();
        // A program that quits with a notification open ends its ring too,
        // so that what was changed for it is put back.
        if (QCoreApplication *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, s, &RingSession::EndAll);
        return s;
    }();
    return *session;
}

void RingSession::Begin(QObject *notification, const QString &alarmName)
{
    if (!notification || m_ringing.contains(notification))
        return;
    m_ringing.append(notification);
    // A window deleted without closing (the program tearing down) ends its ring.
    connect(notification, &QObject::destroyed, this, &RingSession::forget);
    if (m_ringing.size() == 1)
        emit Started(alarmName);
    emit NotificationStarted(notification);
}

void RingSession::End(QObject *notification)
{
    if (!m_ringing.contains(notification))
        return;
    disconnect(notification, &QObject::destroyed, this, &RingSession::forget);
    forget(notification);
}

void RingSession::forget(QObject *notification)
{
    if (m_ringing.removeAll(notification) == 0)
        return;
    emit NotificationEnded(notification);
    if (m_ringing.isEmpty())
        emit Ended(false);
}

void RingSession::EndAll()
{
    if (m_ringing.isEmpty())
        return;
    for (QObject *notification : std::as_const(m_ringing))
        disconnect(notification, &QObject::destroyed, this, &RingSession::forget);
    m_ringing.clear();
    emit Ended(true);
}
