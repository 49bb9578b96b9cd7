#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace PrivateFolder {

#ifdef Q_OS_LINUX
bool IsPrivate(const QString &folder)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

QString Make(const QString &folder)
{
    QDir().mkpath(QFileInfo(folder).path());
    QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    struct stat info = {};
    const QByteArray native = QFile::encodeName(folder);
    if (::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
        (info.st_mode & 0777) != 0700)
        ::chmod(native.constData(), 0700);
    return IsPrivate(folder) ? folder : QString();
}

bool FitsSocketAddress(const QString &path)
{
    return QFile::encodeName(path).size() < qsizetype(sizeof(sockaddr_un{}.sun_path));
}
#else
bool IsPrivate(const QString &folder)
{
    return QFileInfo(folder).isDir();
}

QString Make(const QString &folder)
{
    QDir().mkpath(folder);
    return IsPrivate(folder) ? folder : QString();
}

bool FitsSocketAddress(const QString &)
{
    return true;
}
#endif

} // namespace PrivateFolder
