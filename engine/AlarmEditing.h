#pragma once

#include "engine/AlarmRecord.h"

#include <QString>

// The edit buffer shared by the alarm list and the editor.
namespace AlarmEditing {

extern AlarmRecord EditAlarm;

// A new alarm: Once Only at the next whole hour (tomorrow after 23:00),
// Monday, enabled, blank name.
void ClearEditAlarm();

// Commits EditAlarm: Index 0 appends it, any other Index replaces that alarm;
// then saves. The table keeps the alarm even when the save fails.
[[nodiscard]] bool StoreEditAlarm(QString *error = nullptr);

// The one way a record leaves the table: saved without it, the table read
// back (the records after it move up one place), its identity dropped and its
// pending snoozes cancelled. NotSaved (the table and the file still hold it)
// and NotReadBack come with the reason.
enum class Removal { Removed, NotSaved, NotReadBack };
[[nodiscard]] Removal RemoveAlarm(int index, QString *error = nullptr);
// The same for several records at once, saved together (indexes as before
// the removal).
[[nodiscard]] Removal RemoveAlarms(QList<int> indexes, QString *error = nullptr);

} // namespace AlarmEditing
