#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// Keeps the computer awake while the program rings. logind's inhibitor (on the
// system bus) stops a suspend another program asks for, but not the user's own
// request, which is how a desktop's power manager suspends an idle machine; so
// the desktop's own inhibitor is held too, where one answers on the session bus:
// the portal's where a portal runs, else the screen saver's and the power
// manager's. Every call is asynchronous: a bus that does not answer never holds
// up the clock. No bus or no service: nothing changes and nothing is shown.
class RingKeepAwake : public QObject
{
    Q_OBJECT

public:
    explicit RingKeepAwake(QObject *parent = nullptr);

    // The ring began (hold the inhibitors) and ended (release them at once).
    void Hold(const QString &alarmName);
    void Release();

private:
    void holdDesktop(const QString &why, quint64 round);
    void holdCookie(const QString &service, const QString &path, const QString &interface, const QString &why,
                    quint64 round);

    // Connected at the first ring: a clock that never rings opens no system
    // bus connection (nor its memory).
    QDBusConnection m_system{QString()};
    QDBusConnection m_session{QString()};
    // Each ring is a round; an answer that comes after its ring ended is
    // released as it arrives.
    quint64 m_round = 0;
    bool m_holding = false;
    QDBusUnixFileDescriptor m_logind; // the descriptor logind holds the inhibitor by
    QString m_portalRequest;          // the portal's request object
    struct Cookie
    {
        QString service, path, interface;
        quint32 cookie;
    };
    QList<Cookie> m_cookies; // the screen saver's and the power manager's
};
