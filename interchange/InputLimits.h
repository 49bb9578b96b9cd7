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
// The entries of one time zone block: each of its STANDARD and DAYLIGHT
// parts, their rules and dates, and each date their rules give up to 2055,
// which is what working out its clock changes costs (a zone as mail programs
// write it, two yearly rules from 1601, has 914).
inline constexpr int ZoneEntries = 1000;
// The entries of all the time zone blocks of one file or calendar resource:
// blocks within the limit above must not add up to minutes of work.
inline constexpr int ZoneEntriesInAll = 50 * ZoneEntries;
// One request over the local socket (an import's alarms included).
inline constexpr qint64 RequestBytes = 16LL * 1024 * 1024;

} // namespace InputLimits
