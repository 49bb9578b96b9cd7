#pragma once

#include "platform/InstanceLock.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QLocalServer;
class QLocalSocket;
class QTimer;

// One running copy per user. The first copy holds a lock and listens for a
// second start; a second start asks the running copy to show its clock and
// ends. A start never ends silently: either a running copy answered it, or it
// says why it cannot run.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    SingleInstance();
    ~SingleInstance() override;

    // False when this copy must end, with ExitCode() telling how: 0 when a
    // running copy answered, 1 when the reason was reported. A copy started
    // with "restart" first waits a few seconds for the old copy's lock.
    bool Start(bool restart);
    int ExitCode() const { return m_exitCode; }

    // Called in the running copy when a second start asks for the clock.
    void OnShowRequest(std::function<void()> handler);
    // Called in the running copy with a command's request line; returns the
    // reply line.
    void OnCommand(std::function<QByteArray(const QByteArray &request)> handler);
    // The same for commands that answer later (a sync waits for the server):
    // the handler calls answer once with the reply line.
    using Answerer = std::function<void(const QByteArray &reply)>;
    void OnCommandAnswerLater(std::function<void(const QByteArray &request, Answerer answer)> handler);

    // A command's way to the running copy, whatever its own environment: it
    // knocks at every folder the lock and the socket may be in. NoCopy when
    // no socket answers the knock.
    enum class Answer { Answered, NoCopy, NoAnswer };
    // A command may import thousands of alarms; the copy answers when they
    // are saved.
    static constexpr int CommandAnswerMs = 60000;
    static Answer Ask(const QByteArray &request, QByteArray *reply, int answerMs = CommandAnswerMs);
    // With no copy running, a command holds the lock in every folder a clock
    // may take it in, so a clock starting meanwhile waits for the command.
    // A command also holds a marker beside each lock for as long, so that a
    // clock or a command finding the lock held can tell a command at work
    // (wait for it, however long) from a copy that hangs.
    static InstanceLock::Take TakeCommandLocks(std::vector<std::unique_ptr<InstanceLock>> *locks, QString *why);
    // True while some command holds the lock through TakeCommandLocks.
    static bool CommandHoldsLock();

    // What the socket takes from outside. A request is one line; one that
    // has not come whole within RequestWaitMs of connecting is let go, so
    // idle connections cannot use up the clock's descriptors.
    static constexpr int RequestWaitMs = 5000;
    // Served at once; more wait in the listen backlog until these end.
    static constexpr int MaxConnections = 64;
    // While the socket is broken (no descriptor left to accept with), how
    // often it is opened again. No timer runs while it is well.
    static constexpr int ReopenMs = 1000;

signals:
    // Why this copy cannot run, said once by Start: for the user to see.
    void CannotRun(const QString &message);

private:
    static QString LockPath();
    static QStringList CommandFolders();
    static QStringList ServerPaths(bool create);

    InstanceLock::Take takeLock(QString *why);
    bool askRunningCopy();
    bool refuse(const QString &message);
    void listen();
    bool openSocket(bool report);
    void watchSocket();
    void reopenSocket();
    void takeConnections();
    void serve(QLocalSocket *socket);

    std::unique_ptr<InstanceLock> m_lock;
    QLocalServer *m_server = nullptr;
    QTimer *m_reopen = nullptr;
    bool m_listened = false;
    int m_connections = 0;
    std::function<void()> m_showRequest;
    std::function<void(const QByteArray &, Answerer)> m_command;
    int m_exitCode = 0;
};
