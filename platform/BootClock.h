#pragma once

#include <QtGlobal>

// Milliseconds on a clock that runs on while the computer sleeps and that
// setting the time of day never moves: what "ten real minutes" is measured on.
// Only differences of two readings mean anything.
namespace BootClock {

qint64 Msecs();

} // namespace BootClock
