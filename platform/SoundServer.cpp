#include "platform/SoundServer.h"

#include <QFileInfo>
#include <QString>

namespace SoundServer {

bool MayBeUp()
{
#ifdef Q_OS_LINUX
    if (qEnvironmentVariableIsSet("PULSE_SERVER"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return true; // no telling where the server listens: let the library look
    return QFileInfo::exists(runtime + QStringLiteral("/pulse/native")) ||
           QFileInfo::exists(QStringLiteral("/run/pulse/native"));
#else
    return true;
#endif
}

} // namespace SoundServer
