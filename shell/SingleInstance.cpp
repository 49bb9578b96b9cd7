#include "shell/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int RestartWaitMs = 5000;
const QByteArray ShowRequest = QByteArrayLiteral("show\n");

QString runtimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

} // namespace

SingleInstance::SingleInstance()
    : m_lock(LockPath())
{
    // A lock left behind by a copy that crashed names a process that no longer
    // exists; such a lock is taken over at once.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockPath()
{
    return QDir(runtimeFolder()).filePath(QStringLiteral("tockwise.lock"));
}

QString SingleInstance::ServerPath()
{
    return QDir(runtimeFolder()).filePath(QStringLiteral("tockwise.socket"));
}

bool SingleInstance::Start(bool restart)
{
    // A copy started with "restart" gives the copy that launched it a few
    // seconds to let go of the lock.
    if (m_lock.tryLock(restart ? RestartWaitMs : 0)) {
        listen();
        return true;
    }
    // Another copy runs (perhaps hidden, and not every desktop has a tray to
    // bring it back from): it shows its clock, and this copy ends.
    QLocalSocket socket;
    socket.connectToServer(ServerPath());
    if (socket.waitForConnected(1000)) {
        socket.write(ShowRequest);
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
    }
    return false;
}

void SingleInstance::OnShowRequest(std::function<void()> handler)
{
    m_showRequest = std::move(handler);
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(ServerPath())) {
        // A socket file left by a crash, or by the copy this one restarts.
        QLocalServer::removeServer(ServerPath());
        m_server->listen(ServerPath());
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().startsWith(ShowRequest.trimmed()) && m_showRequest)
                    m_showRequest();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}
