#include "service/SingleInstance.h"

#include "interchange/InputLimits.h"
#include "platform/FileKind.h"
#include "platform/PrivateFolder.h"
#include "service/AlarmCommands.h"

#include <QChildEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

#include <unistd.h>

namespace {

constexpr int RestartWaitMs = 5000;
// How long a second start waits for a copy that holds the lock but does not
// answer yet: one still starting (two starts at login) or a command at work.
constexpr int BusyWaitMs = 5000;
constexpr int PollMs = 100;
// How long a command keeps trying to reach a copy whose socket takes no
// connection yet: it serves MaxConnections at once and lets an idle one go
// after RequestWaitMs, so a place comes free within that.
constexpr int BusySocketMs = 2 * SingleInstance::RequestWaitMs + 1000;
// How long a command tries to take its marker from someone looking at it.
constexpr int MarkerWaitMs = 1000;
// Qt takes in this many beyond what is served before it leaves the rest to
// the kernel's backlog (a few more, the way it counts).
constexpr int QueuedConnections = 1;
// What is read from a connection at a time.
constexpr qint64 ReadChunk = 64 * 1024;
const QByteArray ShowRequest = QByteArrayLiteral("show\n");
const QByteArray CommandRequest = QByteArrayLiteral("command ");
const QString LockName = QStringLiteral("tockwise.lock");
const QString CommandMarkerName = QStringLiteral("tockwise.command.lock");
const QString SocketName = QStringLiteral("tockwise.socket");

// Qt's local server stops listening for good when accepting fails (no
// descriptor left), removes its socket and tells no one. The notifier it
// lets go of then is its child, so a child leaving is the moment to look.
class WatchedServer final : public QLocalServer
{
public:
    WatchedServer(QObject *parent, std::function<void()> childGone)
        : QLocalServer(parent)
        , m_childGone(std::move(childGone))
    {}

protected:
    void childEvent(QChildEvent *event) override
    {
        QLocalServer::childEvent(event);
        if (event->removed() && m_childGone)
            m_childGone();
    }

private:
    std::function<void()> m_childGone;
};

// $XDG_CACHE_HOME/tockwise, the user's own with mode 0700 (made so where
// missing). Not the runtime folder Qt offers without XDG_RUNTIME_DIR: that
// lies in the shared temporary folder, where another user may take its name.
QString cacheFolderPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("tockwise"));
}

QString cacheFolder(bool create)
{
    const QString folder = cacheFolderPath();
    if (create)
        return PrivateFolder::Make(folder);
    return PrivateFolder::IsPrivate(folder) ? folder : QString();
}

// Why no folder could hold the lock, until the start that found out says so.
QString &runtimeFolderProblem()
{
    static QString problem;
    return problem;
}

// Only a folder no other user can write to may hold the lock and the socket:
// anyone who could plant a lock there could keep this user's clock from ever
// starting.
QString chooseRuntimeFolder()
{
    // A relative value would name another folder in every working folder, and
    // so another lock: the base directory rules say to ignore it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && PrivateFolder::IsPrivate(runtime))
        return runtime;
    const QString folder = cacheFolder(true);
    if (!folder.isEmpty())
        return folder;
    runtimeFolderProblem() = QStringLiteral("%1 is not a folder of your own that only you can open, so it cannot "
                                            "hold the lock that keeps Tockwise to one copy. Tockwise does not start.")
                                 .arg(QDir::toNativeSeparators(cacheFolderPath()));
    return {};
}

// Empty when there is no safe folder; then no lock can be taken and the
// program ends.
QString runtimeFolder()
{
    static const QString folder = chooseRuntimeFolder();
    return folder;
}

} // namespace

SingleInstance::SingleInstance()
    : m_lock(std::make_unique<InstanceLock>())
{}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockPath()
{
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(LockName);
}

// Where the running copy listens, in the order tried: the lock's folder, and
// where that path is too long for a socket address or its name is taken by
// something else, the private cache folder.
QStringList SingleInstance::ServerPaths(bool create)
{
    QStringList paths;
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return paths;
    const QString fallback = cacheFolder(create);
    for (const QString &candidate : {folder, fallback}) {
        const QString path = QDir(candidate).filePath(SocketName);
        if (!candidate.isEmpty() && !paths.contains(path) && PrivateFolder::FitsSocketAddress(path))
            paths.append(path);
    }
    return paths;
}

