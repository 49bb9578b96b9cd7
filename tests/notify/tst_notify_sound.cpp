// The chime reaches a real sound server, including one that only comes up
// after the program has started. Runs against a private PulseAudio server with
// a null sink and records what the program plays into it; skipped where no such
// server can be started.

#include "engine/AlarmChecking.h"
#include "notify/MessageForm.h"
#include "notify/SoundModule.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

// Peak of 16-bit samples after the "data" tag of a WAV recording, 0 to 1.
// The size fields are not trusted: an interrupted recorder may leave them 0.
double Peak(const QByteArray &wav)
{
    const qsizetype data = wav.indexOf("data");
    if (data < 0)
        return 0;
    int peak = 0;
    for (qsizetype i = data + 8; i + 1 < wav.size(); i += 2)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(wav.constData() + i))));
    return peak / 32768.0;
}

} // namespace

class TestNotifySound : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir runtime;
    QProcessEnvironment env;
    bool serverStarted = false;

    bool Run(const QString &program, const QStringList &args, int timeoutMs = 10000)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, args);
        return p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"pulseaudio", "pactl", "parec"})
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
        const QString folder = qEnvironmentVariable("TOCKWISE_BIN_DIR");
        if (!QFile::exists(folder + QStringLiteral("/Chime1.wav")))
            QSKIP("no Chime1.wav beside the program");
        SoundModule::SetProgramFolder(folder);
        SoundModule::SetPlayer({});
        AlarmChecking::ResetMissedAlarms();
        AlarmChecking::SetWindows(nullptr);

        // This process looks for its sound server in a folder where none runs yet.
        QVERIFY(runtime.isValid());
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qunsetenv("PULSE_SERVER");
        env = QProcessEnvironment::systemEnvironment();
    }

    void cleanupTestCase()
    {
        if (serverStarted)
            Run(QStringLiteral("pulseaudio"), {QStringLiteral("--kill")});
    }

    void chimeIsHeardWhenTheServerComesUpLate()
    {
        // The first alarm rings before there is any server: silent, no harm.
        delete MessageForm::Fire(QStringLiteral("Early"), QStringLiteral("x"), 0);

        serverStarted = Run(QStringLiteral("pulseaudio"),
                            {QStringLiteral("--daemonize=yes"), QStringLiteral("--exit-idle-time=-1"),
                             QStringLiteral("-n"), QStringLiteral("--load=module-null-sink sink_name=nullsink"),
                             QStringLiteral("--load=module-native-protocol-unix")});
        if (!serverStarted)
            QSKIP("no PulseAudio server could be started here");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime.filePath(QStringLiteral("pulse/native"))), 5000);
        QVERIFY(Run(QStringLiteral("pactl"), {QStringLiteral("set-default-sink"), QStringLiteral("nullsink")}));

        const QString recording = runtime.filePath(QStringLiteral("heard.wav"));
        QProcess recorder;
        recorder.setProcessEnvironment(env);
        recorder.start(QStringLiteral("parec"), {QStringLiteral("-d"), QStringLiteral("nullsink.monitor"),
                                                 QStringLiteral("--file-format=wav"), recording});
        QVERIFY(recorder.waitForStarted());
        QTest::qWait(500);

        // The next alarm finds the server.
        MessageForm *form = MessageForm::Fire(QStringLiteral("Late"), QStringLiteral("x"), 0);
        QTest::qWait(2500);
        delete form;
        recorder.terminate();
        QVERIFY(recorder.waitForFinished(5000));

        QFile file(recording);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const double peak = Peak(file.readAll());
        QVERIFY2(peak > 0.1, qPrintable(QStringLiteral("peak %1: the chime was not heard").arg(peak)));
    }
};

QTEST_MAIN(TestNotifySound)
#include "tst_notify_sound.moc"
