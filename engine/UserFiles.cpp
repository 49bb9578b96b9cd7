#include "engine/UserFiles.h"

#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/Snoozes.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace UserFiles {

QString UserFile(const QString &name)
{
    // The per-user folder where users' alarms live keeps its lower-case name.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("tockwise/") + name);
}

void SetUpFiles()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    // The per-user folder where users' alarms live keeps its lower-case name.
    const QDir userFolder(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                              .filePath(QStringLiteral("tockwise")));
    AlarmHandling::SetAlarmFolder(AlarmHandling::ChooseAlarmFolder(programFolder, userFolder.path()));
    // What is the user's beyond the table itself lives beside it in the
    // per-user folder, wherever the table is.
    AlarmChecking::SetMissedFile(userFolder.filePath(QStringLiteral("missed-alarms.txt")));
    AlarmStore::Instance().SetIdentityFile(userFolder.filePath(QStringLiteral("alarm-ids")));
    Snoozes::SetFile(userFolder.filePath(QStringLiteral("snoozes")));
}

} // namespace UserFiles