InstanceLock::Take SingleInstance::takeLock(QString *why)
{
    const QString path = LockPath();
    if (path.isEmpty()) {
        *why = QString(); // the folder's problem, told by Start
        return InstanceLock::Take::Unusable;
    }
    return m_lock->TryTake(path, why);
}

bool SingleInstance::askRunningCopy()
{
    for (const QString &path : ServerPaths(false)) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(1000))
            continue;
        socket.write(ShowRequest);
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
        return true;
    }
    return false;
}

bool SingleInstance::refuse(const QString &message)
{
    m_exitCode = 1;
    if (message.isEmpty())
        return false;
    qCritical("Tockwise: %s", qPrintable(message));
    emit CannotRun(message);
    return false;
}

bool SingleInstance::Start(bool restart)
{
    QString why;
    // A copy started with "restart" gives the copy that launched it a few
    // seconds to let go of the lock; any other start asks a running copy at
    // once, and waits a few seconds only for one that does not answer yet.
    // A held lock is never taken over: that is a live copy.
    const QDeadlineTimer lockWait(restart ? RestartWaitMs : 0);
    QDeadlineTimer answerWait(restart ? RestartWaitMs + BusyWaitMs : BusyWaitMs);
    const QDeadlineTimer quietWait(BusyWaitMs);
    bool toldWaiting = false;
    for (;;) {
        switch (takeLock(&why)) {
        case InstanceLock::Take::Taken:
            listen();
            return true;
        case InstanceLock::Take::Unusable:
            return refuse(why.isEmpty() ? std::exchange(runtimeFolderProblem(), QString())
                                        : QStringLiteral("%1 cannot be used as the lock that keeps Tockwise to one "
                                                         "copy: %2. Remove it and start Tockwise again.")
                                              .arg(QDir::toNativeSeparators(LockPath()), why));
        case InstanceLock::Take::Held:
            break;
        }
        // Another copy runs (perhaps hidden, and not every desktop has a tray
        // to bring it back from): it shows its clock, and this copy ends.
        if (lockWait.hasExpired() && askRunningCopy()) {
            m_exitCode = 0;
            return false;
        }
        // A command with no clock running (a sync, an import, a change of the
        // table) holds the lock for as long as it works: the clock starts when
        // it is done, however long that is. Only a holder that is no command
        // gets the few seconds.
        if (CommandHoldsLock()) {
            if (answerWait.remainingTime() < BusyWaitMs)
                answerWait.setRemainingTime(BusyWaitMs);
            // Said once, and only when it takes a while, so that one who
            // started it from a terminal knows why nothing comes yet.
            if (!toldWaiting && quietWait.hasExpired()) {
                toldWaiting = true;
                qInfo("Tockwise: a command holds %s; the clock starts when it is done.",
                      qPrintable(QDir::toNativeSeparators(LockPath())));
            }
        } else if (answerWait.hasExpired()) {
            break;
        }
        QThread::msleep(PollMs);
    }
    return refuse(QStringLiteral("Another copy of Tockwise holds %1 but does not answer. End it, or wait for it "
                                 "to finish starting, and start Tockwise again.")
                      .arg(QDir::toNativeSeparators(LockPath())));
}

void SingleInstance::OnShowRequest(std::function<void()> handler)
{
    m_showRequest = std::move(handler);
}

void SingleInstance::OnCommand(std::function<QByteArray(const QByteArray &)> handler)
{
    m_command = [handler = std::move(handler)](const QByteArray &request, Answerer answer) {
        answer(handler(request));
    };
}

void SingleInstance::OnCommandAnswerLater(std::function<void(const QByteArray &, Answerer)> handler)
{
    m_command = std::move(handler);
}

// Every private folder a clock may have put its lock in: the runtime folder
// of its session (also where a cron job, which has no XDG_RUNTIME_DIR, does
// not look by itself) and the private cache folder.
QStringList SingleInstance::CommandFolders()
{
    QStringList folders;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString candidates[] = {
        QDir::isAbsolutePath(runtime) ? runtime : QString(),
        QStringLiteral("/run/user/%1").arg(::getuid()),
        cacheFolder(false),
    };
    for (const QString &folder : candidates) {
        if (!folder.isEmpty() && !folders.contains(folder) && PrivateFolder::IsPrivate(folder))
            folders.append(folder);
    }
    return folders;
}

