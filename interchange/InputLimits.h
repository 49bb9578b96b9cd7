#pragma once

#include <QtGlobal>

// How much the program takes in from outside (a file to import, a calendar
// server's answer, a command over the local socket): past these it refuses
// with a message rather than read on, so nothing from outside can hold the
// clock up or fill its memory.
namespace InputLimits {

// A file or a server's answer.
inline constexpr qint64 FileBytes = 64LL * 1024 * 1024;
// One content line of iCalendar, unfolded.
inline constexpr qint64 LineBytes = 1024LL * 1024;
// The entries of one time zone block (its STANDARD and DAYLIGHT parts and
// their dates).
inline constexpr int ZoneEntries = 1000;
// One request over the local socket (an import's alarms included).
inline constexpr qint64 RequestBytes = 16LL * 1024 * 1024;

} // namespace InputLimits
