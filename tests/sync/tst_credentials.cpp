#include "platform/TerminalPassword.h"
#include "sync/Credentials.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

enum Kind { Plain, Folder, Fifo, Link, DanglingLink, Missing, Device, OtherOwner };

const QUrl Collection(QStringLiteral("https://cal.example/dav/alarms/"));

struct FileAnswer
{
    QString refusal;
    QByteArray password;
    QString readError;
};

struct Answer
{
    Credentials::Lookup lookup;
    qint64 ms = -1; // -1: no answer in time
    bool early = false;
};

// Read's answer, waited for in an event loop as the program does.
Answer readPassword(const QString &user, const QString &file = QString())
{
    Answer answer;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    bool returned = false;
    Credentials::Read(Collection, user, file, [&](const Credentials::Lookup &lookup) {
        answer.early = !returned;
        answer.lookup = lookup;
        answer.ms = clock.elapsed();
        loop.quit();
    });
    returned = true;
    if (answer.ms < 0) {
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return answer;
}

// Every file under root holding needle, which must be nowhere on disk.
QStringList filesHolding(const QString &root, const QByteArray &needle)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
            found << file.fileName();
    }
    return found;
}

} // namespace

class TestCredentials : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void passwordFiles_data();
    void passwordFiles();
    void withoutKeyring_data();
    void withoutKeyring();
    void askWithoutTerminal_data();
    void askWithoutTerminal();
    void keyringRoundTrip_data();
    void keyringRoundTrip();

private:
    QTemporaryDir m_home;
    QString m_busAddress; // a bus of our own with nothing on it, empty where none could start
    QProcess m_bus;
    QProcess m_keyring;
};

void TestCredentials::initTestCase()
{
    QVERIFY(m_home.isValid());
    // Everything a keyring library or a settings fallback could write lands here.
    const QString home = m_home.path();
    for (const char *dir : {"config", "data", "cache", "state", "run"})
        QVERIFY(QDir(home).mkpath(QString::fromLatin1(dir)));
    QFile::setPermissions(home + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/cache")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home + QStringLiteral("/state")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home + QStringLiteral("/run")));
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID"})
        qunsetenv(name);

    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return;
    // No service files: nothing is started on demand, so no keyring answers
    // until the round trip starts one.
    const QString config = home + QStringLiteral("/bus.conf");
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:tmpdir=" +
               QFile::encodeName(home) +
               "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    file.close();
    m_bus.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_bus.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                         QStringLiteral("--print-address=1")});
    if (m_bus.waitForStarted() && m_bus.waitForReadyRead(10000))
        m_busAddress = QString::fromUtf8(m_bus.readLine().trimmed());
}

void TestCredentials::cleanupTestCase()
{
    for (QProcess *process : {&m_keyring, &m_bus}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
    }
}

void TestCredentials::passwordFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("refusal");     // part of RefusePasswordFile's reason; empty: accepted
    QTest::addColumn<QByteArray>("password"); // what ReadPasswordFile gives; empty: refused
    QTest::addColumn<QString>("readError");   // part of ReadPasswordFile's reason

    const QByteArray pw("c0rrect horse");
    const QString chmod = QStringLiteral("chmod 600");
    QTest::newRow("600, one line") << int(Plain) << 0600 << pw + "\n" << QString() << pw << QString();
    QTest::newRow("600, CRLF, more lines") << int(Plain) << 0600 << pw + "\r\nnext\r\n" << QString() << pw << QString();
    QTest::newRow("400, no line end") << int(Plain) << 0400 << pw << QString() << pw << QString();
    QTest::newRow("644") << int(Plain) << 0644 << pw << chmod << QByteArray() << chmod;
    QTest::newRow("640") << int(Plain) << 0640 << pw << chmod << QByteArray() << chmod;
    QTest::newRow("604") << int(Plain) << 0604 << pw << chmod << QByteArray() << chmod;
    QTest::newRow("620, others may write") << int(Plain) << 0620 << pw << chmod << QByteArray() << chmod;
    QTest::newRow("link to a 600 file") << int(Link) << 0600 << pw + "\n" << QString() << pw << QString();
    QTest::newRow("link to a 644 file") << int(Link) << 0644 << pw << chmod << QByteArray() << chmod;
    QTest::newRow("folder") << int(Folder) << 0700 << QByteArray() << QStringLiteral("folder") << QByteArray()
                            << QStringLiteral("folder");
    QTest::newRow("named pipe") << int(Fifo) << 0600 << QByteArray() << QStringLiteral("not a plain file")
                                << QByteArray() << QStringLiteral("not a plain file");
    QTest::newRow("device") << int(Device) << 0 << QByteArray() << QStringLiteral("not a plain file") << QByteArray()
                            << QStringLiteral("not a plain file");
    QTest::newRow("dangling link") << int(DanglingLink) << 0 << QByteArray() << QStringLiteral("does not exist")
                                   << QByteArray() << QStringLiteral("does not exist");
    QTest::newRow("missing") << int(Missing) << 0 << QByteArray() << QStringLiteral("does not exist") << QByteArray()
                             << QStringLiteral("does not exist");
    QTest::newRow("empty") << int(Plain) << 0600 << QByteArray() << QStringLiteral("empty") << QByteArray()
                           << QStringLiteral("empty");
    QTest::newRow("blank first line") << int(Plain) << 0600 << "\n" + pw << QString() << QByteArray()
                                      << QStringLiteral("first line");
    QTest::newRow("too large") << int(Plain) << 0600 << pw + "\n" + QByteArray(64 * 1024, 'x')
                               << QStringLiteral("too large") << QByteArray() << QStringLiteral("too large");
    if (::getuid() == 0)
        QTest::newRow("another user's") << int(OtherOwner) << 0600 << pw << QStringLiteral("another user")
                                        << QByteArray() << QStringLiteral("another user");
}