SingleInstance::Answer SingleInstance::Ask(const QByteArray &request, QByteArray *reply, int answerMs)
{
    for (const QString &folder : CommandFolders()) {
        const QString path = QDir(folder).filePath(SocketName);
        if (FileKind::OfEntry(path) != FileKind::Kind::Socket)
            continue;
        QLocalSocket socket;
        // A socket no one listens at is refused at once; one that takes no
        // connection yet belongs to a copy serving others, which it lets go
        // of within seconds.
        const QDeadlineTimer busy(BusySocketMs);
        socket.connectToServer(path);
        while (!socket.waitForConnected(1000)) {
            const QLocalSocket::LocalSocketError error = socket.error();
            socket.abort();
            if (error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError ||
                busy.hasExpired())
                break;
            socket.connectToServer(path);
        }
        if (socket.state() != QLocalSocket::ConnectedState)
            continue;
        socket.write(CommandRequest + request + '\n');
        const QDeadlineTimer deadline(answerMs);
        QByteArray received;
        while (!received.contains('\n') && !deadline.hasExpired()) {
            if (!socket.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 1000))) &&
                socket.state() != QLocalSocket::ConnectedState)
                break;
            received += socket.readAll();
        }
        received += socket.readAll();
        if (!received.contains('\n'))
            return Answer::NoAnswer;
        *reply = received.left(received.indexOf('\n'));
        return Answer::Answered;
    }
    return Answer::NoCopy;
}

InstanceLock::Take SingleInstance::TakeCommandLocks(std::vector<std::unique_ptr<InstanceLock>> *locks, QString *why)
{
    QStringList folders = CommandFolders();
    // The folder this environment's clock would take the lock in.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString own = !runtime.isEmpty() && QDir::isAbsolutePath(runtime) && PrivateFolder::IsPrivate(runtime)
                            ? runtime
                            : cacheFolder(true);
    if (own.isEmpty()) {
        *why = QStringLiteral("%1 is not a folder of your own that only you can open")
                   .arg(QDir::toNativeSeparators(cacheFolderPath()));
        return InstanceLock::Take::Unusable;
    }
    if (!folders.contains(own))
        folders.append(own);
    for (const QString &folder : folders) {
        auto lock = std::make_unique<InstanceLock>();
        const QString path = QDir(folder).filePath(LockName);
        const InstanceLock::Take take = lock->TryTake(path, why);
        if (take == InstanceLock::Take::Unusable)
            *why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), *why);
        if (take != InstanceLock::Take::Taken) {
            locks->clear();
            return take;
        }
        locks->push_back(std::move(lock));
    }
    // The markers go with the locks. One a command cannot take (someone
    // looking holds it longer than an instant, or it is no file) only costs
    // the wait: a clock starting meanwhile then gives up after its few
    // seconds, as for a copy that hangs.
    for (const QString &folder : folders) {
        auto marker = std::make_unique<InstanceLock>();
        const QString path = QDir(folder).filePath(CommandMarkerName);
        const QDeadlineTimer deadline(MarkerWaitMs);
        QString ignored;
        InstanceLock::Take take;
        while ((take = marker->TryTake(path, &ignored)) == InstanceLock::Take::Held && !deadline.hasExpired())
            QThread::msleep(1);
        if (take == InstanceLock::Take::Taken)
            locks->push_back(std::move(marker));
    }
    return InstanceLock::Take::Taken;
}

bool SingleInstance::CommandHoldsLock()
{
    const QStringList folders = CommandFolders();
    return std::any_of(folders.begin(), folders.end(), [](const QString &folder) {
        return InstanceLock::IsHeld(QDir(folder).filePath(CommandMarkerName));
    });
}

void SingleInstance::listen()
{
    m_reopen = new QTimer(this);
    m_reopen->setInterval(ReopenMs);
    connect(m_reopen, &QTimer::timeout, this, &SingleInstance::reopenSocket);
    m_listened = openSocket(true);
}

