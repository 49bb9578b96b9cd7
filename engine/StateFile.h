#pragma once

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

} // namespace StateFile