void TestCredentials::passwordFiles()
{
    QFETCH(int, kind);
    QFETCH(int, mode);
    QFETCH(QByteArray, content);
    QFETCH(QString, refusal);
    QFETCH(QByteArray, password);
    QFETCH(QString, readError);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("password"));
    const QString target = dir.filePath(QStringLiteral("target"));
    const QByteArray native = QFile::encodeName(path);
    switch (Kind(kind)) {
    case Plain:
    case Link:
    case OtherOwner: {
        const QString file = kind == Link ? target : path;
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(mode)), 0);
        if (kind == Link)
            QVERIFY(QFile::link(target, path));
        if (kind == OtherOwner)
            QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        break;
    }
    case Folder:
        QVERIFY(QDir(path).mkpath(QStringLiteral(".")));
        break;
    case Fifo:
        QCOMPARE(::mkfifo(native.constData(), mode_t(mode)), 0);
        break;
    case DanglingLink:
        QVERIFY(QFile::link(target, path));
        break;
    case Device:
        path = QStringLiteral("/dev/null");
        break;
    case Missing:
        break;
    }

    // In a thread of its own so a read that blocks (on a pipe with no writer)
    // fails the row instead of hanging the program.
    std::promise<FileAnswer> promise;
    std::future<FileAnswer> future = promise.get_future();
    std::thread worker([&promise, path] {
        FileAnswer answer;
        answer.refusal = Credentials::RefusePasswordFile(path);
        answer.password = Credentials::ReadPasswordFile(path, &answer.readError);
        promise.set_value(answer);
    });
    const bool inTime = future.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    if (!inTime) {
        // Opening the other end lets a reader stuck on the pipe go.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    worker.join();
    QVERIFY2(inTime, "reading the password file blocked");
    const FileAnswer answer = future.get();

    if (refusal.isEmpty()) {
        QCOMPARE(answer.refusal, QString());
    } else {
        QVERIFY2(answer.refusal.contains(refusal), qPrintable(answer.refusal));
        QVERIFY2(answer.refusal.contains(path), qPrintable(answer.refusal));
    }
    QCOMPARE(answer.password, password);
    if (password.isEmpty()) {
        QVERIFY2(answer.readError.contains(readError), qPrintable(answer.readError));
        QVERIFY2(answer.readError.contains(path), qPrintable(answer.readError));
    } else {
        QCOMPARE(answer.readError, QString());
    }
}

void TestCredentials::withoutKeyring_data()
{
    QTest::addColumn<bool>("bus");
    // First the row without a bus: the bus once reached stays the process's.
    QTest::newRow("no session bus") << false;
    QTest::newRow("a bus without a keyring") << true;
}

void TestCredentials::withoutKeyring()
{
    QFETCH(bool, bus);
    if (bus && m_busAddress.isEmpty())
        QSKIP("dbus-daemon could not be started");
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            bus ? m_busAddress.toUtf8() : "unix:path=" + QFile::encodeName(m_home.filePath(QStringLiteral("no-bus"))));

    const QByteArray secret("never-on-disk-4f7e2a");
    QString error;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!Credentials::Store(Collection, QStringLiteral("ann"), secret, &error));
    QVERIFY2(error.contains(QStringLiteral("--password-file")), qPrintable(error));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));

    const Answer answer = readPassword(QStringLiteral("ann"));
    QVERIFY2(answer.ms >= 0, "no answer from Read");
    qInfo("no keyring: Store failed in %lld ms, Read in %lld ms", qint64(clock.elapsed() - answer.ms), answer.ms);
    QVERIFY(!answer.early);
    QVERIFY(answer.lookup.password.isEmpty());
    QVERIFY2(answer.lookup.error.contains(QStringLiteral("no keyring")), qPrintable(answer.lookup.error));
    QVERIFY2(answer.lookup.error.contains(QStringLiteral("--password-file")), qPrintable(answer.lookup.error));
    QVERIFY2(answer.ms < 3000, qPrintable(QString::number(answer.ms)));
    QVERIFY(!answer.lookup.error.contains(QString::fromLatin1(secret)));

    QCOMPARE(filesHolding(m_home.path(), secret), QStringList());

    // A password file named is all it takes.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("password"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(out.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    out.write(secret + "\n");
    out.close();
    const Answer fromFile = readPassword(QStringLiteral("ann"), file);
    QCOMPARE(fromFile.lookup.error, QString());
    QCOMPARE(fromFile.lookup.password, secret);
    QVERIFY(!fromFile.early);
}

