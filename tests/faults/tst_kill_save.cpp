// SIGKILL at random moments while the alarms are being saved: after every
// kill Alarms.dat must be exactly one of the two tables, byte for byte, and
// killed saves must not leave temporary files piling up beside it.
#include "KillTables.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<missing: ") + file.errorString().toUtf8() + '>';
    return file.readAll();
}

// "old (N bytes)" / "new (M bytes)" / "neither: L bytes, first difference at ..."
QString describe(const QByteArray &file, const QByteArray &oldBytes, const QByteArray &newBytes)
{
    if (file == oldBytes)
        return QStringLiteral("the old table (%1 bytes)").arg(file.size());
    if (file == newBytes)
        return QStringLiteral("the new table (%1 bytes)").arg(file.size());
    auto firstDifference = [&file](const QByteArray &other) {
        qsizetype i = 0;
        while (i < file.size() && i < other.size() && file.at(i) == other.at(i))
            ++i;
        return i;
    };
    return QStringLiteral("neither table: %1 bytes (old %2, new %3); same as old up to byte %4, as new up to %5")
        .arg(file.size())
        .arg(oldBytes.size())
        .arg(newBytes.size())
        .arg(firstDifference(oldBytes))
        .arg(firstDifference(newBytes));
}

} // namespace

class KillSaveTest : public QObject
{
    Q_OBJECT

private slots:
    void killWhileSaving_data();
    void killWhileSaving();
};

void KillSaveTest::killWhileSaving_data()
{
    QTest::addColumn<int>("oldCount");
    QTest::addColumn<int>("newCount");
    QTest::addColumn<int>("kills");

    // 1000 kills in all. Sizes differ, so a cut-short file shows; the
    // same-size row shows a file that mixes the slots of both tables.
    QTest::newRow("3 alarms <-> 40 alarms") << 3 << 40 << 400;
    QTest::newRow("20 alarms <-> 20 other alarms") << 20 << 20 << 300;
    QTest::newRow("placeholder only <-> 1500 alarms") << 0 << 1500 << 300;
}

