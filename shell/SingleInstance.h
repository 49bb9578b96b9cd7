#pragma once

#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>

class QLocalServer;

// One running copy per user. The first copy holds a lock file and listens for
// a second start; a second start asks the running copy to show its clock and
// ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    SingleInstance();
    ~SingleInstance() override;

    // False when another copy runs and this one must end. A copy started with
    // "restart" first waits a few seconds for the old copy's lock.
    bool Start(bool restart);

    // Called in the running copy when a second start asks for the clock.
    void OnShowRequest(std::function<void()> handler);

private:
    static QString LockPath();
    static QString ServerPath();

    void listen();

    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
    std::function<void()> m_showRequest;
};
