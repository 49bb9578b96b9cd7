#include "platform/BootClock.h"

#include <QElapsedTimer>

#ifdef Q_OS_LINUX
#include <ctime>
#endif

namespace BootClock {

qint64 Msecs()
{
#ifdef Q_OS_LINUX
    timespec now = {};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    // Elsewhere the monotonic clock, which may stop while the computer sleeps.
    static QElapsedTimer started;
    if (!started.isValid())
        started.start();
    return started.elapsed();
}

} // namespace BootClock
