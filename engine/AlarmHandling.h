#pragma once

#include "engine/AlarmRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// The alarm table and Alarms.dat: headerless 128-byte slots, one 116-byte
// little-endian record in each, slot 1 the all-zero placeholder.
namespace AlarmHandling {

constexpr int SlotSize = 128;
constexpr int RecordSize = 116;
inline const QString FileName = QStringLiteral("Alarms.dat");

// The folder that holds Alarms.dat, chosen once at start-up by the caller.
void SetAlarmFolder(const QString &folder);
QString AlarmFolder();
QString AlarmFilePath();

// Whether a new file can be made in a folder (the atomic save needs one).
using FolderCheck = std::function<bool(const QString &folder)>;

// Where the alarms live, in this order: the program folder when it holds
// Alarms.dat and is writable (a portable install); the per-user data folder
// when it holds one; a read-only program folder's Alarms.dat copied once into
// the per-user data folder; otherwise the program folder when writable, else
// the per-user data folder. canWrite replaces the real check in tests.
QString ChooseAlarmFolder(const QString &programFolder, const QString &userDataFolder,
                          const FolderCheck &canWrite = {});

// A file larger than this is refused: no real table comes near it.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// Empty when the file at path may be read as an alarm table (missing counts as
// fine); otherwise why not: not a regular file, or too large.
QString UnreadableReason(const QString &path);

// The name with every character the file's code page cannot hold left out.
QString StorableName(const QString &name);

QByteArray EncodeSlot(const AlarmRecord &record);
AlarmRecord DecodeSlot(const char *slot);

// Every whole slot of the data; a trailing partial slot is ignored. Index is
// taken from the slot position, never from the stored field.
QList<AlarmRecord> DecodeTable(const QByteArray &data);

// The slots of every record not marked Deleted, as Alarms.dat holds them.
QByteArray EncodeTable(const QList<AlarmRecord> &table);
// Writes them to a device. Returns false with the device's reason when a
// write fails.
bool WriteTable(QIODevice &device, const QList<AlarmRecord> &table, QString *error = nullptr);

// The file's bytes (none for a missing file); false, with the reason, for a
// file that is no plain file, too large or unreadable.
[[nodiscard]] bool ReadFile(const QString &path, QByteArray *data, QString *error = nullptr);

// Replaces the file by bytes atomically: on failure the previous file stays
// whole and false with the reason is returned.
[[nodiscard]] bool SaveFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace AlarmHandling