void TestCredentials::askWithoutTerminal_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("left"); // what a later reader still finds
    QTest::newRow("lines") << QByteArray("pw one\nnext\n") << QByteArray("pw one") << QByteArray("next\n");
    QTest::newRow("CRLF") << QByteArray("pw\r\nnext") << QByteArray("pw") << QByteArray("next");
    QTest::newRow("no line end") << QByteArray("pw") << QByteArray("pw") << QByteArray();
    QTest::newRow("blank line") << QByteArray("\npw\n") << QByteArray() << QByteArray("pw\n");
    QTest::newRow("nothing") << QByteArray() << QByteArray() << QByteArray();
}

void TestCredentials::askWithoutTerminal()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, left);

    int pipe[2];
    QCOMPARE(::pipe(pipe), 0);
    QCOMPARE(::write(pipe[1], input.constData(), size_t(input.size())), ssize_t(input.size()));
    ::close(pipe[1]);
    const int savedStdin = ::dup(STDIN_FILENO);
    ::dup2(pipe[0], STDIN_FILENO);
    ::close(pipe[0]);
    bool ok = false;
    const QByteArray answer = TerminalPassword::Ask(QStringLiteral("Password: "), &ok);
    char rest[64] = {};
    const ssize_t got = ::read(STDIN_FILENO, rest, sizeof rest);
    ::dup2(savedStdin, STDIN_FILENO);
    ::close(savedStdin);

    QCOMPARE(answer, password);
    QCOMPARE(ok, !password.isEmpty());
    QCOMPARE(QByteArray(rest, int(qMax(got, ssize_t(0)))), left);
}

void TestCredentials::keyringRoundTrip_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("text") << QByteArray("h\xc3\xa9llo w\xc3\xb6rld 1") << QByteArray("second-pass 2");
    QTest::newRow("bytes that are not UTF-8") << QByteArray("\xff\xfe\x01 raw") << QByteArray("\x80\x81 raw");
}

void TestCredentials::keyringRoundTrip()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (daemon.isEmpty() || m_busAddress.isEmpty())
        QSKIP("needs gnome-keyring-daemon and dbus-daemon");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());

    if (m_keyring.state() == QProcess::NotRunning) {
        m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_keyring.start(daemon, {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                                 QStringLiteral("--foreground")});
        QVERIFY(m_keyring.waitForStarted());
        m_keyring.write("keyring-unlock\n");
        m_keyring.closeWriteChannel();
        // Ready once its name is on the bus.
        const auto registered = [] {
            QProcess ping;
            ping.setStandardOutputFile(QProcess::nullDevice());
            ping.setStandardErrorFile(QProcess::nullDevice());
            ping.start(QStringLiteral("dbus-send"),
                       {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                        QStringLiteral("--dest=org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
                        QStringLiteral("org.freedesktop.DBus.Peer.Ping")});
            return ping.waitForFinished(5000) && ping.exitStatus() == QProcess::NormalExit && ping.exitCode() == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(registered(), 10000);
    }

    const QString ann = QStringLiteral("ann"), bob = QStringLiteral("bob");
    QString error;
    QVERIFY2(Credentials::Store(Collection, ann, QByteArray("replaced"), &error), qPrintable(error));
    QVERIFY2(Credentials::Store(Collection, ann, first, &error), qPrintable(error));
    QVERIFY2(Credentials::Store(Collection, bob, second, &error), qPrintable(error));
    Answer answer = readPassword(ann);
    QCOMPARE(answer.lookup.error, QString());
    QCOMPARE(answer.lookup.password, first);
    QVERIFY(!answer.early);

    QVERIFY2(Credentials::Forget(Collection, ann, &error), qPrintable(error));
    answer = readPassword(ann);
    QVERIFY(answer.lookup.password.isEmpty());
    QVERIFY2(answer.lookup.error.contains(QStringLiteral("no password for ann@")), qPrintable(answer.lookup.error));
    QVERIFY2(answer.lookup.error.contains(QStringLiteral("--password-file")), qPrintable(answer.lookup.error));
    // The other account is untouched, and forgetting twice is no error.
    QCOMPARE(readPassword(bob).lookup.password, second);
    QVERIFY2(Credentials::Forget(Collection, ann, &error), qPrintable(error));
    QVERIFY2(Credentials::Forget(Collection, bob, &error), qPrintable(error));
    QVERIFY(readPassword(bob).lookup.password.isEmpty());

    // The keyring keeps its files encrypted; no password in the clear anywhere.
    QCOMPARE(filesHolding(m_home.path(), first), QStringList());
    QCOMPARE(filesHolding(m_home.path(), second), QStringList());
}

QTEST_MAIN(TestCredentials)
#include "tst_credentials.moc"
