#pragma once

#include <QString>

// What a path names, looked at without opening it: a named pipe or a device
// would block or read without end, so callers open only plain files.
namespace FileKind {

enum class Kind { Absent, DanglingLink, Folder, Regular, Socket, Other };

// Links are followed; a link to nothing is DanglingLink.
Kind Of(const QString &path);
// The path itself, links not followed (only what it names is Absent).
Kind OfEntry(const QString &path);

// Under the system's own install prefix (/usr), which belongs to the package
// manager even where root could write.
bool IsSystemInstalled(const QString &path);

// The file the native settings store of an application keeps, where it is a
// file (empty where the store is no file, such as a registry).
QString NativeSettingsFile(const QString &application);

} // namespace FileKind
