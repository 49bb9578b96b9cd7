#include "platform/InstanceLock.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QLockFile>
#endif

#ifdef Q_OS_LINUX
struct InstanceLock::Holder
{
    int fd = -1;
    ~Holder()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

InstanceLock::Take InstanceLock::TryTake(const QString &path, QString *why)
{
    const QByteArray native = QFile::encodeName(path);
    // Not blocking: a pipe put there must not stop the start.
    int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0 && errno == EACCES) {
        // A lock of our own that we may not open (its mode changed): it lies
        // in our private folder, so it is ours to mend.
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
    m_holder->fd = fd;
    return Take::Taken;
}

bool InstanceLock::IsHeld(const QString &path)
{
    // Read only and never created: looking leaves no file behind.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info = {};
    bool held = false;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}
#else
struct InstanceLock::Holder
{
    std::unique_ptr<QLockFile> file;
};

InstanceLock::Take InstanceLock::TryTake(const QString &path, QString *why)
{
    if (!m_holder->file)
        m_holder->file = std::make_unique<QLockFile>(path);
    if (m_holder->file->tryLock(0))
        return Take::Taken;
    if (m_holder->file->error() == QLockFile::LockFailedError)
        return Take::Held;
    *why = QStringLiteral("it cannot be created");
    return Take::Unusable;
}

bool InstanceLock::IsHeld(const QString &path)
{
    if (!QFile::exists(path))
        return false;
    QLockFile file(path);
    if (file.tryLock(0)) {
        file.unlock();
        return false;
    }
    return file.error() == QLockFile::LockFailedError;
}
#endif

InstanceLock::InstanceLock()
    : m_holder(std::make_unique<Holder>())
{}

InstanceLock::~InstanceLock() = default;
