#pragma once

#include <QByteArray>
#include <QString>

// A file or standard input read as data to take in (an iCalendar import):
// never more than a limit, never a named pipe or a device that would block or
// read without end, and never a silent pipe waited on for ever.
namespace InputFile {

// Standard input stays silent this long (and is no terminal, where a person
// types) before the read gives up.
inline constexpr int IdleMs = 30000;

// The bytes of path ("-" for standard input) into data. False, with the
// reason in error, when path names no plain file, cannot be read, holds more
// than limit bytes, or standard input stays silent for idleMs.
bool Read(const QString &path, qint64 limit, QByteArray *data, QString *error, int idleMs = IdleMs);

} // namespace InputFile
