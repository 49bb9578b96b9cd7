#pragma once

#include "shell/AlarmCommands.h"

#include <QObject>

// The running clock's side of the commands: what the local socket and D-Bus
// ask for goes through here, refused while the alarm editor or a question is
// open (the table is the user's then), and an open alarm list follows each
// change.
class CommandHost : public QObject
{
    Q_OBJECT

public:
    CommandHost();
    ~CommandHost() override;

    AlarmCommands::Reply Run(const QStringList &words, const QByteArray &input = {});

    // Why the table may not be changed from outside right now, empty when it may.
    static QString BusyReason();
    // The table changed from outside: an open alarm list and the bus follow.
    void TableChanged();

signals:
    void AlarmsChanged();
    // "Alarm Volume" was set (percent, 0 for off).
    void AlarmVolumeChanged(int percent);
};
