#include "shell/CommandRunner.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmIdentity.h"
#include "engine/Snoozes.h"
#include "platform/EndSignals.h"
#include "shell/AlarmCommands.h"
#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include <iostream>
#include <iterator>

namespace CommandRunner {

namespace {

const QString DesktopId = QStringLiteral("example.varnod.Tockwise.desktop");
// A clock that holds the lock but does not answer yet may be starting.
constexpr int BusyWaitMs = 5000;

void print(std::ostream &stream, const QByteArray &bytes)
{
    stream.write(bytes.constData(), bytes.size());
    stream.flush();
}

int failWith(std::ostream &err, const QString &why)
{
    print(err, QStringLiteral("tockwise: %1\n").arg(why).toUtf8());
    return 1;
}

// The command on Alarms.dat itself; the caller holds the lock.
AlarmCommands::Reply runHere(const QStringList &words, const QByteArray &input)
{
    if (AlarmHandling::AlarmFolder().isEmpty())
        AlarmCommands::SetUpFiles();
    Snoozes::Load();
    const QString path = AlarmHandling::AlarmFilePath();
    AlarmCommands::Reply failed;
    failed.status = 1;
    const QString unreadable = AlarmHandling::UnreadableReason(path);
    if (!unreadable.isEmpty()) {
        failed.err = QStringLiteral("tockwise: %1\n").arg(unreadable).toUtf8();
        return failed;
    }
    // A missing or empty table is left as it is unless the command changes it.
    if (QFileInfo(path).size() < AlarmHandling::SlotSize) {
        AlarmHandling::Alarms = {AlarmRecord{}};
    } else {
        QString error;
        if (!AlarmHandling::LoadAlarms(&error)) {
            failed.err = QStringLiteral("tockwise: %1\n").arg(error).toUtf8();
            return failed;
        }
    }
    AlarmIdentity::Reconcile();
    return AlarmCommands::Execute(words, input);
}

AlarmCommands::Reply runAnywhere(const QStringList &words, const QByteArray &input)
{
    const QByteArray request = AlarmCommands::EncodeRequest(words, input);
    AlarmCommands::Reply reply;
    reply.status = 1;
    const QDeadlineTimer wait(BusyWaitMs);
    for (;;) {
        QByteArray answer;
        switch (SingleInstance::Ask(request, &answer)) {
        case SingleInstance::Answer::Answered:
            if (!AlarmCommands::DecodeReply(answer, &reply)) {
                reply.status = 1;
                reply.err = "tockwise: the running clock's answer could not be read\n";
            }
            return reply;
        case SingleInstance::Answer::NoAnswer:
            reply.err = "tockwise: the running clock does not answer\n";
            return reply;
        case SingleInstance::Answer::NoCopy:
            break;
        }
        std::vector<std::unique_ptr<InstanceLock>> locks;
        QString why;
        switch (SingleInstance::TakeCommandLocks(&locks, &why)) {
        case InstanceLock::Take::Taken:
            return runHere(words, input);
        case InstanceLock::Take::Unusable:
            reply.err = QStringLiteral("tockwise: the single-copy lock cannot be taken: %1\n").arg(why).toUtf8();
            return reply;
        case InstanceLock::Take::Held:
            break;
        }
        if (wait.hasExpired()) {
            reply.err = "tockwise: another copy of Tockwise holds the lock but does not answer\n";
            return reply;
        }
        QThread::msleep(100);
    }
}

int autostart(const QString &value, std::ostream &out, std::ostream &err)
{
    const QString path = AutostartPath();
    if (value.isEmpty()) {
        print(out, QFile::exists(path) ? QStringLiteral("on (%1)\n").arg(path).toUtf8() : QByteArray("off\n"));
        return 0;
    }
    if (value == QLatin1String("off")) {
        if (QFile::exists(path) && !QFile::remove(path))
            return failWith(err, QStringLiteral("%1 could not be removed").arg(path));
        print(out, "autostart off: Tockwise no longer starts at login\n");
        return 0;
    }
    // The installed entry, launching this very program.
    QByteArray entry = "[Desktop Entry]\nType=Application\nName=Tockwise\nExec=tockwise\nTerminal=false\n";
    const QString installed = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, DesktopId);
    QFile source(installed);
    if (!installed.isEmpty() && source.open(QIODevice::ReadOnly))
        entry = source.readAll();
    // Its Exec line stays where it names this very program (tockwise on the
    // PATH, which survives an upgrade); otherwise it names this program.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    QList<QByteArray> lines = entry.split('\n');
    for (QByteArray &line : lines) {
        if (!line.startsWith("Exec="))
            continue;
        const QString program = QString::fromUtf8(line.mid(5)).section(QLatin1Char(' '), 0, 0);
        const QString found = QStandardPaths::findExecutable(program);
        if (found.isEmpty() || QFileInfo(found).canonicalFilePath() != self)
            line = "Exec=" + QCoreApplication::applicationFilePath().toUtf8();
    }
    entry = lines.join('\n');
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
        return failWith(err, QStringLiteral("%1 could not be written: %2").arg(path, file.errorString()));
    print(out, QStringLiteral("autostart on: %1\n").arg(path).toUtf8());
    return 0;
}

} // namespace

QString AutostartPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart/") + DesktopId);
}

int Run(const Command &command, std::ostream &out, std::ostream &err)
{
    // A file size limit makes a save fail with its reason, as it does in the
    // clock, rather than end the command half-way.
    EndSignals::IgnoreFileSizeLimit();
    if (command.words.value(0) == QLatin1String("autostart"))
        return autostart(command.autostart, out, err);
    const QString command0 = command.words.value(0);
    QByteArray input;
    if (command0 == QLatin1String("import")) {
        if (command.file == QLatin1String("-")) {
            input = QByteArray::fromStdString(
                std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()));
        } else {
            QFile file(command.file);
            if (!file.open(QIODevice::ReadOnly))
                return failWith(err, QStringLiteral("%1 cannot be read: %2").arg(command.file, file.errorString()));
            input = file.readAll();
        }
    }
    AlarmCommands::Reply reply = runAnywhere(command.words, input);
    if (reply.status == 0 && command0 == QLatin1String("export") && command.file != QLatin1String("-")) {
        QSaveFile file(command.file);
        if (!file.open(QIODevice::WriteOnly) || file.write(reply.out) != reply.out.size() || !file.commit())
            return failWith(err, QStringLiteral("%1 could not be written: %2").arg(command.file, file.errorString()));
        // Standard output carries no data now: what was done goes there.
        reply.out = reply.err.replace("tockwise: ", "").trimmed() + " to " + command.file.toUtf8() + '\n';
        reply.err.clear();
    }
    print(out, reply.out);
    print(err, reply.err);
    return reply.status;
}

} // namespace CommandRunner
