#include "engine/AlarmChecking.h"
#include "engine/AlarmWindows.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "notify/MessageForm.h"
#include "notify/RingSession.h"
#include "notify/SoundModule.h"
#include "tests/common/FormTestHelpers.h"
#include "tests/common/NotificationFixture.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Stands in for the clock window: counts how often the missed panel is asked for.
class WindowsRecorder : public AlarmWindows
{
public:
    void OpenNotification(const QString &, const QString &, qint32, const QString &) override {}
    void ShowMissedAlarms() override { ++missedShown; }
    int missedShown = 0;
};

qint32 Minute(int year, int month, int day, int hour, int minute)
{
    return TimingModule::MinuteOf(QDate(year, month, day), QTime(hour, minute));
}

// Missed lines of this run, without the empty element 0.
QStringList MissedLines()
{
    return AlarmChecking::MissedAlarms.mid(1);
}

} // namespace

class TestNotify : public QObject
{
    Q_OBJECT

private:
    QStringList chimes; // the path handed to the player, once per chime
    int stops = 0;      // chimes stopped

    // Advances the window by the given number of AlertTimer ticks.
    static void Tick(MessageForm *form, int ticks)
    {
        for (int i = 0; i < ticks && form; ++i)
            form->AlertTimer_Timer();
    }

private slots:
    void init()
    {
        AlarmChecking::ResetMissedAlarms();
        AlarmChecking::SetWindows(nullptr);
        MessageForm::SetAlertInterval(0);
        chimes.clear();
        stops = 0;
        SoundModule::SetProgramFolder(QStringLiteral("/opt/tockwise"));
        SoundModule::SetPlayer([this](const QString &path) { chimes.append(path); }, [this] { ++stops; });
        Snoozes::SetFile(QString());
    }

    // One snooze of the Dentist (identity "id-7") for that many minutes, its
    // chime stopped at once; or, with 0, none and the chime left to end.
    void expectSnooze(int minutes)
    {
        QCOMPARE(Snoozes::Pending().size(), minutes ? 1 : 0);
        QCOMPARE(stops, minutes ? 1 : 0);
        if (!minutes)
            return;
        const Snoozes::Snooze &snooze = Snoozes::Pending().first();
        QCOMPARE(snooze.name, QStringLiteral("Dentist"));
        QCOMPARE(snooze.alarmId, QStringLiteral("id-7"));
        const qint64 left = QDateTime::currentDateTimeUtc().secsTo(snooze.end);
        QVERIFY2(left > minutes * 60 - 10 && left <= minutes * 60, qPrintable(QString::number(left)));
        Snoozes::CancelFor(QStringLiteral("id-7"));
    }

    void cleanup()
    {
        DeleteNotifications();
        AlarmChecking::SetWindows(nullptr);
        SoundModule::SetPlayer({});
    }

    // ---- the window as built -------------------------------------------------

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<int>("horizontal");
        QTest::addColumn<bool>("wraps");

        QTest::newRow("title") << "Label1"
                               << "Alarm Notification" << QRect(104, 8, 249, 17) << 9.75 << true << int(Qt::AlignLeft)
                               << false;
        QTest::newRow("close") << "CloseButton"
                               << "X" << QRect(376, 8, 17, 17) << 9.75 << true << int(Qt::AlignHCenter) << false;
        QTest::newRow("date") << "DateLabel"
                              << "07:00,  5 March" << QRect(104, 24, 281, 17) << 8.25 << false << int(Qt::AlignRight)
                              << false;
        QTest::newRow("message") << "MessageLabel"
                                 << "Dentist" << QRect(104, 40, 281, 49) << 9.75 << false << int(Qt::AlignLeft) << true;
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        QFETCH(qreal, points);
        QFETCH(bool, bold);
        QFETCH(int, horizontal);
        QFETCH(bool, wraps);

