#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <cstdio>

// Moments the benchmarks measure (the first frame, a notification on screen),
// printed only when TOCKWISE_TRACE is set, as milliseconds since the epoch.
inline void TraceEvent(const char *what)
{
    static const bool enabled = qEnvironmentVariableIsSet("TOCKWISE_TRACE");
    if (enabled)
        std::fprintf(stderr, "tockwise-trace %s %lld\n", what,
                     static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
}
