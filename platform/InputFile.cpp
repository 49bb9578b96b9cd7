#include "platform/InputFile.h"

#include "platform/FileKind.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace InputFile {

namespace {

QString mebibytes(qint64 bytes)
{
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
}

bool readStandardInput(qint64 limit, QByteArray *data, QString *error, int idleMs)
{
#ifdef Q_OS_UNIX
    // A person at a terminal may take their time; a pipe that goes quiet
    // without ending would hold the command for ever.
    const bool terminal = isatty(STDIN_FILENO) != 0;
    QByteArray read;
    char buffer[65536];
    for (;;) {
        if (!terminal) {
            pollfd fd{STDIN_FILENO, POLLIN, 0};
            const int ready = poll(&fd, 1, idleMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0) {
                *error = QStringLiteral("standard input sent nothing for %1 s and did not end").arg(idleMs / 1000);
                return false;
            }
        }
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error =
                QStringLiteral("standard input cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (n == 0)
            break;
        read.append(buffer, n);
        if (read.size() > limit) {
            *error = QStringLiteral("standard input holds more than %1").arg(mebibytes(limit));
            return false;
        }
    }
    *data = read;
    return true;
#else
    Q_UNUSED(idleMs);
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        *error = QStringLiteral("standard input cannot be read: %1").arg(in.errorString());
        return false;
    }
    *data = in.read(limit + 1);
    if (data->size() > limit) {
        *error = QStringLiteral("standard input holds more than %1").arg(mebibytes(limit));
        return false;
    }
    return true;
#endif
}

} // namespace

bool Read(const QString &path, qint64 limit, QByteArray *data, QString *error, int idleMs)
{
    if (path == QLatin1String("-"))
        return readStandardInput(limit, data, error, idleMs);
    switch (FileKind::Of(path)) {
    case FileKind::Kind::Regular:
        break;
    case FileKind::Kind::Absent:
    case FileKind::Kind::DanglingLink:
        *error = QStringLiteral("%1 cannot be read: there is no such file").arg(path);
        return false;
    case FileKind::Kind::Folder:
        *error = QStringLiteral("%1 cannot be read: it is a folder").arg(path);
        return false;
    default:
        *error = QStringLiteral("%1 cannot be read: it is no plain file (a pipe or a device); give - to read "
                                "standard input")
                     .arg(path);
        return false;
    }
    QFile file(path);
#ifdef Q_OS_UNIX
    // Opened without waiting and looked at again: a pipe put in the file's
    // place since the look above must not block the open.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info
    {
    };
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = fd < 0
                     ? QStringLiteral("%1 cannot be read: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)))
                     : QStringLiteral("%1 cannot be read: it is no plain file").arg(path);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
#else
    if (!file.open(QIODevice::ReadOnly)) {
#endif
        *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > limit) {
        *error = QStringLiteral("%1 is larger than the limit of %2").arg(path, mebibytes(limit));
        return false;
    }
    // It may grow while it is read.
    *data = file.read(limit + 1);
    if (data->size() > limit) {
        *error = QStringLiteral("%1 is larger than the limit of %2").arg(path, mebibytes(limit));
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace InputFile