void KillSaveTest::killWhileSaving()
{
    QFETCH(int, oldCount);
    QFETCH(int, newCount);
    QFETCH(int, kills);

    const QByteArray tableBytes[2] = {KillTables::Bytes(KillTables::Make(0, oldCount)),
                                      KillTables::Bytes(KillTables::Make(1, newCount))};
    QVERIFY(tableBytes[0] != tableBytes[1]);

    // The alarm folder on the disk the tests run from, as for the program.
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/tockwise-kill-XXXXXX"));
    QVERIFY(work.isValid());
    QDir(work.path()).mkdir(QStringLiteral("alarms"));
    const QString folder = work.filePath(QStringLiteral("alarms"));
    const QString dat = QDir(folder).filePath(AlarmHandling::FileName);
    {
        QFile file(dat);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(tableBytes[0]), tableBytes[0].size());
    }

    const QString progressPath = work.filePath(QStringLiteral("progress"));
    const int progressFd = ::open(QFile::encodeName(progressPath).constData(), O_RDWR | O_CREAT, 0600);
    QVERIFY2(progressFd >= 0, std::strerror(errno));
    QCOMPARE(::ftruncate(progressFd, 4096), 0);
    void *page = ::mmap(nullptr, sizeof(KillProgress), PROT_READ | PROT_WRITE, MAP_SHARED, progressFd, 0);
    QVERIFY(page != MAP_FAILED);
    auto *progress = static_cast<KillProgress *>(page);
    auto unmap = qScopeGuard([&] {
        ::munmap(page, sizeof(KillProgress));
        ::close(progressFd);
    });

    // SAVE_LOOP names another build of the driver (e.g. one with a broken save).
    const QByteArray driver =
        qEnvironmentVariableIsSet("SAVE_LOOP") ? qgetenv("SAVE_LOOP") : QByteArrayLiteral(SAVE_LOOP_PATH);
    const QByteArray args[] = {driver, QFile::encodeName(folder), QByteArray::number(oldCount),
                               QByteArray::number(newCount), QFile::encodeName(progressPath)};
    char *argv[] = {const_cast<char *>(args[0].constData()), const_cast<char *>(args[1].constData()),
                    const_cast<char *>(args[2].constData()), const_cast<char *>(args[3].constData()),
                    const_cast<char *>(args[4].constData()), nullptr};

    // A fixed seed can be given to replay a failure.
    const quint32 seed = qEnvironmentVariableIsSet("KILL_SEED") ? qEnvironmentVariableIntValue("KILL_SEED")
                                                                : QRandomGenerator::system()->generate();
    QRandomGenerator random(seed);
    // Delays spread over a few saves, so kills land in every step of one
    // (open, write, sync, rename). A save's length depends on the disk; it is
    // measured from the kills so far.
    qint64 maxDelayUs = 2000;
    qint64 totalDelayUs = 0;

    int current = 0; // the table Alarms.dat holds now
    int notStarted = 0, inside = 0, insideLeftNew = 0, between = 0;
    quint64 savesDone = 0;
    QElapsedTimer clock;
    clock.start();

    for (int kill = 1; kill <= kills; ++kill) {
        std::memset(page, 0, sizeof(KillProgress));

        int out[2];
        QCOMPARE(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        QVERIFY2(spawned == 0, std::strerror(spawned));

        // Wait for the first load to finish, so the kill lands in the loop.
        pollfd ready{out[0], POLLIN, 0};
        char byte = 0;
        const bool started = ::poll(&ready, 1, 10000) == 1 && ::read(out[0], &byte, 1) == 1;
        ::close(out[0]);
        if (!started) {
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            QFAIL(qPrintable(QStringLiteral("kill %1: the save loop did not start (exit status %2); the file is %3")
                                 .arg(kill)
                                 .arg(status)
                                 .arg(describe(readAll(dat), tableBytes[0], tableBytes[1]))));
        }

        const qint64 delayUs = random.bounded(maxDelayUs + 1);
        if (delayUs > 0)
            ::usleep(static_cast<useconds_t>(delayUs));
        ::kill(pid, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL,
                 qPrintable(QStringLiteral("kill %1: the save loop ended by itself (status %2), "
                                           "so a save failed")
                                .arg(kill)
                                .arg(status)));

        const quint32 begun = progress->begun.load();
        const quint32 done = progress->done.load();
        const int before = done == 0 ? current : static_cast<int>(progress->written.load());
        const QByteArray file = readAll(dat);
        const QString where =
            QStringLiteral("kill %1 of %2 (seed %3, %4 us after start, %5 saves done, "
                           "%6): Alarms.dat is %7")
                .arg(kill)
                .arg(kills)
                .arg(seed)
                .arg(delayUs)
                .arg(done)
                .arg(begun == done ? QStringLiteral("between saves") : QStringLiteral("inside a save"))
                .arg(describe(file, tableBytes[0], tableBytes[1]));
        if (begun == done) {
            // Between saves the file is exactly what the last save wrote.
            QVERIFY2(file == tableBytes[before], qPrintable(where));
            current = before;
        } else {
            const int after = static_cast<int>(progress->writing.load());
            QVERIFY2(file == tableBytes[before] || file == tableBytes[after], qPrintable(where));
            current = file == tableBytes[after] ? after : before;
            ++inside;
            if (current == after)
                ++insideLeftNew;
        }
        if (begun == 0)
            ++notStarted;
        else if (begun == done)
            ++between;
        savesDone += done;

        totalDelayUs += delayUs;
        if (kill % 20 == 0)
            maxDelayUs = savesDone == 0 ? qMin(maxDelayUs * 2, qint64(50000))
                                        : qBound(qint64(1000), 2 * totalDelayUs / qint64(savesDone), qint64(50000));
    }

    // What the killed saves left beside Alarms.dat. QSaveFile writes a file
    // without a name where the file system allows, but then links it under a
    // temporary name "Alarms.dat.XXXXXX" and renames that over Alarms.dat; a
    // kill between the two leaves that name behind, a whole copy of one table.
    const QDir dir(folder);
    QStringList leftovers = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    leftovers.removeOne(AlarmHandling::FileName);

    qInfo("%d kills in %.1f s (seed %u, delays up to %lld us): %d inside a save (%d of them left the table "
          "being written), %d between saves, %d before the first save began; %llu saves completed; "
          "%lld temporary files left%s%s",
          kills, clock.elapsed() / 1000.0, seed, static_cast<long long>(maxDelayUs), inside, insideLeftNew, between,
          notStarted, static_cast<unsigned long long>(savesDone), static_cast<long long>(leftovers.size()),
          leftovers.isEmpty() ? "" : ": ", qPrintable(leftovers.mid(0, 5).join(QStringLiteral(", "))));

    // Most kills must hit a save under way, or nothing was shown.
    QVERIFY2(inside >= kills / 2,
             qPrintable(QStringLiteral("only %1 of %2 kills landed inside a save").arg(inside).arg(kills)));
    // At most one leftover per interrupted save, never anything else, and
    // each one whole: a later look at the folder finds no half-written file.
    QVERIFY2(leftovers.size() <= inside, qPrintable(leftovers.join(QStringLiteral(", "))));
    static const QRegularExpression temporaryName(QStringLiteral("^Alarms\\.dat\\.[A-Za-z0-9]{6}$"));
    for (const QString &name : std::as_const(leftovers)) {
        QVERIFY2(temporaryName.match(name).hasMatch(), qPrintable(name));
        const QByteArray bytes = readAll(dir.filePath(name));
        QVERIFY2(bytes == tableBytes[0] || bytes == tableBytes[1],
                 qPrintable(name + QStringLiteral(" is ") + describe(bytes, tableBytes[0], tableBytes[1])));
    }
}

QTEST_GUILESS_MAIN(KillSaveTest)
#include "tst_kill_save.moc"
