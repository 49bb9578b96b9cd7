#pragma once

#include "platform/InstanceLock.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QLocalServer;

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
    static InstanceLock::Take TakeCommandLocks(std::vector<std::unique_ptr<InstanceLock>> *locks, QString *why);

private:
    static QString LockPath();
    static QStringList CommandFolders();
    static QStringList ServerPaths(bool create);

    InstanceLock::Take takeLock(QString *why);
    bool askRunningCopy();
    bool refuse(const QString &message);
    void listen();

    std::unique_ptr<InstanceLock> m_lock;
    QLocalServer *m_server = nullptr;
    std::function<void()> m_showRequest;
    std::function<void(const QByteArray &, Answerer)> m_command;
    int m_exitCode = 0;
};
