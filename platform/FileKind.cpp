#include "platform/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

namespace FileKind {

#ifdef Q_OS_LINUX
namespace {
Kind kindOf(int result, const struct stat &info)
{
    if (result != 0)
        return Kind::Absent;
    if (S_ISREG(info.st_mode))
        return Kind::Regular;
    if (S_ISDIR(info.st_mode))
        return Kind::Folder;
    if (S_ISSOCK(info.st_mode))
        return Kind::Socket;
    return Kind::Other;
}
} // namespace

Kind Of(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    const Kind kind = kindOf(::stat(native.constData(), &info), info);
    if (kind == Kind::Absent && ::lstat(native.constData(), &info) == 0)
        return Kind::DanglingLink;
    return kind;
}

Kind OfEntry(const QString &path)
{
    struct stat info = {};
    const int result = ::lstat(QFile::encodeName(path).constData(), &info);
    if (result == 0 && S_ISLNK(info.st_mode))
        return Kind::Other;
    return kindOf(result, info);
}

bool IsSystemInstalled(const QString &path)
{
    return QFileInfo(path).absoluteFilePath().startsWith(QLatin1String("/usr/"));
}

QString NativeSettingsFile(const QString &application)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(application + QStringLiteral(".conf"));
}
#else
Kind Of(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? Kind::DanglingLink : Kind::Absent;
    if (info.isDir())
        return Kind::Folder;
    return info.isFile() ? Kind::Regular : Kind::Other;
}

Kind OfEntry(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return Kind::Other;
    return Of(path);
}

bool IsSystemInstalled(const QString &)
{
    return false;
}

QString NativeSettingsFile(const QString &)
{
    return QString();
}
#endif

} // namespace FileKind
