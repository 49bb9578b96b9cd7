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

// Element 0 is the placeholder; the alarms proper are elements 1 onwards.
extern QList<AlarmRecord> Alarms;

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

// Writes the slots of every record not marked Deleted. Returns false with the
// device's reason when a write fails.
bool WriteTable(QIODevice &device, const QList<AlarmRecord> &table, QString *error = nullptr);

// Replaces the table with the file. A missing, empty or shorter-than-a-slot
// file is (re)written with the placeholder. A file that cannot be read is left
// untouched and the table kept; false with the reason is returned.
[[nodiscard]] bool LoadAlarms(QString *error = nullptr);

// Rewrites the file from the table, atomically: on failure the previous file
// stays whole, the table is kept and false with the reason is returned.
[[nodiscard]] bool SaveAlarms(QString *error = nullptr);

// Called after every successful save. The clock stores its last check then,
// so that an alarm just added for a minute already past is never reported as
// missed after a crash. An empty function removes it.
void SetSavedHook(std::function<void()> hook);
// Also called after every successful save, for whoever keeps the table in
// step elsewhere (a calendar server).
void SetChangedHook(std::function<void()> hook);

} // namespace AlarmHandling
