#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <cstdio>

#include <QString>

// What the benchmarks and the end-to-end tests watch from outside (the first
// frame, an alarm ringing, a missed line), printed on standard error only when
// TOCKWISE_TRACE is set: "tockwise-trace EVENT MSECS-SINCE-EPOCH [DETAIL]".
inline bool TraceEnabled()
{
    static const bool enabled = qEnvironmentVariableIsSet("TOCKWISE_TRACE");
    return enabled;
}

inline void TraceEvent(const char *what, const QString &detail = QString())
{
    if (!TraceEnabled())
        return;
    std::fprintf(stderr, "tockwise-trace %s %lld %s\n", what,
                 static_cast<long long>(QDateTime::currentMSecsSinceEpoch()), detail.toUtf8().constData());
    std::fflush(stderr);
}
