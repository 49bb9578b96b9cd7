#include "clockwindow/MainForm.h"
#include "clockwindow/RegionData.h"
#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "engine/Settings.h"
#include "engine/TimingModule.h"
#include "notify/MessageForm.h"
#include "notify/MissedForm.h"
#include "resources/Artwork.h"
#include "tests/common/AlarmFixtures.h"
#include "tests/common/ClockFixture.h"
#include "tests/common/SettingsFixture.h"
#include "ui/FormRegistry.h"
#include "ui/WindowPositioning.h"

#include <QAccessible>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

AlarmRecord daily(const QString &name, int hour, int minute)
{
    return makeAlarm(name, AlarmRecord::Daily, static_cast<quint8>(hour), static_cast<quint8>(minute));
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

} // namespace

class ClockWindowTest : public QObject
{
    Q_OBJECT

private:
    TestSettings m_settings;
    ClockFixture m_clock;

    MainForm *loadClock() { return m_clock.LoadClock(); }
    static bool tick(MainForm *clock, int times = 1) { return ClockFixture::Tick(clock, times); }
    void saveAlarms(const QList<AlarmRecord> &alarms) { QVERIFY(ClockFixture::SaveAlarms(alarms)); }

private slots:
    void init()
    {
        m_settings.Clear();
        m_clock.Begin();
    }

    void cleanup() { m_clock.End(); }

    // ---- Settings --------------------------------------------------------