bool SingleInstance::openSocket(bool report)
{
    delete m_server; // Qt's server once broken keeps its queue and no notifier
    m_server = new WatchedServer(this, [this] { watchSocket(); });
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(QueuedConnections);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::takeConnections);
    const QStringList paths = ServerPaths(true);
    for (const QString &path : paths) {
        if (m_server->listen(path))
            return true;
        // A socket left by a crash, or by the copy this one restarts, is ours
        // to replace; anything else that took the name is left alone.
        const FileKind::Kind kind = FileKind::OfEntry(path);
        if (kind != FileKind::Kind::Absent && kind != FileKind::Kind::Socket)
            continue;
        QLocalServer::removeServer(path);
        if (m_server->listen(path))
            return true;
    }
    if (report)
        qWarning("Tockwise: no socket could be opened for a second start to reach this clock (tried: %s); "
                 "a second start cannot bring it up.",
                 qPrintable(paths.isEmpty() ? QStringLiteral("none fits a socket address")
                                            : paths.join(QStringLiteral(", "))));
    return false;
}

// Called whenever a child of the server leaves (its notifier, a connection
// handed on): cheap, and the only sign that the socket broke.
void SingleInstance::watchSocket()
{
    if (!m_listened || m_server->isListening() || m_reopen->isActive())
        return;
    qWarning("Tockwise: the socket commands and a second start reach this clock through failed (%s); it is "
             "opened again as soon as it can be.",
             qPrintable(m_server->errorString()));
    m_reopen->start();
}

void SingleInstance::reopenSocket()
{
    if (!openSocket(false))
        return; // still no descriptor, or the name is taken: the next tick
    m_reopen->stop();
    qInfo("Tockwise: the socket for commands and a second start is open again.");
}

void SingleInstance::takeConnections()
{
    while (m_connections < MaxConnections && m_server->isListening()) {
        QLocalSocket *socket = m_server->nextPendingConnection();
        if (!socket)
            return;
        serve(socket);
    }
}

void SingleInstance::serve(QLocalSocket *socket)
{
    ++m_connections;
    // Its own, not the server's: a broken server is replaced, its connections
    // go on.
    socket->setParent(this);
    socket->setReadBufferSize(ReadChunk);
    connect(socket, &QObject::destroyed, this, [this] {
        --m_connections;
        // A descriptor came free: the moment a broken socket can be opened.
        if (m_reopen->isActive())
            reopenSocket();
        else
            takeConnections();
    });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Until the whole request is in. A command answered later (a sync) keeps
    // its connection for as long as that takes.
    auto *wait = new QTimer(socket);
    wait->setSingleShot(true);
    connect(wait, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    wait->start(RequestWaitMs);
    // A request is one line: "show", or a command and its words.
    auto received = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, received, wait] {
        if (!wait->isActive()) {
            socket->readAll(); // one request per connection: the rest is dropped
            return;
        }
        // Never more than one byte past the limit: enough to know it is passed.
        while (socket->bytesAvailable() > 0 && received->size() <= InputLimits::RequestBytes)
            *received += socket->read(InputLimits::RequestBytes + 1 - received->size());
        if (received->startsWith(ShowRequest.trimmed()) && !received->startsWith(CommandRequest)) {
            wait->stop();
            if (m_showRequest)
                m_showRequest();
            socket->disconnectFromServer();
            return;
        }
        const qsizetype end = received->indexOf('\n');
        if (end < 0 && received->size() > InputLimits::RequestBytes) {
            // Refused, and said so to a command, which shows it.
            wait->stop();
            const bool command = received->startsWith(CommandRequest);
            *received = QByteArray();
            if (command) {
                AlarmCommands::Reply refused;
                refused.status = 1;
                refused.err =
                    QStringLiteral("tockwise: the command is larger than the %1 MiB the running clock takes\n")
                        .arg(InputLimits::RequestBytes / (1024 * 1024))
                        .toUtf8();
                socket->write(AlarmCommands::EncodeReply(refused) + '\n');
            }
            socket->disconnectFromServer();
            return;
        }
        if (end < 0 &&
            (CommandRequest.startsWith(received->left(CommandRequest.size())) || ShowRequest.startsWith(*received)))
            return; // the rest of the line is on its way
        wait->stop();
        if (end >= 0 && received->startsWith(CommandRequest) && m_command) {
            const QByteArray request = received->mid(CommandRequest.size(), end - CommandRequest.size());
            *received = QByteArray(); // its memory too
            QPointer<QLocalSocket> to(socket);
            m_command(request, [to](const QByteArray &reply) {
                if (!to)
                    return; // the asker gave up
                to->write(reply + '\n');
                to->disconnectFromServer();
            });
            return;
        }
        socket->disconnectFromServer();
    });
}
