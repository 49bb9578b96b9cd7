#include "clockwindow/MainForm.h"
#include "clockwindow/RegionData.h"
#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "engine/TimingModule.h"
#include "notify/MessageForm.h"
#include "notify/MissedForm.h"
#include "resources/Artwork.h"
#include "shell/MenuForm.h"
#include "shell/ShellWiring.h"
#include "shell/SystemTray.h"
#include "ui/FormRegistry.h"
#include "ui/Settings.h"
#include "ui/WindowPositioning.h"

#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

QDateTime fakeNow;
QString chosenItem; // objectName of the menu item the "user" picks; empty dismisses

QAction *chooseItem(QMenu *menu)
{
    for (QAction *action : menu->actions()) {
        if (action->objectName() == chosenItem)
            return action;
    }
    return nullptr;
}

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("hqz"));
}

void writeSetting(const QString &key, const QString &value)
{
    QSettings s = store();
    s.setValue(QStringLiteral("Digital Clock/") + key, value);
}

QString readSetting(const QString &key)
{
    return store().value(QStringLiteral("Digital Clock/") + key).toString();
}

AlarmRecord daily(const QString &name, int hour, int minute)
{
    AlarmRecord r;
    r.Name = AlarmRecord::FixedName(name);
    r.AlarmType = AlarmRecord::Daily;
    r.Hour = static_cast<quint8>(hour);
    r.Minute = static_cast<quint8>(minute);
    return r;
}

// The brightest pixel of segment s in digit cell p of the back buffer.
QRgb brightestIn(const QImage &image, const QRect &box)
{
    QRgb best = qRgb(0, 0, 0);
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (qGray(image.pixel(x, y)) > qGray(best))
                best = image.pixel(x, y);
    return best;
}

const QRect SegmentBoxes[7] = {QRect(QPoint(5, 1), QPoint(24, 6)),    QRect(QPoint(22, 4), QPoint(28, 24)),
                               QRect(QPoint(5, 22), QPoint(24, 27)),  QRect(QPoint(1, 4), QPoint(7, 24)),
                               QRect(QPoint(22, 25), QPoint(28, 45)), QRect(QPoint(5, 43), QPoint(24, 48)),
                               QRect(QPoint(1, 25), QPoint(7, 45))};
const int CellLeft[4] = {25, 55, 115, 145};

// Central pixel of a segment's box: inside every style of bar.
QPoint segmentCentre(int p, int s)
{
    return SegmentBoxes[s].center() + QPoint(CellLeft[p], 10);
}

// A right click: the press opens the menu, the release follows.
void rightClick(QWidget *widget, Qt::KeyboardModifiers modifiers = {}, QPoint pos = QPoint())
{
    QTest::mousePress(widget, Qt::RightButton, modifiers, pos);
    if (widget)
        QTest::mouseRelease(widget, Qt::RightButton, modifiers, pos);
}

} // namespace

class ClockWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_config;
    QTemporaryDir *m_alarms = nullptr;

    MainForm *loadClock()
    {
        MainForm *clock = Forms().Get<MainForm>();
        QString error;
        if (!clock->Form_Load(&error))
            qWarning() << error;
        // The tests drive the ticks themselves.
        clock->RefreshTimer()->stop();
        clock->SaveTimer()->stop();
        return clock;
    }

    // Returns whether the last tick asked for the quick cadence, which is
    // cancelled: the test steps the clock itself. The minute wake-up sleeps on
    // the test's clock and stays quiet.
    bool tick(MainForm *clock, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            clock->RefreshTimer_Timer();
        const bool quick = clock->RefreshTimer()->isActive();
        clock->RefreshTimer()->stop();
        return quick;
    }

    void saveAlarms(const QList<AlarmRecord> &alarms)
    {
        AlarmHandling::Alarms = {AlarmRecord{}};
        AlarmHandling::Alarms.append(alarms);
        QVERIFY(AlarmHandling::SaveAlarms());
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        ShellWiring::Install();
        MenuForm::SetMenuChooser(&chooseItem);
    }

    void init()
    {
        QSettings s = store();
        s.clear();
        s.sync();
        m_alarms = new QTemporaryDir;
        AlarmHandling::SetAlarmFolder(m_alarms->path());
        AlarmHandling::Alarms = {AlarmRecord{}};
        AlarmChecking::ResetMissedAlarms();
        fakeNow = QDateTime(QDate(2024, 3, 7), QTime(9, 5, 12));
        TimingModule::SetClock([] { return fakeNow; });
        chosenItem.clear();
    }

    void cleanup()
    {
        // Rung alarms open notification windows of their own, outside the registry.
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows)
            if (qobject_cast<MessageForm *>(window))
                delete window;
        Forms().DeleteAll();
        SystemTray::TrayIconAdded = false;
        SystemTray::ActivatesOnClick = false;
        TimingModule::SetClock({});
        delete m_alarms;
    }

    // ---- Settings --------------------------------------------------------

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
        writeSetting(key, stored);
        if (theme >= 0)
            QCOMPARE(Settings::ReadThemeIndex(key == "Digits" ? Settings::Digits : Settings::Face), theme);
        if (visible >= 0)
            QCOMPARE(Settings::ReadVisible(), visible == 1);
    }

    void firstRunDefaults()
    {
        MainForm *clock = loadClock();
        QCOMPARE(clock->size(), QSize(200, 70));
        const QRect screen = clock->screen()->geometry();
        // One third of the screen in twips, back in whole pixels.
        QCOMPARE(clock->pos(), QPoint(qRound(screen.width() * 15 / 3 / 15.0), qRound(screen.height() * 15 / 3 / 15.0)));
        QVERIFY(clock->isVisible());
        QCOMPARE(AlarmChecking::LastCheck, TimingModule::CurrentMinute());
        QCOMPARE(AlarmChecking::MissedAlarms.size(), 1);
        QVERIFY(!Forms().Find<MissedForm>()->isVisible());

        clock->close();
        QCOMPARE(readSetting("Last Check"), QString::number(TimingModule::CurrentMinute()));
        QCOMPARE(readSetting("X"), QString::number(clock->pos().x() * 15));
        QCOMPARE(readSetting("Y"), QString::number(clock->pos().y() * 15));
        QCOMPARE(readSetting("Visible"), QStringLiteral("True"));
    }

    void savedWhenSomethingChanged()
    {
        MainForm *clock = loadClock();
        tick(clock, 4); // faded in: the first sleep saves what the start caught up
        QVERIFY(clock->SaveTimer()->isActive());
        clock->SaveTimer_Timer();
        clock->SaveTimer()->stop();
        // The last check moves every minute, but on its own is written only
        // once an hour, on a wake-up the clock has anyway.
        for (int minute = 1; minute <= 60; ++minute) {
            fakeNow = fakeNow.addSecs(60);
            tick(clock, 4);
            QCOMPARE(clock->SaveTimer()->isActive(), minute == 60);
        }
        QCOMPARE(clock->SaveTimer()->interval(), 0);
        clock->SaveTimer_Timer();
        clock->SaveTimer()->stop();
        QCOMPARE(readSetting("Last Check"), QString::number(TimingModule::CurrentMinute()));
        // Saving the alarms writes it too: an alarm added now for a minute
        // already past must not be reported as missed after a crash.
        fakeNow = fakeNow.addSecs(600);
        tick(clock, 12);
        saveAlarms({});
        QCOMPARE(readSetting("Last Check"), QString::number(TimingModule::CurrentMinute()));
        // A move starts the wait that bounds how old the stored place can be.
        clock->move(clock->pos() + QPoint(10, 0));
        QTRY_VERIFY(clock->SaveTimer()->isActive());
        QCOMPARE(clock->SaveTimer()->interval(), MainForm::SaveInterval);
    }

    void storedPositionAndVisibilityComeBack()
    {
        writeSetting("X", "-1500"); // half off the left edge: restored unchanged
        writeSetting("Y", "4995");
        writeSetting("Visible", "False");
        MainForm *clock = loadClock();
        QCOMPARE(clock->pos(), QPoint(-100, 333));
        QVERIFY(!clock->isVisible());
        clock->SaveTimer_Timer();
        QCOMPARE(readSetting("X"), QStringLiteral("-1500"));
        QCOMPARE(readSetting("Visible"), QStringLiteral("False"));
        // The periodic save leaves everything loaded.
        QVERIFY(Forms().Find<MenuForm>());
        QVERIFY(Forms().Find<MissedForm>());
    }

    void unusablePositionsFallBackToTheDefault_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<bool>("defaultX");
        QTest::addColumn<bool>("defaultY");
        QTest::newRow("huge") << "1e300"
                              << "99999999999999999999" << true << true;
        QTest::newRow("hugely negative") << "-1e300"
                                         << "-99999999999999999999" << true << true;
        QTest::newRow("beyond the window system's range") << "600000"
                                                          << "-450015" << true << true;
        QTest::newRow("text is the edge") << "left"
                                          << "" << false << false;
    }

    void unusablePositionsFallBackToTheDefault()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(bool, defaultX);
        QFETCH(bool, defaultY);
        writeSetting("X", x);
        writeSetting("Y", y);
        MainForm *clock = loadClock();
        const QRect screen = clock->screen()->geometry();
        const int expectedX =
            defaultX ? qRound(screen.width() * 15 / 3 / 15.0) : qRound(Settings::LenientNumber(x) / 15);
        const int expectedY =
            defaultY ? qRound(screen.height() * 15 / 3 / 15.0) : qRound(Settings::LenientNumber(y) / 15);
        QCOMPARE(clock->pos(), QPoint(expectedX, expectedY));
    }

    // The offscreen screen is 800 x 800; the clock 200 x 70.
    void storedPositionIsReachable_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<QPoint>("pos");
        QTest::newRow("on the screen, kept exactly") << "4500"
                                                     << "3000" << QPoint(300, 200);
        QTest::newRow("half off the right, kept") << "10500"
                                                  << "4500" << QPoint(700, 300);
        QTest::newRow("from a larger screen, 20 x 7 left showing") << "11700"
                                                                   << "11895" << QPoint(600, 730);
        QTest::newRow("far off screen but possible") << "449985"
                                                     << "-449985" << QPoint(600, 0);
        QTest::newRow("a monitor on the left unplugged") << "-22500"
                                                         << "1500" << QPoint(0, 100);
    }

    void storedPositionIsReachable()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(QPoint, pos);
        writeSetting("X", x);
        writeSetting("Y", y);
        MainForm *clock = loadClock();
        QCOMPARE(clock->screen()->availableGeometry(), QRect(0, 0, 800, 800));
        QCOMPARE(clock->pos(), pos);
        // The missed panel stays in reach too: above a clock at the bottom.
        MissedForm *missed = Forms().Find<MissedForm>();
        QVERIFY(QRect(0, 0, 800, 800).contains(missed->geometry()));
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

    void lastCheckFarInTheFutureIsDamage()
    {
        saveAlarms({daily("Soon", 9, 6)});
        writeSetting("Last Check", "99999999999999999999");
        MainForm *clock = loadClock();
        QCOMPARE(AlarmChecking::LastCheck, TimingModule::CurrentMinute());
        fakeNow = fakeNow.addSecs(60);
        tick(clock);
        QCOMPARE(AlarmChecking::LastCheck, TimingModule::CurrentMinute());
    }

    void lastCheckInTheFutureChecksNothing()
    {
        saveAlarms({daily("Every minute there", 9, 10)});
        const qint32 future = TimingModule::CurrentMinute() + 30;
        writeSetting("Last Check", QString::number(future));
        MainForm *clock = loadClock();
        QCOMPARE(AlarmChecking::LastCheck, future);
        fakeNow = fakeNow.addSecs(10 * 60);
        tick(clock, 5);
        QCOMPARE(AlarmChecking::LastCheck, future);
        QCOMPARE(AlarmChecking::MissedAlarms.size(), 1);
    }

    void startupCatchUpFillsAndShowsThePanel()
    {
        // Closed on Monday 18:00, started on Thursday 09:05, hidden.
        saveAlarms({daily("Dentist", 7, 0)});
        writeSetting("Last Check", QString::number(TimingModule::MinuteOf(QDate(2024, 3, 4), QTime(18, 0))));
        writeSetting("Visible", "False");
        MainForm *clock = loadClock();
        MissedForm *missed = Forms().Find<MissedForm>();
        QVERIFY(missed->isVisible());
        QVERIFY(clock->isVisible()); // recording a missed alarm shows the clock after all
        QVERIFY(Forms().Find<MenuForm>()->Menu_Main_Missed->isChecked());
        QCOMPARE(missed->RowText(0), QStringLiteral("Dentist - 07:00,  5 March"));
        QCOMPARE(missed->RowText(2), QStringLiteral("Dentist - 07:00,  7 March"));
        QCOMPARE(missed->RowText(3), QString());
        // The panel hangs centred under the clock, over its bottom pixel row.
        QCOMPARE(missed->x() + missed->width() / 2, clock->x() + clock->width() / 2);
        QCOMPARE(missed->y(), clock->y() + 69);
    }

    void unreadableAlarmFileStopsStartUp()
    {
        QVERIFY(QDir(m_alarms->path()).mkdir(AlarmHandling::FileName));
        MainForm *clock = Forms().Get<MainForm>();
        QString error;
        QVERIFY(!clock->Form_Load(&error));
        QVERIFY(error.contains(AlarmHandling::FileName));
        QVERIFY(QFileInfo(AlarmHandling::AlarmFilePath()).isDir());
        // A clock that never loaded saves nothing of its own over the user's.
        clock->close();
        QCOMPARE(readSetting("Last Check"), QString());
        QCOMPARE(readSetting("X"), QString());
    }

    // ---- The outline -----------------------------------------------------

    void outlineFromTheBlock()
    {
        MainForm *clock = loadClock();
        const QRegion mask = clock->mask();
        QCOMPARE(mask.rectCount(), 27);
        QCOMPARE(mask.boundingRect(), QRect(1, 1, 198, 68));
        QVERIFY(mask.contains(QPoint(100, 35)));
        QVERIFY(!mask.contains(QPoint(0, 35))); // column 0 is outside
        QVERIFY(!mask.contains(QPoint(18, 1))); // the top band starts at 19
        QVERIFY(mask.contains(QPoint(19, 1)));
        QVERIFY(!mask.contains(QPoint(181, 68))); // the bottom band ends before 181
    }

    void outlineFromDamagedFilesKeepsTheRectangle_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = Artwork::CustomResource(QString::fromLatin1(Artwork::kRegionResourceName));
        QTest::newRow("eight bytes") << good.left(8);
        QTest::newRow("cut short") << good.left(200);
        QTest::newRow("a rectangle outside the size") << [good] {
            QByteArray b = good;
            b[40 + 8] = char(0x2c); // right edge of the first band becomes 300
            b[40 + 9] = char(0x01);
            return b;
        }();
    }

    void outlineFromDamagedFilesKeepsTheRectangle()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(bytes);
        file.close();
        QWidget window;
        window.resize(50, 40);
        RegionData shape;
        QVERIFY(!shape.TransformWindow(&window, file.fileName(), 1, QString()));
        QVERIFY(window.mask().isEmpty());
        QCOMPARE(window.size(), QSize(50, 40));
    }

    void outlineFromAFileWithoutResizing()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(Artwork::CustomResource(QString::fromLatin1(Artwork::kRegionResourceName)));
        file.close();
        QWidget window;
        window.resize(300, 100);
        {
            RegionData shape;
            QVERIFY(shape.TransformWindow(&window, file.fileName(), 0, QString()));
            QCOMPARE(window.size(), QSize(300, 100));
            QCOMPARE(window.mask().rectCount(), 27);
        }
        QVERIFY(window.mask().isEmpty()); // released with the object
    }

    // ---- Painting --------------------------------------------------------

    void digitsFadeInOverFourTicks()
    {
        MainForm *clock = loadClock();
        // 09:05: hour tens 0 lights segments 0,1,3,4,5,6 and never the middle.
        for (int level = 1; level <= 4; ++level) {
            // The tick that lights the last level is the fade's last.
            QCOMPARE(tick(clock), level < 4);
            const QImage &back = clock->BackBuffer();
            QCOMPARE(clock->SegmentLevel(0, 0), level);
            QCOMPARE(back.pixel(segmentCentre(0, 0)), Artwork::kPeakColours[0][level]);
            QCOMPARE(back.pixel(segmentCentre(3, 5)), Artwork::kPeakColours[0][level]); // 5 has its bottom
            QCOMPARE(qGray(back.pixel(segmentCentre(0, 2))), 0);                        // 0 has no middle
            QCOMPARE(qGray(back.pixel(segmentCentre(3, 1))), 0);                        // 5 has no upper right
        }
        // Nothing changes until 09:06: the clock sleeps until exactly then.
        clock->RefreshTimer_Timer();
        QVERIFY(!clock->RefreshTimer()->isActive());
        QCOMPARE(clock->Waker()->Deadline(), QDateTime(QDate(2024, 3, 7), QTime(9, 6)).toMSecsSinceEpoch());
        QCOMPARE(clock->SegmentLevel(0, 0), 4);
        // The colon is always fully lit; the face frame stays where it was.
        QCOMPARE(brightestIn(clock->BackBuffer(), QRect(85 + 12, 10 + 12, 6, 6)), Artwork::kPeakColours[0][4]);
        const QImage face = Artwork::Bitmap(1001).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(clock->BackBuffer().pixel(3, 35), face.pixel(3, 35));
    }

    void chosenThemeIsDrawn()
    {
        writeSetting("Digits", "1");
        writeSetting("Face", "2");
        MainForm *clock = loadClock();
        tick(clock, 4);
        QCOMPARE(clock->BackBuffer().pixel(segmentCentre(0, 0)), Artwork::kPeakColours[1][4]);
        const QImage face = Artwork::Bitmap(1003).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(clock->BackBuffer().pixel(100, 4), face.pixel(100, 4));
    }

    void nineFiftyNineToTen()
    {
        fakeNow = QDateTime(QDate(2024, 3, 7), QTime(9, 59, 58));
        MainForm *clock = loadClock();
        tick(clock, 4);
        fakeNow = QDateTime(QDate(2024, 3, 7), QTime(10, 0, 0));
        // Hour tens 0 -> 1: segments 0, 3, 5, 6 dim, 1 and 4 stay lit.
        // 9 -> 0 loses the middle and gains both lower-left and bottom; 5 -> 0
        // loses the middle and gains upper right and lower left.
        const int expected[4][7] = {
            {3, 4, 0, 3, 4, 3, 3}, {4, 4, 3, 4, 4, 1, 1}, {4, 1, 3, 4, 4, 4, 1}, {4, 4, 3, 4, 4, 1, 1}};
        tick(clock);
        for (int p = 0; p < 4; ++p)
            for (int s = 0; s < 7; ++s)
                QVERIFY2(clock->SegmentLevel(p, s) == expected[p][s],
                         qPrintable(QStringLiteral("p %1 s %2").arg(p).arg(s)));
        tick(clock, 3);
        const int pattern[4] = {18, 123, 123, 123}; // 1, 0, 0, 0
        for (int p = 0; p < 4; ++p)
            for (int s = 0; s < 7; ++s)
                QCOMPARE(clock->SegmentLevel(p, s), ((pattern[p] >> s) & 1) ? 4 : 0);
    }

    void liveCheckAdvancesOneMinutePerTickEvenWhenHidden()
    {
        saveAlarms({daily("Hidden", 9, 7)});
        MainForm *clock = loadClock();
        clock->hide();
        const qint32 start = AlarmChecking::LastCheck;
        fakeNow = fakeNow.addSecs(5 * 60);
        tick(clock, 2);
        QCOMPARE(AlarmChecking::LastCheck, start + 2);
        QCOMPARE(clock->SegmentLevel(0, 0), 0); // no painting while hidden
        // Skipped minutes keep the quick cadence until the last is examined,
        // hidden or not; then the clock sleeps.
        QVERIFY(tick(clock, 2));
        QVERIFY(!tick(clock));
        QCOMPARE(AlarmChecking::LastCheck, start + 5);
        QVERIFY(!tick(clock, 10));
        QCOMPARE(AlarmChecking::LastCheck, start + 5);
    }

    void accessibleNameFollowsTheMinute()
    {
        MainForm *clock = loadClock();
        tick(clock);
        QCOMPARE(clock->accessibleName(), QStringLiteral("09:05"));
        fakeNow = QDateTime(QDate(2024, 3, 7), QTime(23, 59));
        tick(clock);
        QCOMPARE(clock->accessibleName(), QStringLiteral("23:59"));
    }

    // ---- Dragging --------------------------------------------------------

    void dragMovesTheClockAndThePanel()
    {
        MainForm *clock = loadClock();
        clock->move(300, 200);
        MissedForm *missed = Forms().Find<MissedForm>();
        clock->PositionMissedForm();
        tick(clock);
        const QPoint grab(50, 30);
        // Through the window system, so the program knows the button is down.
        QTest::mousePress(clock->windowHandle(), Qt::LeftButton, {}, grab);
        QVERIFY(clock->IsDragging());
        QTest::mouseMove(clock->windowHandle(), grab + QPoint(10, 0));
        QCOMPARE(clock->LeftTwips(), 300 * 15 + 150);
        QCOMPARE(clock->pos(), QPoint(310, 200));
        QCOMPARE(missed->pos(), QPoint(310 - 100, 200 + 69));

        // While dragging the alarm check goes on; only the drawing waits.
        const qint32 lastCheck = AlarmChecking::LastCheck;
        fakeNow = fakeNow.addSecs(120);
        tick(clock, 3);
        QVERIFY(clock->IsDragging());
        QCOMPARE(AlarmChecking::LastCheck, lastCheck + 2);
        QCOMPARE(clock->SegmentLevel(0, 0), 1);

        // Releasing the button ends the drag; the next tick draws again.
        QTest::mouseRelease(clock->windowHandle(), Qt::LeftButton, {}, grab + QPoint(10, 0));
        QVERIFY(!clock->IsDragging());
        tick(clock);
        QCOMPARE(clock->SegmentLevel(0, 0), 2);
    }

    // A drag ends whenever the clock can no longer see its button, or it
    // would stay frozen until the next click on it.
    void dragEndsWhenTheClockLosesTheButton_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::newRow("the main menu opens") << "menu";
        QTest::newRow("the clock is hidden") << "hide";
    }
    void dragEndsWhenTheClockLosesTheButton()
    {
        QFETCH(QString, cause);
        MainForm *clock = loadClock();
        clock->show();
        tick(clock);
        QTest::mousePress(clock->windowHandle(), Qt::LeftButton, {}, QPoint(50, 30));
        QVERIFY(clock->IsDragging());
        if (cause == QLatin1String("menu")) {
            chosenItem.clear(); // dismissed
            QTest::mousePress(clock->windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(50, 30));
        } else {
            clock->hide();
        }
        QVERIFY(!clock->IsDragging());
        const qint32 lastCheck = AlarmChecking::LastCheck;
        fakeNow = fakeNow.addSecs(60);
        tick(clock);
        QCOMPARE(AlarmChecking::LastCheck, lastCheck + 1);
        // Leave no button down for the next test.
        QTest::mouseRelease(clock->windowHandle(), Qt::RightButton);
        QTest::mouseRelease(clock->windowHandle(), Qt::LeftButton);
    }

    // ---- Menus -----------------------------------------------------------

    void menuHideShowAndMissedToggle()
    {
        MainForm *clock = loadClock();
        MenuForm *menus = Forms().Find<MenuForm>();
        MissedForm *missed = Forms().Find<MissedForm>();

        chosenItem = "Menu_Main_Missed";
        rightClick(clock, {}, QPoint(100, 35));
        QVERIFY(missed->isVisible());
        QVERIFY(menus->Menu_Main_Missed->isChecked());
        rightClick(clock, {}, QPoint(100, 35));
        QVERIFY(!missed->isVisible());
        QVERIFY(!menus->Menu_Main_Missed->isChecked());

        menus->Menu_Main_Missed->trigger();
        chosenItem = "Menu_Main_Hide";
        menus->PopupMainMenu();
        QVERIFY(!clock->isVisible());
        QVERIFY(!missed->isVisible());
        QVERIFY(!menus->Menu_Main_Missed->isChecked());

        chosenItem = "Menu_Tray_Cancel";
        menus->TrayIcon_Activated(QSystemTrayIcon::Context);
        QVERIFY(!clock->isVisible());
        menus->TrayIcon_Activated(QSystemTrayIcon::Trigger); // a single click does nothing
        QVERIFY(!clock->isVisible());
        menus->TrayIcon_Activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(clock->isVisible());
        QVERIFY(!missed->isVisible()); // only the clock comes back
    }

    // The main menu from the right button and from the keyboard; chosen here,
    // "Show Missed Alarms" shows that it opened.
    void mainMenuOpeners_data()
    {
        QTest::addColumn<int>("key"); // 0: a right click
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("opens");
        QTest::newRow("right button") << 0 << 0 << true;
        QTest::newRow("Menu key") << int(Qt::Key_Menu) << 0 << true;
        QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << true;
        QTest::newRow("F10 alone") << int(Qt::Key_F10) << 0 << false;
        QTest::newRow("Ctrl+Shift+F10") << int(Qt::Key_F10) << int(Qt::ControlModifier | Qt::ShiftModifier) << false;
        QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << false;
    }

    void mainMenuOpeners()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, opens);
        MainForm *clock = loadClock();
        chosenItem = "Menu_Main_Missed";
        if (key == 0)
            rightClick(clock, {}, QPoint(100, 35));
        else
            QTest::keyClick(clock, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(Forms().Find<MissedForm>()->isVisible(), opens);
        QCOMPARE(Forms().Find<MenuForm>()->Menu_Main_Missed->isChecked(), opens);
    }

    // An XEmbed tray reports a double click (and a click before it); a
    // StatusNotifierItem tray reports only the activation of a left click.
    void trayClicksShowTheClock_data()
    {
        QTest::addColumn<bool>("statusNotifier");
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("shows");
        QTest::newRow("XEmbed, single click") << false << int(QSystemTrayIcon::Trigger) << false;
        QTest::newRow("XEmbed, double click") << false << int(QSystemTrayIcon::DoubleClick) << true;
        QTest::newRow("XEmbed, middle click") << false << int(QSystemTrayIcon::MiddleClick) << false;
        QTest::newRow("StatusNotifierItem, activation") << true << int(QSystemTrayIcon::Trigger) << true;
        QTest::newRow("StatusNotifierItem, secondary activation") << true << int(QSystemTrayIcon::MiddleClick) << false;
    }

    void trayClicksShowTheClock()
    {
        QFETCH(bool, statusNotifier);
        QFETCH(int, reason);
        QFETCH(bool, shows);
        writeSetting("Visible", "False");
        MainForm *clock = loadClock();
        QVERIFY(!clock->isVisible());
        SystemTray::ActivatesOnClick = statusNotifier;
        Forms().Find<MenuForm>()->TrayIcon_Activated(QSystemTrayIcon::ActivationReason(reason));
        QCOMPARE(clock->isVisible(), shows);
        QVERIFY(!Forms().Find<MissedForm>()->isVisible());
    }

    void exitUnloadsTheClockMenusAndPanel()
    {
        MainForm *clock = loadClock();
        QPointer<MainForm> clockAlive(clock);
        QPointer<MenuForm> menus(Forms().Find<MenuForm>());
        QPointer<MissedForm> missed(Forms().Find<MissedForm>());
        clock->move(120, 90);
        chosenItem = "Menu_Tray_Exit";
        // The tray menu opens once the right button is up, after the icon's event.
        menus->TrayIcon_Activated(QSystemTrayIcon::Context);
        QVERIFY(clockAlive);
        QTRY_VERIFY(!clockAlive);
        QVERIFY(!menus);
        QVERIFY(!missed);
        QCOMPARE(readSetting("X"), QStringLiteral("1800"));
        QCOMPARE(readSetting("Y"), QStringLiteral("1350"));
    }

    // ---- The missed panel ------------------------------------------------

    void missedPanelRules_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QList<int>>("blanked"); // entries deleted before the panel is drawn
        QTest::addColumn<int>("downPresses");
        QTest::addColumn<QString>("firstRow");
        QTest::addColumn<QString>("lastRow");
        QTest::addColumn<bool>("upActive");
        QTest::addColumn<bool>("downActive");
        QTest::addColumn<bool>("hasEntries");

        QTest::newRow("empty") << 0 << QList<int>{} << 0 << ""
                               << "" << false << false << false;
        QTest::newRow("six fit") << 6 << QList<int>{} << 0 << "E1"
                                 << "E6" << false << false << true;
        QTest::newRow("a seventh turns down white") << 7 << QList<int>{} << 0 << "E1"
                                                    << "E6" << false << true << true;
        QTest::newRow("ten, four presses") << 10 << QList<int>{} << 4 << "E5"
                                           << "E10" << true << false << true;
        QTest::newRow("ten, a fifth press does nothing") << 10 << QList<int>{} << 5 << "E5"
                                                         << "E10" << true << false << true;
        QTest::newRow("deleted entries close up") << 8 << QList<int>{2, 3} << 0 << "E1"
                                                  << "E8" << false << false << true;
        // An empty panel over entries that remain would hide them: back to the top.
        QTest::newRow("nothing left below the scroll position") << 8 << QList<int>{3, 4, 5, 6, 7, 8} << 2 << "E1"
                                                                << "E2" << false << false << true;
    }

    void missedPanelRules()
    {
        QFETCH(int, entries);
        QFETCH(QList<int>, blanked);
        QFETCH(int, downPresses);
        QFETCH(QString, firstRow);
        QFETCH(QString, lastRow);
        QFETCH(bool, upActive);
        QFETCH(bool, downActive);
        QFETCH(bool, hasEntries);

        MissedForm *missed = Forms().Get<MissedForm>();
        for (int i = 1; i <= entries; ++i)
            AlarmChecking::MissedAlarms.append(QStringLiteral("E%1").arg(i));
        missed->UpdateMissedList();
        // Scroll while every entry is there, then delete, as a user would.
        for (int i = 0; i < downPresses; ++i)
            missed->DownButton_MouseDown(Qt::LeftButton);
        for (int k : blanked)
            AlarmChecking::MissedAlarms[k] = QString();
        missed->UpdateMissedList();

        QCOMPARE(missed->RowText(0), firstRow);
        int last = MissedForm::Rows - 1;
        while (last > 0 && missed->RowText(last).isEmpty())
            --last;
        QCOMPARE(missed->RowText(last), lastRow);
        QCOMPARE(missed->UpColour() == MissedForm::Active, upActive);
        QCOMPARE(missed->DownColour() == MissedForm::Active, downActive);
        QCOMPARE(missed->HasEntries(), hasEntries);
        QCOMPARE(missed->UpColour() == MissedForm::Active ? 0 : 1, upActive ? 0 : 1);
    }

    void missedMenuDeleteClearAndClose()
    {
        MissedForm *missed = Forms().Get<MissedForm>();
        MenuForm *menus = Forms().Get<MenuForm>();
        for (int i = 1; i <= 8; ++i)
            AlarmChecking::MissedAlarms.append(QStringLiteral("E%1").arg(i));
        missed->show();
        missed->UpdateMissedList();
        missed->DownButton_MouseDown(Qt::RightButton); // an arrow scrolls with any button
        QCOMPARE(missed->RowText(0), QStringLiteral("E2"));

        // A right click on the second row and "Delete" blanks E3 only.
        chosenItem = "Menu_Missed_Delete";
        rightClick(missed->findChild<QLabel *>("MissedList_1"));
        QCOMPARE(menus->SelectionID, 3);
        QCOMPARE(AlarmChecking::MissedAlarms.at(3), QString());
        QCOMPARE(AlarmChecking::MissedAlarms.at(4), QStringLiteral("E4"));
        QCOMPARE(missed->RowText(1), QStringLiteral("E4"));
        QCOMPARE(missed->RowTag(1), QStringLiteral("4"));

        // A left click does nothing; a right click on an empty row cannot delete.
        chosenItem = "Menu_Missed_Delete";
        QTest::mousePress(missed->findChild<QLabel *>("MissedList_1"), Qt::LeftButton);
        QCOMPARE(missed->RowText(1), QStringLiteral("E4"));

        // "Clear All" empties the list and scrolls back to the top, so a new
        // line shows in the first row; the panel stays.
        chosenItem = "Menu_Missed_Clear";
        missed->Label1_MouseDown(Qt::RightButton);
        QCOMPARE(AlarmChecking::MissedAlarms, QStringList{QString()});
        QCOMPARE(missed->MissedStart, 0);
        QCOMPARE(missed->UpColour(), MissedForm::Inactive);
        QVERIFY(missed->isVisible());
        AlarmChecking::MissedAlarms.append(QStringLiteral("New"));
        missed->UpdateMissedList();
        QCOMPARE(missed->RowText(0), QStringLiteral("New"));
        AlarmChecking::ResetMissedAlarms();
        missed->UpdateMissedList();
        missed->MissedList_MouseDown(5, Qt::RightButton); // an empty row
        QVERIFY(!menus->Menu_Missed_Delete->isEnabled());
        QCOMPARE(menus->SelectionID, 3);

        // "Close" hides it and clears the check mark.
        menus->Menu_Main_Missed->setChecked(true);
        chosenItem = "Menu_Missed_Close";
        rightClick(missed, {}, QPoint(200, 125));
        QVERIFY(!missed->isVisible());
        QVERIFY(!menus->Menu_Main_Missed->isChecked());
        QVERIFY(!menus->Menu_Missed_Clear->isEnabled());
    }
};

QTEST_MAIN(ClockWindowTest)
#include "tst_clockwindow.moc"