    void firstRunDefaults()
    {
        MainForm *clock = loadClock();
        QCOMPARE(clock->size(), QSize(200, 70));
        // A third of the 800 x 800 screen: 4000 twips, 267 whole pixels.
        QCOMPARE(clock->pos(), QPoint(267, 267));
        QVERIFY(clock->isVisible());
        QCOMPARE(AlarmChecking::LastCheck, TimingModule::CurrentMinute());
        QCOMPARE(AlarmChecking::MissedAlarms.size(), 1);
        QVERIFY(!Forms().Find<MissedForm>()->isVisible());

        clock->close();
        QCOMPARE(m_settings.Read("Last Check"), QString::number(TimingModule::CurrentMinute()));
        QCOMPARE(m_settings.Read("X"), QStringLiteral("4005"));
        QCOMPARE(m_settings.Read("Y"), QStringLiteral("4005"));
        QCOMPARE(m_settings.Read("Visible"), QStringLiteral("True"));
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
            m_clock.now = m_clock.now.addSecs(60);
            tick(clock, 4);
            QCOMPARE(clock->SaveTimer()->isActive(), minute == 60);
        }
        QCOMPARE(clock->SaveTimer()->interval(), 0);
        clock->SaveTimer_Timer();
        clock->SaveTimer()->stop();
        QCOMPARE(m_settings.Read("Last Check"), QString::number(TimingModule::CurrentMinute()));
        // Saving the alarms writes it too: an alarm added now for a minute
        // already past must not be reported as missed after a crash.
        m_clock.now = m_clock.now.addSecs(600);
        tick(clock, 12);
        QVERIFY(AlarmStore::Instance().Add({daily("Added now", 9, 0)}));
        QCOMPARE(m_settings.Read("Last Check"), QString::number(TimingModule::CurrentMinute()));
        // A move starts the wait that bounds how old the stored place can be.
        clock->move(clock->pos() + QPoint(10, 0));
        QTRY_VERIFY(clock->SaveTimer()->isActive());
        QCOMPARE(clock->SaveTimer()->interval(), MainForm::SaveInterval);
    }

    void storedPositionAndVisibilityComeBack()
    {
        m_settings.Write("X", "-1500"); // half off the left edge: restored unchanged
        m_settings.Write("Y", "4995");
        m_settings.Write("Visible", "False");
        MainForm *clock = loadClock();
        QCOMPARE(clock->pos(), QPoint(-100, 333));
        QVERIFY(!clock->isVisible());
        clock->SaveTimer_Timer();
        QCOMPARE(m_settings.Read("X"), QStringLiteral("-1500"));
        QCOMPARE(m_settings.Read("Visible"), QStringLiteral("False"));
        // The periodic save leaves everything loaded.
        QVERIFY(Forms().Find<MissedForm>());
    }

    void unusablePositionsFallBackToTheDefault_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<QPoint>("pos");
        // The default is a third of the 800 x 800 screen.
        QTest::newRow("huge") << "1e300"
                              << "99999999999999999999" << QPoint(267, 267);
        QTest::newRow("hugely negative") << "-1e300"
                                         << "-99999999999999999999" << QPoint(267, 267);
        QTest::newRow("beyond the window system's range") << "600000"
                                                          << "-450015" << QPoint(267, 267);
        QTest::newRow("text is the edge") << "left"
                                          << "" << QPoint(0, 0);
    }

    void unusablePositionsFallBackToTheDefault()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(QPoint, pos);
        m_settings.Write("X", x);
        m_settings.Write("Y", y);
        QCOMPARE(loadClock()->pos(), pos);
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
        m_settings.Write("X", x);
        m_settings.Write("Y", y);
        MainForm *clock = loadClock();
        QCOMPARE(clock->screen()->availableGeometry(), QRect(0, 0, 800, 800));
        QCOMPARE(clock->pos(), pos);
        // The missed panel stays in reach too: above a clock at the bottom.
        MissedForm *missed = Forms().Find<MissedForm>();
        QVERIFY(QRect(0, 0, 800, 800).contains(missed->geometry()));
    }

    void lastCheckFarInTheFutureIsDamage()
    {
        saveAlarms({daily("Soon", 9, 6)});
        m_settings.Write("Last Check", "99999999999999999999");
        MainForm *clock = loadClock();
        QCOMPARE(AlarmChecking::LastCheck, TimingModule::CurrentMinute());
        m_clock.now = m_clock.now.addSecs(60);
        tick(clock);
        QCOMPARE(AlarmChecking::LastCheck, TimingModule::CurrentMinute());
    }

    void lastCheckInTheFutureChecksNothing()
    {
        saveAlarms({daily("Every minute there", 9, 10)});
        const qint32 future = TimingModule::CurrentMinute() + 30;
        m_settings.Write("Last Check", QString::number(future));
        MainForm *clock = loadClock();
        QCOMPARE(AlarmChecking::LastCheck, future);
        m_clock.now = m_clock.now.addSecs(10 * 60);
        tick(clock, 5);
        QCOMPARE(AlarmChecking::LastCheck, future);
        QCOMPARE(AlarmChecking::MissedAlarms.size(), 1);
    }

    void startupCatchUpFillsAndShowsThePanel()
    {
        // Closed on Monday 18:00, started on Thursday 09:05, hidden.
        saveAlarms({daily("Dentist", 7, 0)});
        m_settings.Write("Last Check", QString::number(TimingModule::MinuteOf(QDate(2024, 3, 4), QTime(18, 0))));
        m_settings.Write("Visible", "False");
        MainForm *clock = loadClock();
        MissedForm *missed = Forms().Find<MissedForm>();
        QVERIFY(missed->isVisible());
        QVERIFY(clock->isVisible()); // recording a missed alarm shows the clock after all
        QCOMPARE(missed->RowText(0), QStringLiteral("Dentist - 07:00,  5 March"));
        QCOMPARE(missed->RowText(2), QStringLiteral("Dentist - 07:00,  7 March"));
        QCOMPARE(missed->RowText(3), QString());
        // The panel hangs centred under the clock, over its bottom pixel row.
        QCOMPARE(missed->x() + missed->width() / 2, clock->x() + clock->width() / 2);
        QCOMPARE(missed->y(), clock->y() + 69);
    }

    void unreadableAlarmFileStopsStartUp()
    {
        QVERIFY(QDir(AlarmHandling::AlarmFolder()).mkdir(AlarmHandling::FileName));
        MainForm *clock = Forms().Get<MainForm>();
        QString error;
        QVERIFY(!clock->Form_Load(&error));
        QVERIFY(error.contains(AlarmHandling::FileName));
        QVERIFY(QFileInfo(AlarmHandling::AlarmFilePath()).isDir());
        // A clock that never loaded saves nothing of its own over the user's.
        clock->close();
        QCOMPARE(m_settings.Read("Last Check"), QString());
        QCOMPARE(m_settings.Read("X"), QString());
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
        m_settings.Write("Digits", "1");
        m_settings.Write("Face", "2");
        MainForm *clock = loadClock();
        tick(clock, 4);
        QCOMPARE(clock->BackBuffer().pixel(segmentCentre(0, 0)), Artwork::kPeakColours[1][4]);
        const QImage face = Artwork::Bitmap(1003).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(clock->BackBuffer().pixel(100, 4), face.pixel(100, 4));
    }

    void nineFiftyNineToTen()
    {
        m_clock.now = QDateTime(QDate(2024, 3, 7), QTime(9, 59, 58));
        MainForm *clock = loadClock();
        tick(clock, 4);
        m_clock.now = QDateTime(QDate(2024, 3, 7), QTime(10, 0, 0));
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
        m_clock.now = m_clock.now.addSecs(5 * 60);
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
        m_clock.now = QDateTime(QDate(2024, 3, 7), QTime(23, 59));
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
        m_clock.now = m_clock.now.addSecs(120);
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
            QTest::mousePress(clock->windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(50, 30));
        } else {
            clock->hide();
        }
        QVERIFY(!clock->IsDragging());
        const qint32 lastCheck = AlarmChecking::LastCheck;
        m_clock.now = m_clock.now.addSecs(60);
        tick(clock);
        QCOMPARE(AlarmChecking::LastCheck, lastCheck + 1);
        // Leave no button down for the next test.
        QTest::mouseRelease(clock->windowHandle(), Qt::RightButton);
        QTest::mouseRelease(clock->windowHandle(), Qt::LeftButton);
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
    }
};

QTEST_MAIN(ClockWindowTest)
#include "tst_clockwindow.moc"
