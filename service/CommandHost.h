#pragma once

#include "service/AlarmCommands.h"

#include <QObject>

#include <functional>

// The running clock's side of the commands: what the local socket and D-Bus
// ask for goes through here, refused while the shell says the table is the
// user's (the alarm editor or a question is open). What the windows must
// follow is said by signals the shell connects.
class CommandHost : public QObject
{
    Q_OBJECT

public:
    CommandHost();
    ~CommandHost() override;

    // Why the table may not be changed from outside right now, empty when it
    // may; with none set it always may.
    using BusyCheck = std::function<QString()>;
    void SetBusyCheck(BusyCheck busy);
    // How the running clock's notifications are snoozed and dismissed;
    // withdrawn again when the host goes.
    void SetNotificationActions(const AlarmCommands::NotificationActions &actions);

    AlarmCommands::Reply Run(const QStringList &words, const QByteArray &input = {});

    QString BusyReason() const;
    // The table changed from outside: whoever shows it and the bus follow.
    void TableChanged();

signals:
    void AlarmsChanged();
    // "Alarm Volume" was set (percent, 0 for off).
    void AlarmVolumeChanged(int percent);
    // "Wake from suspend" was set.
    void WakeFromSuspendChanged(bool on);

private:
    BusyCheck m_busy;
};
