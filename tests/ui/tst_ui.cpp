#include "engine/Settings.h"
#include "tests/common/SettingsFixture.h"
#include "ui/WindowPositioning.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <ctime>
#include <sys/stat.h>
#include <utime.h>

class UiTest : public QObject
{
    Q_OBJECT

    TestSettings m_settings;

private slots:
    void init()
    {
        QFile::remove(m_settings.FilePath());
        QDir(m_settings.FilePath() + QStringLiteral(".lock")).removeRecursively();
        QFile::remove(m_settings.FilePath() + QStringLiteral(".lock"));
    }

    void lenientNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "42" << 42.0;
        QTest::newRow("leading blanks") << "  7" << 7.0;
        QTest::newRow("trailing text") << "12abc" << 12.0;
        QTest::newRow("negative") << "-3" << -3.0;
        QTest::newRow("fraction") << "4995.5" << 4995.5;
        QTest::newRow("text") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("sign only") << "-" << 0.0;
        QTest::newRow("huge") << "1e400" << 0.0;
    }

    void lenientNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(Settings::LenientNumber(text), value);
    }

    void storedSettings_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("theme");   // expected index, or -1 when not a theme key
        QTest::addColumn<int>("visible"); // expected visibility, or -1 when not "Visible"
        QTest::newRow("Digits 2") << "Digits"
                                  << "2" << 2 << -1;
        QTest::newRow("Digits 7 is out of range") << "Digits"
                                                  << "7" << 0 << -1;
        QTest::newRow("Face -1 is out of range") << "Face"
                                                 << "-1" << 0 << -1;
        QTest::newRow("Face text") << "Face"
                                   << "Gold" << 0 << -1;
        QTest::newRow("Face 3.4 rounds to 3") << "Face"
                                              << "3.4" << 3 << -1;
        QTest::newRow("Visible True") << "Visible"
                                      << "True" << -1 << 1;
        QTest::newRow("Visible False") << "Visible"
                                       << "False" << -1 << 0;
        QTest::newRow("Visible 0") << "Visible"
                                   << "0" << -1 << 0;
        QTest::newRow("Visible -1") << "Visible"
                                    << "-1" << -1 << 1;
        QTest::newRow("Visible garbage counts as visible") << "Visible"
                                                           << "maybe" << -1 << 1;
        QTest::newRow("Visible empty counts as visible") << "Visible"
                                                         << "" << -1 << 1;
    }

    void storedSettings()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(int, theme);
        QFETCH(int, visible);
        m_settings.Write(key, stored);
        if (theme >= 0)
            QCOMPARE(Settings::ReadThemeIndex(key == "Digits" ? Settings::Digits : Settings::Face), theme);
        if (visible >= 0)
            QCOMPARE(Settings::ReadVisible(), visible == 1);
    }

    // Pure placement rules. "clock": a stored clock rectangle on the screens'
    // areas; "missed panel": a 400 x 135 panel for the clock rectangle;
    // "tool": a tool window's client size (index 1: it may shrink), expected
    // frame position and client size; "cascade": notification number index.
    void placement_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("window");
        QTest::addColumn<int>("index");
        QTest::addColumn<QRect>("expected");

        const QList<QRect> sxga{QRect(0, 0, 1280, 1024)};
        const QList<QRect> twoScreens{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1200)};
        QTest::newRow("clock on screen kept")
            << "clock" << sxga << QRect(500, 400, 200, 70) << 0 << QRect(500, 400, 200, 70);
        QTest::newRow("clock half off the right kept")
            << "clock" << sxga << QRect(1180, 400, 200, 70) << 0 << QRect(1180, 400, 200, 70);
        QTest::newRow("clock at scale 2 on 1280 x 1024") << "clock" << QList<QRect>{QRect(0, 0, 640, 512)}
                                                         << QRect(1080, 300, 200, 70) << 0 << QRect(440, 300, 200, 70);
        QTest::newRow("clock from 1920 wide on 1024 x 768")
            << "clock" << QList<QRect>{QRect(0, 0, 1024, 768)} << QRect(1004, 761, 200, 70) << 0
            << QRect(824, 698, 200, 70);
        QTest::newRow("clock behind a bottom panel") << "clock" << QList<QRect>{QRect(0, 0, 1280, 1000)}
                                                     << QRect(500, 990, 200, 70) << 0 << QRect(500, 930, 200, 70);
        QTest::newRow("clock on the second screen kept")
            << "clock" << twoScreens << QRect(2500, 1100, 200, 70) << 0 << QRect(2500, 1100, 200, 70);
        QTest::newRow("clock beyond the second screen")
            << "clock" << twoScreens << QRect(3400, 500, 200, 70) << 0 << QRect(3000, 500, 200, 70);
        QTest::newRow("clock under the smaller screen")
            << "clock" << twoScreens << QRect(1000, 1100, 200, 70) << 0 << QRect(1000, 954, 200, 70);
        QTest::newRow("missed panel below")
            << "missed panel" << sxga << QRect(500, 400, 200, 70) << 0 << QRect(400, 469, 400, 135);
        QTest::newRow("missed panel just fits below")
            << "missed panel" << sxga << QRect(500, 820, 200, 70) << 0 << QRect(400, 889, 400, 135);
        QTest::newRow("missed panel above at the bottom")
            << "missed panel" << sxga << QRect(500, 821, 200, 70) << 0 << QRect(400, 687, 400, 135);
        QTest::newRow("missed panel beside a clock at the right edge")
            << "missed panel" << sxga << QRect(1080, 821, 200, 70) << 0 << QRect(880, 687, 400, 135);
        QTest::newRow("missed panel beside a clock at the left edge")
            << "missed panel" << sxga << QRect(-20, 100, 200, 70) << 0 << QRect(0, 169, 400, 135);
        QTest::newRow("missed panel on a lower screen") << "missed panel" << QList<QRect>{QRect(0, 1024, 1280, 1024)}
                                                        << QRect(100, 1950, 200, 70) << 0 << QRect(0, 1816, 400, 135);
        QTest::newRow("tool window centred")
            << "tool" << sxga << QRect(0, 0, 201, 169) << 0 << QRect(539, 427, 201, 169);
        QTest::newRow("tool window beside a left panel") << "tool" << QList<QRect>{QRect(100, 30, 1180, 994)}
                                                         << QRect(0, 0, 750, 469) << 1 << QRect(315, 292, 750, 469);
        QTest::newRow("about window at scale 2 shrinks")
            << "tool" << QList<QRect>{QRect(0, 0, 640, 512)} << QRect(0, 0, 750, 469) << 1 << QRect(0, 59, 630, 393);
        QTest::newRow("too large, its corner inside")
            << "tool" << QList<QRect>{QRect(0, 0, 640, 512)} << QRect(0, 0, 750, 500) << 0 << QRect(0, 0, 750, 500);
        QTest::newRow("first notification")
            << "cascade" << sxga << QRect(0, 0, 400, 100) << 0 << QRect(440, 462, 400, 100);
        QTest::newRow("second notification")
            << "cascade" << sxga << QRect(0, 0, 400, 100) << 1 << QRect(470, 492, 400, 100);
        QTest::newRow("fifteenth notification, last step")
            << "cascade" << sxga << QRect(0, 0, 400, 100) << 14 << QRect(860, 882, 400, 100);
        QTest::newRow("sixteenth notification wraps")
            << "cascade" << sxga << QRect(0, 0, 400, 100) << 15 << QRect(440, 462, 400, 100);
        QTest::newRow("small screen wraps sooner") << "cascade" << QList<QRect>{QRect(0, 0, 800, 600)}
                                                   << QRect(0, 0, 400, 100) << 7 << QRect(200, 250, 400, 100);
    }

    void placement()
    {
        QFETCH(QString, rule);
        QFETCH(QList<QRect>, areas);
        QFETCH(QRect, window);
        QFETCH(int, index);
        QFETCH(QRect, expected);

        QRect placed;
        if (rule == "clock")
            placed = QRect(WindowPositioning::ReachablePosition(window, areas), window.size());
        else if (rule == "missed panel")
            placed =
                QRect(WindowPositioning::MissedPanelPosition(window, QSize(400, 135), areas.first()), QSize(400, 135));
        else if (rule == "tool")
            placed = WindowPositioning::CentredToolWindow(areas.first(), window.size(), index == 1);
        else
            placed = QRect(WindowPositioning::CascadePosition(areas.first(), window.size(), index), window.size());
        QCOMPARE(placed, expected);
    }

    // What lies where the settings and their lock should be. A save never
    // waits long and never writes over what is not a settings file; a read of
    // one that is no plain file gives the defaults at once.
    void settingsFilesLeftBehind_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<bool>("saves");
        QTest::addColumn<QString>("problem");
        QTest::newRow("nothing") << "" << true << "";
        QTest::newRow("a stale lock naming no process") << "stale lock" << true << "";
        QTest::newRow("a lock that is a folder") << "lock folder" << false << "hqz.conf.lock";
        QTest::newRow("a settings file that is a named pipe") << "pipe" << false << "not a plain file";
        QTest::newRow("no settings folder yet (a new account)") << "no folder" << true << "";
    }

    void settingsFilesLeftBehind()
    {
        QFETCH(QString, left);
        QFETCH(bool, saves);
        QFETCH(QString, problem);
        const QString lock = m_settings.FilePath() + QStringLiteral(".lock");
        if (left == "stale lock") {
            QFile file(lock);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("999999999\nsomething\nsomehost\n");
            file.close();
            const time_t hourAgo = time(nullptr) - 3600;
            const utimbuf old{hourAgo, hourAgo};
            QCOMPARE(::utime(QFile::encodeName(lock).constData(), &old), 0);
        } else if (left == "lock folder") {
            QVERIFY(QDir().mkdir(lock));
        } else if (left == "no folder") {
            QVERIFY(QDir(m_settings.Folder()).removeRecursively());
        } else if (left == "pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(m_settings.FilePath()).constData(), 0600), 0);
        }
        QElapsedTimer took;
        took.start();
        QCOMPARE(Settings::Read(Settings::Visible), QStringLiteral("1"));
        QString why;
        QCOMPARE(Settings::Write({{Settings::Face, QStringLiteral("2")}}, &why), saves);
        QVERIFY2(took.elapsed() < 2000, qPrintable(QString::number(took.elapsed())));
        QVERIFY2(problem.isEmpty() ? why.isEmpty() : why.contains(problem), qPrintable(why));
        QCOMPARE(Settings::Read(Settings::Face), saves ? QStringLiteral("2") : QStringLiteral("0"));
        QCOMPARE(Settings::Unusable().isEmpty(), left != "pipe");
        if (left == "pipe") {
            struct stat info = {};
            QCOMPARE(::stat(QFile::encodeName(m_settings.FilePath()).constData(), &info), 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        }
    }
};

QTEST_MAIN(UiTest)
#include "tst_ui.moc"
