#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The small per-user files beside the alarm table (alarm identities, pending
// snoozes): lines of text, read whole and replaced atomically, so a crash
// leaves the old file or the new one, never a mix. An empty path keeps
// nothing on disk (tests).
namespace StateFile {

// The file's lines; none when it does not exist. False, with the reason, when
// it exists but cannot be read (then it must not be replaced by less).
bool ReadLines(const QString &path, QStringList *lines, QString *error = nullptr);
bool WriteLines(const QString &path, const QStringList &lines, QString *error = nullptr);

// Replaces the file at path by contents as a whole (written beside, then
// renamed into place), making its folder where needed. A symbolic link at the
// path is replaced by a plain file of our own and what it points to is left
// alone: a stray link must not let us cut a file that is not ours. A folder,
// a pipe or a device there is refused. False, with the reason (the path not
// named), when nothing was replaced.
bool Replace(const QString &path, const QByteArray &contents, QString *reason = nullptr);

} // namespace StateFile
