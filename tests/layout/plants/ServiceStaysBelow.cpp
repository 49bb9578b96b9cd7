// What the command service may use: the layers below it and Qt's bus.
#include "engine/UserFiles.h"
#include "service/AlarmCommands.h"
#include "sync/Synchronizer.h"

#include <QDBusConnection>

int Planted()
{
    const Synchronizer::Report report;
    return AlarmCommands::SyncReply(report).status + int(UserFiles::UserFile(QStringLiteral("planted")).isEmpty()) +
           int(QDBusConnection::sessionBus().isConnected());
}
