#include "shell/SingleInstance.h"

#include "ui/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int RestartWaitMs = 5000;
const QByteArray ShowRequest = QByteArrayLiteral("show\n");

// Only a folder no other user can write to may hold the lock and the socket:
// anyone who could plant a lock there could keep this user's clock from ever
// starting.
bool isPrivateFolder(const QString &folder)
{
#ifdef Q_OS_UNIX
    struct stat info = {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
#else
    return QFileInfo(folder).isDir();
#endif
}

QString chooseRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
#ifdef Q_OS_UNIX
    // Not the runtime folder Qt offers without XDG_RUNTIME_DIR: that lies in
    // the shared temporary folder, where another user may take its name.
    const QString folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                               .filePath(QStringLiteral("tockwise"));
    const QString parent = QFileInfo(folder).path();
    QDir().mkpath(parent);
    QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    struct stat info = {};
    const QByteArray native = QFile::encodeName(folder);
    if (::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
        (info.st_mode & 0777) != 0700)
        ::chmod(native.constData(), 0700);
    if (isPrivateFolder(folder))
        return folder;
    const QString message = QStringLiteral("%1 is not a folder of your own that only you can open, so it cannot "
                                           "hold the lock that keeps Tockwise to one copy. Tockwise does not start.")
                                .arg(QDir::toNativeSeparators(folder));
    qCritical("Tockwise: %s", qPrintable(message));
    Dialogs::ShowError(nullptr, message);
    return {};
#else
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(folder);
    return folder;
#endif
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
    : m_lock(LockPath())
{
    // A lock left behind by a copy that crashed names a process that no longer
    // exists; such a lock is taken over at once.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockPath()
{
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("tockwise.lock"));
}

QString SingleInstance::ServerPath()
{
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("tockwise.socket"));
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
