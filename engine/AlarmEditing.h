#pragma once

#include "engine/AlarmRecord.h"
#include "engine/AlarmRule.h"

#include <QString>

// The edit buffer shared by the alarm list and the editor.
namespace AlarmEditing {

extern AlarmRecord EditAlarm;
// What the editor's options say beyond EditAlarm's kind (other days, an end,
// skipped dates, a zone); empty when the kind says it all.
extern AlarmRule EditRule;

// EditAlarm and EditRule from alarm index of the table.
void LoadEditAlarm(int index);

// A new alarm: Once Only at the next whole hour (tomorrow after 23:00),
// Monday, enabled, blank name, no rule.
void ClearEditAlarm();

// Commits EditAlarm with EditRule: Index 0 (or any index that names no alarm)
// adds it, any other Index replaces that alarm. A rule the kinds say is stored
// as that kind; another one is kept with the alarm, its record a one-off at the
// next ring. All or nothing: when the save fails the table is as it was, and
// EditAlarm and EditRule still hold the alarm.
[[nodiscard]] bool StoreEditAlarm(QString *error = nullptr);

} // namespace AlarmEditing
