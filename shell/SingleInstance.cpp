#include "shell/SingleInstance.h"

#include "ui/Dialogs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#else
#include <QLockFile>
#endif

namespace {

constexpr int RestartWaitMs = 5000;
// How long a second start waits for a copy that holds the lock but does not
// answer yet: one still starting (two starts at login) or a command at work.
constexpr int BusyWaitMs = 5000;
constexpr int PollMs = 100;
const QByteArray ShowRequest = QByteArrayLiteral("show\n");
const QString LockName = QStringLiteral("tockwise.lock");
const QString SocketName = QStringLiteral("tockwise.socket");

#ifdef Q_OS_UNIX
// Only a folder no other user can write to may hold the lock and the socket:
// anyone who could plant a lock there could keep this user's clock from ever
// starting.
bool isPrivateFolder(const QString &folder)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

// $XDG_CACHE_HOME/tockwise, made (or put back) to mode 0700 when it is ours.
// Not the runtime folder Qt offers without XDG_RUNTIME_DIR: that lies in the
// shared temporary folder, where another user may take its name.
QString cacheFolder(bool create)
{
    const QString folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                               .filePath(QStringLiteral("tockwise"));
    if (create) {
        QDir().mkpath(QFileInfo(folder).path());
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        struct stat info = {};
        const QByteArray native = QFile::encodeName(folder);
        if (::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
            (info.st_mode & 0777) != 0700)
            ::chmod(native.constData(), 0700);
    }
    return isPrivateFolder(folder) ? folder : QString();
}

// A socket address holds a path of limited length; a deep runtime folder can
// exceed it.
bool fitsSocketAddress(const QString &path)
{
    return QFile::encodeName(path).size() < qsizetype(sizeof(sockaddr_un{}.sun_path));
}

QString chooseRuntimeFolder()
{
    // A relative value would name another folder in every working folder, and
    // so another lock: the base directory rules say to ignore it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime))
        return runtime;
    const QString folder = cacheFolder(true);
    if (!folder.isEmpty())
        return folder;
    const QString shown = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
                              .filePath(QStringLiteral("tockwise"));
    const QString message = QStringLiteral("%1 is not a folder of your own that only you can open, so it cannot "
                                           "hold the lock that keeps Tockwise to one copy. Tockwise does not start.")
                                .arg(QDir::toNativeSeparators(shown));
    qCritical("Tockwise: %s", qPrintable(message));
    Dialogs::ShowError(nullptr, message);
    return {};
}
#else
QString chooseRuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(folder);
    return folder;
}
#endif

bool isSocketOrAbsent(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) != 0 || S_ISSOCK(info.st_mode);
#else
    Q_UNUSED(path)
    return true;
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

#ifdef Q_OS_UNIX
// A lock the kernel holds for this process and lets go of when it ends, however
// it ends: what the file says (a process number, or nothing after a power cut)
// never decides who holds it.
class SingleInstance::Lock
{
public:
    ~Lock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    Take take(const QString &path, QString *why)
    {
        const QByteArray native = QFile::encodeName(path);
        // Not blocking: a pipe put there must not stop the start.
        int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0 && errno == EACCES) {
            // A lock of our own that we may not open (its mode changed): it
            // lies in our private folder, so it is ours to mend.
            struct stat info = {};
            if (::lstat(native.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
                ::chmod(native.constData(), 0600) == 0)
                fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        }
        if (fd < 0) {
            *why = errno == ELOOP ? QStringLiteral("it is a link") : QString::fromLocal8Bit(std::strerror(errno));
            return Take::Unusable;
        }
        struct stat info = {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            *why = S_ISREG(info.st_mode) ? QStringLiteral("it belongs to another user")
                                         : QStringLiteral("it is not a plain file");
            ::close(fd);
            return Take::Unusable;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return Take::Held;
            *why = QString::fromLocal8Bit(std::strerror(error));
            return Take::Unusable;
        }
        // The process number is only for people looking at the file.
        const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(fd, 0) == 0) [[maybe_unused]]
            const ssize_t written = ::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
        m_fd = fd;
        return Take::Taken;
    }

private:
    int m_fd = -1;
};
#else
class SingleInstance::Lock
{
public:
    Take take(const QString &path, QString *why)
    {
        if (!m_file)
            m_file = std::make_unique<QLockFile>(path);
        if (m_file->tryLock(0))
            return Take::Taken;
        if (m_file->error() == QLockFile::LockFailedError)
            return Take::Held;
        *why = QStringLiteral("it cannot be created");
        return Take::Unusable;
    }

private:
    std::unique_ptr<QLockFile> m_file;
};
#endif

SingleInstance::SingleInstance()
    : m_lock(std::make_unique<Lock>())
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
    paths.append(QDir(folder).filePath(SocketName));
#ifdef Q_OS_UNIX
    if (!fitsSocketAddress(paths.first()))
        paths.removeFirst();
    const QString fallback = cacheFolder(create);
    if (!fallback.isEmpty() && fallback != folder) {
        const QString path = QDir(fallback).filePath(SocketName);
        if (fitsSocketAddress(path))
            paths.append(path);
    }
#else
    Q_UNUSED(create)
#endif
    return paths;
}

SingleInstance::Take SingleInstance::takeLock(QString *why)
{
    const QString path = LockPath();
    if (path.isEmpty()) {
        *why = QString(); // already reported
        return Take::Unusable;
    }
    return m_lock->take(path, why);
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
    Dialogs::ShowError(nullptr, message);
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
    const QDeadlineTimer answerWait(restart ? RestartWaitMs + BusyWaitMs : BusyWaitMs);
    for (;;) {
        switch (takeLock(&why)) {
        case Take::Taken:
            listen();
            return true;
        case Take::Unusable:
            return refuse(why.isEmpty() ? QString()
                                        : QStringLiteral("%1 cannot be used as the lock that keeps Tockwise to one "
                                                         "copy: %2. Remove it and start Tockwise again.")
                                              .arg(QDir::toNativeSeparators(LockPath()), why));
        case Take::Held:
            break;
        }
        // Another copy runs (perhaps hidden, and not every desktop has a tray
        // to bring it back from): it shows its clock, and this copy ends.
        if (lockWait.hasExpired() && askRunningCopy()) {
            m_exitCode = 0;
            return false;
        }
        if (answerWait.hasExpired())
            break;
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

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    bool listening = false;
    const QStringList paths = ServerPaths(true);
    for (const QString &path : paths) {
        if (m_server->listen(path)) {
            listening = true;
            break;
        }
        // A socket left by a crash, or by the copy this one restarts, is ours
        // to replace; anything else that took the name is left alone.
        if (!isSocketOrAbsent(path))
            continue;
        QLocalServer::removeServer(path);
        if (m_server->listen(path)) {
            listening = true;
            break;
        }
    }
    if (!listening)
        qWarning("Tockwise: no socket could be opened for a second start to reach this clock (tried: %s); "
                 "a second start cannot bring it up.",
                 qPrintable(paths.isEmpty() ? QStringLiteral("none fits a socket address")
                                            : paths.join(QStringLiteral(", "))));
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
