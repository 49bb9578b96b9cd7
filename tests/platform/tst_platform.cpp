#include "platform/FileKind.h"
#include "platform/InstanceLock.h"
#include "platform/MinuteWaker.h"
#include "platform/PrivateFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

class PlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void minuteWakerReadings_data()
    {
        QTest::addColumn<qint64>("result");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("wakes");
        QTest::newRow("the minute began") << qint64(8) << 0 << true;
        // What the kernel answers when the clock was set or stepped after a
        // suspend; the clock must look at the time at once, not at the old moment.
        QTest::newRow("the clock was set") << qint64(-1) << ECANCELED << true;
        QTest::newRow("nothing to read") << qint64(-1) << EAGAIN << false;
    }

    void minuteWakerReadings()
    {
        QFETCH(qint64, result);
        QFETCH(int, error);
        QFETCH(bool, wakes);
        MinuteWaker waker([] { return QDateTime::currentDateTime(); });
        QSignalSpy woke(&waker, &MinuteWaker::woke);
        waker.SleepUntilNextMinute();
        waker.HandleReading(MinuteWaker::Interpret(result, error));
        QCOMPARE(woke.count(), wakes ? 1 : 0);
        // A wake-up disarms it: the next tick asks again.
        QCOMPARE(waker.IsArmed(), !wakes);
    }

    void minuteWakerSleepsUntilTheMinute_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("deadline");
        const QDate day(2024, 3, 7);
        QTest::newRow("50 ms before") << QDateTime(day, QTime(9, 5, 59, 950)) << QDateTime(day, QTime(9, 6));
        QTest::newRow("on the minute") << QDateTime(day, QTime(9, 5)) << QDateTime(day, QTime(9, 6));
        QTest::newRow("into the next day")
            << QDateTime(day, QTime(23, 59, 30)) << QDateTime(day.addDays(1), QTime(0, 0));
    }

    void minuteWakerSleepsUntilTheMinute()
    {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, deadline);
        QCOMPARE(MinuteWaker::NextMinuteMSecs(now), deadline.toMSecsSinceEpoch());
    }

    // The waker sleeps for what is left of its clock's minute, whatever that
    // clock reads: a reading of the system's a minute old (a suspend that
    // outlasted the minute) wakes at once; a test's clock years behind the
    // system's sleeps as long as its own minute has to run.
    void minuteWakerFollowsItsClock_data()
    {
        QTest::addColumn<bool>("poll");
        QTest::addColumn<qint64>("clockBehind"); // seconds behind the system's
        QTest::addColumn<QTime>("clockTime");    // null: the system's time of day
        QTest::addColumn<int>("readingAge");     // seconds the reading given lags the clock
        QTest::addColumn<bool>("wakesSoon");     // within half a second
        const qint64 years = qint64(86400) * 365 * 3;
        for (const bool poll : {false, true}) {
            const char *mode = poll ? "polling" : "kernel timer";
            QTest::addRow("%s, a minute already past", mode) << poll << qint64(0) << QTime() << 120 << true;
            QTest::addRow("%s, years behind, 48 s to go", mode) << poll << years << QTime(9, 5, 12) << 0 << false;
            QTest::addRow("%s, years behind, 0.2 s to go", mode) << poll << years << QTime(9, 5, 59, 800) << 0 << true;
        }
    }

    void minuteWakerFollowsItsClock()
    {
        QFETCH(bool, poll);
        QFETCH(qint64, clockBehind);
        QFETCH(QTime, clockTime);
        QFETCH(int, readingAge);
        QFETCH(bool, wakesSoon);
        if (poll)
            qputenv("TOCKWISE_POLL_CLOCK", "1");
        const QDateTime start = QDateTime::currentDateTime().addSecs(-clockBehind);
        const QDateTime clockStart = clockTime.isValid() ? QDateTime(start.date(), clockTime) : start;
        QElapsedTimer since;
        since.start();
        const MinuteWaker::Clock clock = [&] { return clockStart.addMSecs(since.elapsed()); };
        MinuteWaker waker(clock);
        qunsetenv("TOCKWISE_POLL_CLOCK");
#ifdef Q_OS_LINUX
        QCOMPARE(waker.CurrentMode(), poll ? MinuteWaker::Mode::Polling : MinuteWaker::Mode::KernelTimer);
#endif
        QSignalSpy woke(&waker, &MinuteWaker::woke);
        waker.SleepUntilNextMinute(clock().addSecs(-readingAge));
        QElapsedTimer waited;
        waited.start();
        bool wokeSoon = false;
        while (!wokeSoon && waited.elapsed() < 500 && woke.wait(int(std::max<qint64>(1, 500 - waited.elapsed())))) {
            // The system clock was set (a virtual machine's clock service may
            // do so at any moment): the program looks at the time and sleeps
            // again, and so does this test.
            if (waker.LastReading() == MinuteWaker::Reading::ClockSet)
                waker.SleepUntilNextMinute(clock());
            else
                wokeSoon = true;
        }
        QCOMPARE(wokeSoon, wakesSoon);
    }

    void fileKinds_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<int>("followed");
        QTest::addColumn<int>("entry");
        using K = FileKind::Kind;
        QTest::newRow("nothing") << "" << int(K::Absent) << int(K::Absent);
        QTest::newRow("plain file") << "file" << int(K::Regular) << int(K::Regular);
        QTest::newRow("folder") << "folder" << int(K::Folder) << int(K::Folder);
        QTest::newRow("named pipe") << "fifo" << int(K::Other) << int(K::Other);
        QTest::newRow("link to a file") << "link" << int(K::Regular) << int(K::Other);
        QTest::newRow("link to nothing") << "dangling" << int(K::DanglingLink) << int(K::Other);
    }

    void fileKinds()
    {
        QFETCH(QString, make);
        QFETCH(int, followed);
        QFETCH(int, entry);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("it"));
        const QByteArray native = QFile::encodeName(path);
        if (make == "file" || make == "link") {
            QFile file(dir.filePath(QStringLiteral("target")));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        if (make == "file")
            QVERIFY(QFile::rename(dir.filePath(QStringLiteral("target")), path));
        else if (make == "folder")
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("it")));
        else if (make == "fifo")
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        else if (make == "link" || make == "dangling")
            QCOMPARE(::symlink("target", native.constData()), 0);
        QCOMPARE(int(FileKind::Of(path)), followed);
        QCOMPARE(int(FileKind::OfEntry(path)), entry);
    }

    // The lock is the kernel's: whatever the file holds, a lock nobody holds
    // is taken; a held one never is; a folder is no lock.
    void instanceLock_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("take");
        using T = InstanceLock::Take;
        QTest::newRow("no file") << "" << int(T::Taken);
        QTest::newRow("empty file, as after a power cut") << "empty" << int(T::Taken);
        QTest::newRow("a dead process's number") << "stale" << int(T::Taken);
        QTest::newRow("held by a live lock") << "held" << int(T::Held);
        QTest::newRow("a folder") << "folder" << int(T::Unusable);
        QTest::newRow("a link") << "link" << int(T::Unusable);
    }

    void instanceLock()
    {
        QFETCH(QString, before);
        QFETCH(int, take);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tockwise.lock"));
        InstanceLock holder;
        QString why;
        if (before == "empty" || before == "stale") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (before == "stale")
                file.write("999999999\nsleep\nsomehost\n");
        } else if (before == "held") {
            QCOMPARE(int(holder.TryTake(path, &why)), int(InstanceLock::Take::Taken));
        } else if (before == "folder") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("tockwise.lock")));
        } else if (before == "link") {
            QCOMPARE(::symlink("elsewhere", QFile::encodeName(path).constData()), 0);
        }
        // Looking takes nothing: a held lock is seen, a free one stays free.
        QCOMPARE(InstanceLock::IsHeld(path), before == "held");
        InstanceLock lock;
        QCOMPARE(int(lock.TryTake(path, &why)), take);
        QCOMPARE(why.isEmpty(), take != int(InstanceLock::Take::Unusable));
        QCOMPARE(InstanceLock::IsHeld(path), take != int(InstanceLock::Take::Unusable));
        if (take == int(InstanceLock::Take::Taken)) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray::number(qint64(::getpid())) + '\n');
        }
    }

    void privateFolderIsPutBackToTheUsersAlone()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("deep/tockwise"));
        QCOMPARE(PrivateFolder::Make(folder), folder);
        QVERIFY(PrivateFolder::IsPrivate(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        QVERIFY(!PrivateFolder::IsPrivate(folder));
        QCOMPARE(PrivateFolder::Make(folder), folder);
        QVERIFY(PrivateFolder::IsPrivate(folder));
        QVERIFY(PrivateFolder::FitsSocketAddress(folder + QStringLiteral("/tockwise.socket")));
        QVERIFY(!PrivateFolder::FitsSocketAddress(folder + QString(120, QLatin1Char('x'))));
    }
};

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
