#include "engine/StateFile.h"

#include "platform/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace StateFile {

namespace {
// Far more than any of these files holds; a larger one is not ours.
constexpr qint64 MaxSize = 16 * 1024 * 1024;

bool refuse(QString *reason, const QString &why)
{
    if (reason)
        *reason = why;
    return false;
}

// Whole or not at all: QSaveFile writes beside, syncs and renames, and never
// falls back to writing in place.
bool saveWhole(const QString &path, const QByteArray &contents, QString *reason)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return refuse(reason, file.errorString());
    if (file.write(contents) != contents.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return refuse(reason, why);
    }
    if (!file.commit())
        return refuse(reason, file.errorString());
    return true;
}
} // namespace

bool ReadLines(const QString &path, QStringList *lines, QString *error)
{
    lines->clear();
    if (path.isEmpty())
        return true;
    const FileKind::Kind kind = FileKind::Of(path);
    if (kind == FileKind::Kind::Absent)
        return true;
    QFile file(path);
    if (kind != FileKind::Kind::Regular || QFileInfo(path).size() > MaxSize || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1 cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), kind != FileKind::Kind::Regular
                                                                  ? QStringLiteral("it is not a plain file")
                                                                  : file.errorString());
        return false;
    }
    const QString text = QString::fromUtf8(file.read(MaxSize));
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines->append(line);
    return true;
}

bool WriteLines(const QString &path, const QStringList &lines, QString *error)
{
    if (path.isEmpty())
        return true;
    QByteArray text;
    for (const QString &line : lines)
        text += line.toUtf8() + '\n';
    QString reason;
    if (!Replace(path, text, &reason)) {
        if (error)
            *error = QStringLiteral("%1 cannot be saved: %2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    return true;
}

bool Replace(const QString &path, const QByteArray &contents, QString *reason)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return refuse(reason, QStringLiteral("its folder cannot be made"));
    if (!info.isSymbolicLink()) {
        const FileKind::Kind kind = FileKind::OfEntry(path);
        if (kind != FileKind::Kind::Absent && kind != FileKind::Kind::Regular)
            return refuse(reason, QStringLiteral("it is not a plain file"));
        return saveWhole(path, contents, reason);
    }
    // QSaveFile resolves a link and replaces its target. So the new file is
    // made whole under a fresh name in the same folder (one file system) and
    // renamed over the link, which replaces the link itself.
    QTemporaryFile fresh(info.absolutePath() + QLatin1Char('/') + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!fresh.open())
        return refuse(reason, fresh.errorString());
    fresh.close();
    if (!saveWhole(fresh.fileName(), contents, reason))
        return false;
    std::error_code failure;
    std::filesystem::rename(std::filesystem::path(fresh.fileName().toStdU16String()),
                            std::filesystem::path(path.toStdU16String()), failure);
    if (failure)
        return refuse(reason, QString::fromStdString(failure.message()));
    // The fresh name is gone; nothing is left to remove.
    fresh.setAutoRemove(false);
    return true;
}

} // namespace StateFile
