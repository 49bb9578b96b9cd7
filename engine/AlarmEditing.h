#pragma once

#include "engine/AlarmRecord.h"

#include <QString>

// The edit buffer shared by the alarm list and the editor.
namespace AlarmEditing {

extern AlarmRecord EditAlarm;

// A new alarm: Once Only at 12:00 today, Monday, enabled, blank name.
void ClearEditAlarm();

// Commits EditAlarm: Index 0 appends it, any other Index replaces that alarm;
// then saves. The table keeps the alarm even when the save fails.
[[nodiscard]] bool StoreEditAlarm(QString *error = nullptr);

} // namespace AlarmEditing