        MessageForm *form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("07:00,  5 March"), 0);
        auto *label = form->findChild<QLabel *>(name);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->geometry(), geometry);
        QCOMPARE(label->font().family(), QStringLiteral("Arial"));
        QCOMPARE(label->font().pointSizeF(), points);
        QCOMPARE(label->font().bold(), bold);
        QCOMPARE(int(label->alignment() & Qt::AlignHorizontal_Mask), horizontal);
        QCOMPARE(label->wordWrap(), wraps);
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    }

    void window()
    {
        MessageForm *form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("07:00,  5 March"), 0);
        QCOMPARE(form->windowTitle(), QStringLiteral("Alarm Notification"));
        QCOMPARE(form->size(), QSize(400, 100));
        QVERIFY(form->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!(form->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(form->isVisible());
        QVERIFY(!form->isModal());
        QCOMPARE(form->geometry().center(), QGuiApplication::primaryScreen()->geometry().center());

        auto *line = form->findChild<QFrame *>(QStringLiteral("Line1"));
        QVERIFY(line);
        QCOMPARE(line->geometry(), QRect(104, 24, 288, 1));
        auto *timer = form->findChild<QTimer *>(QStringLiteral("AlertTimer"));
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 5000);
        QVERIFY(timer->isActive());
    }

    void fireSetsCaptionsAndTag()
    {
        const qint32 due = Minute(2024, 3, 3, 8, 5);
        MessageForm *form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("08:05,  3 March"), due);
        QCOMPARE(form->MessageLabel->text(), QStringLiteral("Dentist"));
        QCOMPARE(form->DateLabel->text(), QStringLiteral("08:05,  3 March"));
        QCOMPARE(form->Tag(), QString::number(due));
        QCOMPARE(form->AlertTicks, 1);
        QCOMPARE(chimes, QStringList{QStringLiteral("/opt/tockwise/Chime1.wav")});
    }

    // A screen reader reads the notification's name and time from its
    // accessible interface (the alert event itself needs a live bridge).
    void readableByScreenReaders()
    {
        MessageForm *form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("08:05,  3 March"), 1);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(form);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Alarm Notification: Dentist, 08:05,  3 March"));
    }

    // An alarm name is text as typed; markup in it must not turn into formatting.
    void nameIsPlainText()
    {
        MessageForm *form = MessageForm::Fire(QStringLiteral("<b>Pay</b> &amp; go"), QStringLiteral("x"), 0);
        const QImage plain = form->MessageLabel->grab().toImage();
        form->MessageLabel->setTextFormat(Qt::RichText);
        QVERIFY(form->MessageLabel->grab().toImage() != plain);
    }

    // ---- the chime cycle and the timeout ------------------------------------

    void chimesByTick_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("expectedChimes");
        QTest::addColumn<bool>("open");

        QTest::newRow("at load") << 0 << 1 << true;
        QTest::newRow("5 s") << 1 << 2 << true;
        QTest::newRow("50 s") << 10 << 11 << true;
        QTest::newRow("55 s, the last chime") << 11 << 12 << true;
        QTest::newRow("60 s, silence") << 12 << 12 << true;
        QTest::newRow("295 s, still open") << 59 << 12 << true;
        QTest::newRow("300 s, closed") << 60 << 12 << false;
    }

    void chimesByTick()
    {
        QFETCH(int, ticks);
        QFETCH(int, expectedChimes);
        QFETCH(bool, open);

        QPointer<MessageForm> form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), 0);
        Tick(form, ticks);
        RunDeferredDeletes();
        QCOMPARE(chimes.size(), expectedChimes);
        QCOMPARE(!form.isNull(), open);
        QCOMPARE(MissedLines().size(), open ? 0 : 1);
    }

    void unansweredBecomesMissedLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("dateText");
        QTest::addColumn<qint32>("due");
        QTest::addColumn<QString>("line");

        QTest::newRow("on time") << "Dentist"
                                 << "08:05,  3 March" << Minute(2024, 3, 3, 8, 5) << "Dentist - 08:05,  3 March";
        QTest::newRow("opened late, after sleep")
            << "Dentist"
            << "08:10,  3 March" << Minute(2024, 3, 3, 8, 5) << "Dentist - 08:05,  3 March";
        QTest::newRow("opened the next day")
            << "Late shift"
            << "00:02,  1 January" << Minute(2024, 12, 31, 23, 59) << "Late shift - 23:59,  31 December";
        QTest::newRow("first minute of 2000") << "Zero"
                                              << "x" << 0 << "Zero - 00:00,  1 January";
        QTest::newRow("before 2000") << "Old clock"
                                     << "x" << Minute(1999, 12, 31, 23, 0) << "Old clock - 23:00,  31 December";
    }

    void unansweredBecomesMissedLine()
    {
        QFETCH(QString, name);
        QFETCH(QString, dateText);
        QFETCH(qint32, due);
        QFETCH(QString, line);

        WindowsRecorder recorder;
        AlarmChecking::SetWindows(&recorder);
        QPointer<MessageForm> form = MessageForm::Fire(name, dateText, due);
        Tick(form, 59);
        QVERIFY(MissedLines().isEmpty());
        Tick(form, 1);
        QCOMPARE(MissedLines(), QStringList{line});
        QCOMPARE(recorder.missedShown, 1);
        QVERIFY(form->isHidden());
        RunDeferredDeletes();
        QVERIFY(form.isNull());
    }

    // The tag is text; whatever it holds, its leading number is the minute.
    void tagReadLeniently_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("line");

        QTest::newRow("digits") << QString::number(Minute(2024, 3, 3, 8, 5)) << "A - 08:05,  3 March";
        QTest::newRow("trailing text") << QString::number(Minute(2024, 3, 3, 8, 5)) + "abc"
                                       << "A - 08:05,  3 March";
        QTest::newRow("empty") << ""
                               << "A - 00:00,  1 January";
        QTest::newRow("no number") << "abc"
                                   << "A - 00:00,  1 January";
        QTest::newRow("beyond the minute range") << "99999999999999"
                                                 << "A - 00:00,  1 January";
    }

    void tagReadLeniently()
    {
        QFETCH(QString, tag);
        QFETCH(QString, line);

        QPointer<MessageForm> form = MessageForm::Fire(QStringLiteral("A"), QStringLiteral("x"), 0);
        form->SetTag(tag);
        Tick(form, 60);
        QCOMPARE(MissedLines(), QStringList{line});
    }

    // The real timer, sped up: the whole cycle runs by itself.
    void timerDrivesTheWholeCycle()
    {
        MessageForm::SetAlertInterval(2);
        QPointer<MessageForm> form =
            MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), Minute(2024, 3, 3, 8, 5));
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 10000);
        QCOMPARE(chimes.size(), 12);
        QCOMPARE(MissedLines(), QStringList{QStringLiteral("Dentist - 08:05,  3 March")});
    }

    // ---- the "X" --------------------------------------------------------------

    void closeButtonAtTwentySeconds()
    {
        MessageForm::SetAlertInterval(2);
        QPointer<MessageForm> form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), 0);
        form->AlertTimer->stop(); // driven by hand up to the click
        Tick(form, 4);
        QCOMPARE(chimes.size(), 5);
        form->AlertTimer->start();

        QTest::mouseClick(form->CloseButton, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(!form || form->isHidden());
        QTest::qWait(300); // far more than the rest of the cycle at this speed
        QVERIFY(form.isNull());
        QCOMPARE(chimes.size(), 5);
        QVERIFY(MissedLines().isEmpty());
    }

    void keysThatClose_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("clicked");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("snoozed"); // minutes, 0 for none
        QTest::newRow("Escape") << int(Qt::Key_Escape) << true << true << 0;
        QTest::newRow("Return") << int(Qt::Key_Return) << true << true << 0;
        QTest::newRow("Enter on the keypad") << int(Qt::Key_Enter) << true << true << 0;
        QTest::newRow("Space") << int(Qt::Key_Space) << true << false << 0;
        QTest::newRow("X") << int(Qt::Key_X) << true << false << 0;
        QTest::newRow("S snoozes ten minutes") << int(Qt::Key_S) << true << true << 10;
        // Focused as it opened (a window manager that ignores the request not
        // to): the keys were typed for another window.
        QTest::newRow("Return, not clicked") << int(Qt::Key_Return) << false << false << 0;
        QTest::newRow("Escape, not clicked") << int(Qt::Key_Escape) << false << false << 0;
        QTest::newRow("S, not clicked") << int(Qt::Key_S) << false << false << 0;
    }

    // As the "X": the window goes, the chimes and the timeout with it; a
    // snooze besides keeps the alarm for later and stops the chime at once.
    void keysThatClose()
    {
        QFETCH(int, key);
        QFETCH(bool, clicked);
        QFETCH(bool, closes);
        QFETCH(int, snoozed);
        QPointer<MessageForm> form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), 0, "id-7");
        QVERIFY(QTest::qWaitForWindowActive(form));
        if (clicked)
            QTest::mouseClick(form->MessageLabel, Qt::LeftButton);
        QTest::keyClick(form, Qt::Key(key));
        RunDeferredDeletes();
        QCOMPARE(form.isNull(), closes);
        Tick(form, 60);
        QCOMPARE(MissedLines().size(), closes ? 0 : 1);
        expectSnooze(snoozed);
    }

    // The right button's menu: each length snoozes for it, "Dismiss" does what
    // "X" does. The notification's tooltip says so.
    void snoozeMenu_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("snoozed");
        QTest::newRow("5") << "Snooze5"
                           << "Snooze 5 Minutes" << 5;
        QTest::newRow("10") << "Snooze10"
                            << "Snooze 10 Minutes" << 10;
        QTest::newRow("15") << "Snooze15"
                            << "Snooze 15 Minutes" << 15;
        QTest::newRow("30") << "Snooze30"
                            << "Snooze 30 Minutes" << 30;
        QTest::newRow("an hour") << "Snooze60"
                                 << "Snooze 1 Hour" << 60;
        QTest::newRow("Dismiss") << "Dismiss"
                                 << "Dismiss" << 0;
    }
    void snoozeMenu()
    {
        QFETCH(QString, item);
        QFETCH(QString, caption);
        QFETCH(int, snoozed);
        QPointer<MessageForm> form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), 0, "id-7");
        QCOMPARE(form->toolTip(), QStringLiteral("Right-click to snooze. X to dismiss."));
        const QList<QAction *> actions = form->SnoozeMenu->actions();
        QCOMPARE(actions.size(), 7);
        QVERIFY(actions.at(5)->isSeparator());
        QAction *action = form->SnoozeMenu->findChild<QAction *>(item);
        QVERIFY(action);
        QCOMPARE(action->text(), caption);
        action->trigger();
        RunDeferredDeletes();
        QVERIFY(form.isNull());
        QCOMPARE(MissedLines().size(), 0);
        expectSnooze(snoozed);
    }

    void clicksElsewhereDoNotClose_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("button");

        QTest::newRow("title") << "Label1" << int(Qt::LeftButton);
        QTest::newRow("message") << "MessageLabel" << int(Qt::LeftButton);
        QTest::newRow("right button on X") << "CloseButton" << int(Qt::RightButton);
    }

    void clicksElsewhereDoNotClose()
    {
        QFETCH(QString, control);
        QFETCH(int, button);

        QPointer<MessageForm> form = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), 0);
        auto *label = form->findChild<QLabel *>(control);
        QTest::mouseClick(label, Qt::MouseButton(button), {}, QPoint(8, 8));
        RunDeferredDeletes();
        QVERIFY(!form.isNull());
        QVERIFY(form->isVisible());
    }

    // ---- several windows ------------------------------------------------------

    void twoWindowsCloseIndependently()
    {
        const qint32 due = Minute(2024, 3, 5, 7, 0);
        QPointer<MessageForm> first = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), due);
        QPointer<MessageForm> second = MessageForm::Fire(QStringLiteral("Gym"), QStringLiteral("x"), due);
        // Both readable: the later one 30 pixels down and right, on top.
        QCOMPARE(second->pos(), first->pos() + QPoint(30, 30));
        QVERIFY(QTest::qWaitForWindowActive(second));
        QCOMPARE(QApplication::activeWindow(), second.data());
        QCOMPARE(chimes.size(), 2);

        Tick(first, 4);
        QTest::mouseClick(first->CloseButton, Qt::LeftButton, {}, QPoint(8, 8));
        RunDeferredDeletes();
        QVERIFY(first.isNull());
        QVERIFY(!second.isNull());
        QVERIFY(second->isVisible());
        // A third takes the place the first left, covering none.
        QPointer<MessageForm> third = MessageForm::Fire(QStringLiteral("Call"), QStringLiteral("x"), due);
        QCOMPARE(third->pos(), second->pos() - QPoint(30, 30));
        third->close();
        RunDeferredDeletes();
        chimes.removeLast();

        Tick(second, 20);
        QCOMPARE(chimes.size(), 2 + 4 + 11);
        Tick(second, 40);
        RunDeferredDeletes();
        QVERIFY(second.isNull());
        QCOMPARE(MissedLines(), QStringList{QStringLiteral("Gym - 07:00,  5 March")});
    }

    // The program rings from the first notification's first chime until the
    // last one closes, however it closes.
    void ringSpansOpenNotifications_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("X") << "X";
        QTest::newRow("snooze") << "snooze";
        QTest::newRow("time-out") << "time-out";
        QTest::newRow("dismiss command") << "dismiss";
        QTest::newRow("deleted unclosed") << "deleted";
    }
    void ringSpansOpenNotifications()
    {
        QFETCH(QString, how);
        RingSession &ring = RingSession::Instance();
        QSignalSpy started(&ring, &RingSession::Started);
        QSignalSpy ended(&ring, &RingSession::Ended);
        // Each window's own ring too, which its desktop bubble follows.
        QSignalSpy windowStarted(&ring, &RingSession::NotificationStarted);
        QSignalSpy windowEnded(&ring, &RingSession::NotificationEnded);
        const qint32 due = Minute(2024, 3, 5, 7, 0);
        QPointer<MessageForm> first = MessageForm::Fire(QStringLiteral("Dentist"), QStringLiteral("x"), due);
        QCOMPARE(chimes.size(), 1); // started with the first chime
        QCOMPARE(started.size(), 1);
        QCOMPARE(started.first().first().toString(), QStringLiteral("Dentist"));
        QVERIFY(ring.Ringing());
        QPointer<MessageForm> second =
            MessageForm::Fire(QStringLiteral("Gym"), QStringLiteral("x"), due, QStringLiteral("id-7"));
        QCOMPARE(started.size(), 1);
        QCOMPARE(windowStarted.size(), 2);
        QCOMPARE(windowStarted.at(1).first().value<QObject *>(), second.data());
        QObject *const firstWindow = first.data();
        QObject *const secondWindow = second.data();
        first->close();
        RunDeferredDeletes();
        QCOMPARE(ended.size(), 0);
        QCOMPARE(windowEnded.size(), 1);
        QCOMPARE(windowEnded.first().first().value<QObject *>(), firstWindow);

        if (how == QLatin1String("X"))
            QTest::mouseClick(second->CloseButton, Qt::LeftButton, {}, QPoint(8, 8));
        else if (how == QLatin1String("snooze"))
            second->Snooze(5);
        else if (how == QLatin1String("time-out"))
            Tick(second, MessageForm::UnansweredRound);
        else if (how == QLatin1String("dismiss"))
            QCOMPARE(MessageForm::DismissAll(), 1);
        else
            delete second.data();
        RunDeferredDeletes();
        QVERIFY(second.isNull());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(windowEnded.size(), 2);
        QCOMPARE(windowEnded.last().first().value<QObject *>(), secondWindow);
        QVERIFY(!ring.Ringing());
        Snoozes::CancelFor(QStringLiteral("id-7"));
        AlarmChecking::ResetMissedAlarms();

        // A ring after that is a new one; the program ending ends it.
        MessageForm::Fire(QStringLiteral("Call"), QStringLiteral("x"), due);
        QCOMPARE(started.size(), 2);
        ring.EndAll();
        QCOMPARE(ended.size(), 2);
        QCOMPARE(ended.last().first().toBool(), true);
    }

    // ---- wrapping and clipping of the name -----------------------------------

    void longNameWrapsAndIsClipped()
    {
        const QString longName =
            QStringLiteral("Take the blue folder to the accountant on the third floor and ask "
                           "about the invoice from last spring before the office closes today, then "
                           "collect the spare keys from the front desk");
        MessageForm *form = MessageForm::Fire(QString(), QStringLiteral("08:05,  3 March"), 0);
        const QImage empty = form->grab().toImage();
        form->MessageLabel->setText(longName);
        const QImage full = form->grab().toImage();

        // It would need more than the 49 pixels it has.
        QVERIFY(form->MessageLabel->heightForWidth(281) > 49);
        QCOMPARE(form->MessageLabel->size(), QSize(281, 49));

        QRect changed;
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x)
                if (full.pixel(x, y) != empty.pixel(x, y))
                    changed |= QRect(x, y, 1, 1);
        QVERIFY(!changed.isEmpty());
        QVERIFY2(QRect(104, 40, 281, 49).contains(changed), qPrintable(QStringLiteral("text drawn at %1,%2 %3x%4")
                                                                           .arg(changed.x())
                                                                           .arg(changed.y())
                                                                           .arg(changed.width())
                                                                           .arg(changed.height())));
        // Wrapped: ink on three lines, down into the last rows of the box.
        QVERIFY(changed.bottom() > 40 + 30);
        if (qEnvironmentVariableIsSet("TOCKWISE_NOTIFY_SNAPSHOT"))
            full.save(qEnvironmentVariable("TOCKWISE_NOTIFY_SNAPSHOT"));
    }

    // ---- the sound ------------------------------------------------------------

    void chimePath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("path");

        QTest::newRow("plain") << "/opt/tockwise"
                               << "/opt/tockwise/Chime1.wav";
        QTest::newRow("trailing slash") << "/opt/tockwise/"
                                        << "/opt/tockwise/Chime1.wav";
        QTest::newRow("spaces") << "/home/a b/My Clock"
                                << "/home/a b/My Clock/Chime1.wav";
    }

    void chimePath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, path);
        SoundModule::SetProgramFolder(folder);
        SoundModule::PlayChime();
        QCOMPARE(chimes, QStringList{path});
    }

    // Whatever is (or is not) beside the program and whether or not there is
    // any sound output, chiming goes on silently.
    void realPlayerSurvivesBadChime_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("present");

        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("not a wave") << QByteArray("this is not a sound file") << true;
        QTest::newRow("truncated header") << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << true;
    }

    void realPlayerSurvivesBadChime()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, present);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        if (present) {
            QFile file(folder.filePath(QStringLiteral("Chime1.wav")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        SoundModule::SetProgramFolder(folder.path());
        SoundModule::SetPlayer({});
        // The real player with a chime it cannot play: each chime still
        // returns at once (the notification's timer must not stall), and
        // stopping one is harmless.
        for (int chime = 0; chime < 3; ++chime) {
            QElapsedTimer took;
            took.start();
            SoundModule::PlayChime();
            QVERIFY2(took.elapsed() < 500, qPrintable(QString::number(took.elapsed())));
        }
        SoundModule::StopChime();
    }
};

QTEST_MAIN(TestNotify)
#include "tst_notify.moc"
