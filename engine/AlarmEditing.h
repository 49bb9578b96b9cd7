#pragma once

#include "engine/AlarmRecord.h"

#include <QString>

// The edit buffer shared by the alarm list and the editor.
namespace AlarmEditing {

extern AlarmRecord EditAlarm;

// A new alarm: Once Only at the next whole hour (tomorrow after 23:00),
// Monday, enabled, blank name.
void ClearEditAlarm();

// Commits EditAlarm: Index 0 (or any index that names no alarm) adds it,
// any other Index replaces that alarm. All or nothing: when the save fails
// the table is as it was, and EditAlarm still holds the alarm.
[[nodiscard]] bool StoreEditAlarm(QString *error = nullptr);

} // namespace AlarmEditing
