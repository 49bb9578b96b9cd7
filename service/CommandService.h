#pragma once

#include "service/CommandHost.h"
#include "service/SyncService.h"

#include <QObject>

#include <memory>

class DBusInterface;
class SingleInstance;

// The running clock's command service: the commands that come over the local
// socket and the bus, and the calendar server's schedule, all changing the
// table the same way. Holds no window; what the user must see or the windows
// must follow it says by signals.
class CommandService : public QObject
{
    Q_OBJECT

public:
    CommandService();
    ~CommandService() override;

    CommandHost &Host() { return m_host; }
    SyncService &Sync() { return m_sync; }

    // Answers the commands the socket brings, starts the sync schedule and
    // offers the alarms on the session bus.
    void Start(SingleInstance &instance);

    // A request line from the socket; answer is called once with the reply
    // line (at once, or when a sync has ended).
    void Answer(const QByteArray &request, const std::function<void(const QByteArray &)> &answer);

signals:
    // The clock asked for from the bus.
    void ShowClockRequested();

private:
    CommandHost m_host;
    SyncService m_sync;
    std::unique_ptr<DBusInterface> m_bus;
};
