#pragma once

#include <QDBusAbstractInterface>
#include <QDBusConnection>

// The system's session manager (logind) says when the computer goes to sleep
// and when it wakes; where none runs this never says anything.
class ResumeWatch : public QDBusAbstractInterface
{
    Q_OBJECT

public:
    explicit ResumeWatch(QObject *parent = nullptr)
        : QDBusAbstractInterface(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                 "org.freedesktop.login1.Manager", QDBusConnection::systemBus(), parent)
    {}

signals:
    // start: going to sleep (true) or awake again (false).
    void PrepareForSleep(bool start);
};
