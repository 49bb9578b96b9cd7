#include "engine/StateFile.h"

#include "platform/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace StateFile {

namespace {
// Far more than any of these files holds; a larger one is not ours.
constexpr qint64 MaxSize = 16 * 1024 * 1024;
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
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    QByteArray text;
    for (const QString &line : lines)
        text += line.toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("%1 cannot be saved: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

} // namespace StateFile
