#include "service/CommandRunner.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "engine/UserFiles.h"
#include "interchange/ICalendar.h"
#include "interchange/InputLimits.h"
#include "interchange/Recurrence.h"
#include "platform/EndSignals.h"
#include "platform/InputFile.h"
#include "platform/TerminalPassword.h"
#include "service/AlarmCommands.h"
#include "service/Autostart.h"
#include "service/SingleInstance.h"
#include "service/SyncService.h"
#include "sync/CalDav.h"
#include "sync/Credentials.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

#include <functional>
#include <ostream>

namespace CommandRunner {

namespace {

// A clock that holds the lock but does not answer yet may be starting.
constexpr int BusyWaitMs = 5000;

void print(std::ostream &stream, const QByteArray &bytes)
{
    stream.write(bytes.constData(), bytes.size());
    stream.flush();
}

int printed(const AlarmCommands::Reply &reply, std::ostream &out, std::ostream &err)
{
    print(out, reply.out);
    print(err, reply.err);
    return reply.status;
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
        UserFiles::SetUpFiles();
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
    QString error;
    if (!AlarmStore::Instance().Load(&error, AlarmStore::Missing::LeaveAlone)) {
        failed.err = QStringLiteral("tockwise: %1\n").arg(error).toUtf8();
        return failed;
    }
    return AlarmCommands::Execute(words, input);
}

// alone, where given, is what the command does when no clock answers, in
// place of running it on Alarms.dat under the lock (a sync takes the lock
// itself, for no longer than it changes the table).
AlarmCommands::Reply runAnywhere(const QStringList &words, const QByteArray &input,
                                 int answerMs = SingleInstance::CommandAnswerMs,
                                 const std::function<AlarmCommands::Reply()> &alone = {})
{
    const QByteArray request = AlarmCommands::EncodeRequest(words, input);
    AlarmCommands::Reply reply;
    reply.status = 1;
    if (request.size() > InputLimits::RequestBytes) {
        reply.err = QStringLiteral("tockwise: nothing done: the command's %1 MiB are more than the %2 MiB a command "
                                   "may hand the clock (import the file in parts)\n")
                        .arg(request.size() / (1024 * 1024))
                        .arg(InputLimits::RequestBytes / (1024 * 1024))
                        .toUtf8();
        return reply;
    }
    const QDeadlineTimer wait(BusyWaitMs);
    for (;;) {
        QByteArray answer;
        switch (SingleInstance::Ask(request, &answer, answerMs)) {
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
            if (alone)
                return alone();
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
        // Another command at work is waited for however long it takes (its
        // table change is short); only a copy that holds the lock and does
        // not answer is given up on.
        if (wait.hasExpired() && !SingleInstance::CommandHoldsLock()) {
            reply.err = "tockwise: another copy of Tockwise holds the lock but does not answer\n";
            return reply;
        }
        QThread::msleep(100);
    }
}

// How long --sync-off waits for a sync under way to end.
constexpr int SyncOffWaitMs = 2 * 60 * 1000;

// A sync may upload a thousand alarms to a slow server.
constexpr int SyncAnswerMs = 15 * 60 * 1000;

int syncNow(std::ostream &out, std::ostream &err)
{
    return printed(runAnywhere({QStringLiteral("sync-now")}, {}, SyncAnswerMs,
                               [] { return AlarmCommands::SyncReply(SyncService::RunAlone()); }),
                   out, err);
}

int syncSetup(const Command &command, std::ostream &out, std::ostream &err)
{
    QUrl url(command.syncUrl, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return failWith(err, QStringLiteral("'%1' is no URL of a calendar").arg(command.syncUrl));
    if (!url.userInfo().isEmpty())
        return failWith(err, QStringLiteral("the URL may not hold a user or password: give them with --user and "
                                            "--password-file or the keyring"));
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    if (const QString why = CalDav::RefuseUrl(url); !why.isEmpty())
        return failWith(err, why);
    QString passwordFile;
    QByteArray password;
    QString problem;
    if (!command.passwordFile.isEmpty()) {
        passwordFile = QFileInfo(command.passwordFile).absoluteFilePath();
        password = Credentials::ReadPasswordFile(passwordFile, &problem);
        if (password.isEmpty())
            return failWith(err, problem);
    } else {
        bool ok = false;
        password =
            TerminalPassword::Ask(QStringLiteral("Password for %1 at %2: ").arg(command.syncUser, url.host()), &ok);
        if (!ok || password.isEmpty())
            return failWith(err, QStringLiteral("no password was given"));
    }
    // The server is asked before anything is kept: a mistyped URL or
    // password is told now, not at the first sync.
    CalDav::Client client({url, command.syncUser, password});
    QEventLoop loop;
    CalDav::Result checked;
    client.EnsureCollection([&](const CalDav::Result &result) {
        checked = result;
        loop.quit();
    });
    loop.exec();
    if (!checked.error.isEmpty())
        return failWith(err, QStringLiteral("the calendar could not be used: %1").arg(checked.error));
    if (passwordFile.isEmpty() && !Credentials::Store(url, command.syncUser, password, &problem))
        return failWith(err, problem);
    const SyncService::Config before = SyncService::ReadConfig();
    if (before.IsSet() && (before.url != url || before.user != command.syncUser))
        Credentials::Forget(before.url, before.user, &problem);
    Settings::Values values{{Settings::SyncUrl, url.toString()}, {Settings::SyncUser, command.syncUser}};
    bool saved = Settings::Write(values, &problem);
    if (saved)
        saved = passwordFile.isEmpty() ? Settings::Remove({Settings::SyncPasswordFile}, &problem)
                                       : Settings::Write(Settings::SyncPasswordFile, passwordFile, &problem);
    if (!saved)
        return failWith(err, QStringLiteral("the settings could not be saved: %1").arg(problem));
    print(out, QStringLiteral("sync set up: %1 as %2 (%3%4)\n")
                   .arg(url.toString(), command.syncUser,
                        passwordFile.isEmpty() ? QStringLiteral("password in the keyring")
                                               : QStringLiteral("password read from %1").arg(passwordFile),
                        checked.created ? QStringLiteral("; the calendar was made") : QString())
                   .toUtf8());
    return syncNow(out, err);
}

int syncOff(std::ostream &out, std::ostream &err)
{
    const SyncService::Config config = SyncService::ReadConfig();
    if (!config.IsSet()) {
        print(out, "sync was not set up\n");
        return 0;
    }
    // A sync under way would write its state back after it was forgotten:
    // wait for it to end (a running clock syncs by itself at any time).
    InstanceLock syncLock;
    QString problem;
    QDir().mkpath(QFileInfo(SyncService::LockPath()).path());
    const QDeadlineTimer syncEnds(SyncOffWaitMs);
    for (;;) {
        const InstanceLock::Take taken = syncLock.TryTake(SyncService::LockPath(), &problem);
        if (taken == InstanceLock::Take::Taken)
            break;
        if (taken == InstanceLock::Take::Unusable)
            return failWith(err, QStringLiteral("the sync's lock cannot be taken: %1").arg(problem));
        if (syncEnds.hasExpired())
            return failWith(err, QStringLiteral("%1; try again when it has ended").arg(SyncService::AlreadyRunning));
        QThread::msleep(100);
    }
    if (!Settings::Remove({Settings::SyncUrl, Settings::SyncUser, Settings::SyncPasswordFile}, &problem))
        return failWith(err, QStringLiteral("the settings could not be saved: %1").arg(problem));
    // Which alarm was which event belongs to that server alone.
    QFile::remove(SyncService::StatePath());
    int status = 0;
    if (!Credentials::Forget(config.url, config.user, &problem) && config.passwordFile.isEmpty()) {
        print(
            err,
            QStringLiteral("tockwise: the password could not be removed from the keyring: %1\n").arg(problem).toUtf8());
        status = 1;
    }
    print(out, QStringLiteral("sync off: Tockwise no longer syncs with %1; nothing was deleted on either side\n")
                   .arg(config.url.toString())
                   .toUtf8());
    return status;
}

} // namespace

int Run(const Command &command, std::ostream &out, std::ostream &err)
{
    Recurrence::Install();
    // A file size limit makes a save fail with its reason, as it does in the
    // clock, rather than end the command half-way.
    EndSignals::IgnoreFileSizeLimit();
    if (command.words.value(0) == QLatin1String("autostart"))
        return printed(Autostart::Run(command.autostart), out, err);
    if (command.words.value(0) == QLatin1String("sync-setup"))
        return syncSetup(command, out, err);
    if (command.words.value(0) == QLatin1String("sync-off"))
        return syncOff(out, err);
    if (command.words.value(0) == QLatin1String("sync-now"))
        return syncNow(out, err);
    const QString command0 = command.words.value(0);
    QStringList words = command.words;
    QByteArray input;
    if (command0 == QLatin1String("import")) {
        // Read and mapped here, in the command's own process: however large
        // or odd the file, the clock only ever gets the alarms it maps onto.
        QByteArray data;
        QString why;
        if (!InputFile::Read(command.file, InputLimits::FileBytes, &data, &why))
            return failWith(err, QStringLiteral("nothing imported: %1").arg(why));
        const ICalendar::Import read = ICalendar::Read(data, {}, TimingModule::Now().date());
        data.clear();
        if (!read.ok)
            return failWith(err, QStringLiteral("nothing imported: %1").arg(read.error));
        words = QStringList{QStringLiteral("import-alarms")};
        input = AlarmCommands::EncodeImport(read);
    }
    AlarmCommands::Reply reply = runAnywhere(words, input);
    if (reply.status == 0 && command0 == QLatin1String("export") && command.file != QLatin1String("-")) {
        QSaveFile file(command.file);
        if (!file.open(QIODevice::WriteOnly) || file.write(reply.out) != reply.out.size() || !file.commit())
            return failWith(err, QStringLiteral("%1 could not be written: %2").arg(command.file, file.errorString()));
        // Standard output carries no data now: what was done goes there.
        reply.out = reply.err.replace("tockwise: ", "").trimmed() + " to " + command.file.toUtf8() + '\n';
        reply.err.clear();
    }
    return printed(reply, out, err);
}

} // namespace CommandRunner
