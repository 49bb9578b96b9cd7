#include "about/AdForm.h"
#include "about/PersonalForm.h"
#include "alarmui/ModifyForm.h"
#include "engine/AlarmHandling.h"
#include "engine/Snoozes.h"
#include "notify/MessageForm.h"
#include "notify/MissedForm.h"
#include "resources/Artwork.h"
#include "shell/CommandHost.h"
#include "shell/CommandLine.h"
#include "shell/MenuForm.h"
#include "shell/ShellWiring.h"
#include "shell/SingleInstance.h"
#include "shell/SystemTray.h"
#include "tests/common/ClockFixture.h"
#include "tests/common/FormTestHelpers.h"
#include "tests/common/SettingsFixture.h"
#include "theme/ThemeForm.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"
#include "ui/Settings.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Arguments as main() gets them, the program's own name first.
class CommandArguments
{
public:
    explicit CommandArguments(const QStringList &arguments)
    {
        m_words.emplace_back("/usr/bin/tockwise");
        for (const QString &a : arguments)
            m_words.push_back(a.toStdString());
        for (const std::string &w : m_words)
            m_argv.push_back(w.c_str());
        m_argv.push_back(nullptr);
    }
    int Count() const { return int(m_words.size()); }
    const char *const *Values() const { return m_argv.data(); }

private:
    std::vector<std::string> m_words;
    std::vector<const char *> m_argv;
};

QString chosenItem; // objectName of the menu item the "user" picks; empty dismisses

QAction *chooseItem(QMenu *menu)
{
    for (QAction *action : menu->actions()) {
        if (action->objectName() == chosenItem)
            return action;
    }
    return nullptr;
}

// A right click: the press opens the menu, the release follows.
void rightClick(QWidget *widget, Qt::KeyboardModifiers modifiers = {}, QPoint pos = QPoint())
{
    QTest::mousePress(widget, Qt::RightButton, modifiers, pos);
    if (widget)
        QTest::mouseRelease(widget, Qt::RightButton, modifiers, pos);
}

// Clicks a row as the user would.
void ClickRow(QListWidget *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

} // namespace

// Receives the addresses the about windows hand to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

class ShellTest : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    ClockFixture m_clock;
    UrlRecorder urls;
    QStringList asked;
    bool answer = false;
    QList<QPair<QString, QStringList>> launched;
    int ended = 0;
    QString launchFailure;
    QStringList errors;

    ThemeForm *OpenTheme()
    {
        ThemeForm *form = Forms().ShowOrRaise<ThemeForm>();
        if (!QTest::qWaitForWindowExposed(form))
            qWarning("theme window not exposed");
        return form;
    }

    static QListWidget *List(QWidget *form, const char *name) { return Child<QListWidget>(form, name); }
    static QPushButton *Button(QWidget *form, const char *name) { return Child<QPushButton>(form, name); }
    MainForm *loadClock() { return m_clock.LoadClock(); }

private slots:
    void initTestCase()
    {
        ShellWiring::Install();
        MenuForm::SetMenuChooser(&chooseItem);
        Dialogs::SetErrorHandler([this](const QString &text) { errors << text; });
        Dialogs::SetAskHandler([this](const QString &text) {
            asked << text;
            return answer;
        });
        ShellWiring::SetRestartSeam(
            [this](const QString &program, const QStringList &arguments) {
                launched.append({program, arguments});
                return launchFailure;
            },
            [this] { ++ended; });
        for (const char *scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &urls, "open");
    }

    void cleanupTestCase()
    {
        for (const char *scheme : {"http", "https"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
        Dialogs::SetErrorHandler({});
        Dialogs::SetAskHandler({});
    }

    void init()
    {
        m_settings.Clear();
        QFile::remove(m_settings.FilePath());
        m_clock.Begin();
        chosenItem.clear();
        asked.clear();
        answer = false;
        launched.clear();
        launchFailure.clear();
        errors.clear();
        ended = 0;
        urls.opened.clear();
    }

    void cleanup()
    {
        m_clock.End();
        RunDeferredDeletes();
        SystemTray::TrayIconAdded = false;
        SystemTray::ActivatesOnClick = false;
    }

    void themeOpensOnTheStoredChoice_data()
    {
        QTest::addColumn<QString>("digits"); // empty: not stored
        QTest::addColumn<QString>("face");
        QTest::addColumn<QString>("digitText");
        QTest::addColumn<QString>("faceText");
        QTest::newRow("nothing stored") << ""
                                        << ""
                                        << "White"
                                        << "Silver";
        QTest::newRow("2 and 3") << "2"
                                 << "3"
                                 << "Orange"
                                 << "Brass";
        QTest::newRow("1 and 2") << "1"
                                 << "2"
                                 << "Red"
                                 << "Metalic Blue";
        QTest::newRow("leading number") << "3 "
                                        << "1x"
                                        << "Green"
                                        << "Gold";
        QTest::newRow("outside 0-3") << "4"
                                     << "-1"
                                     << "White"
                                     << "Silver";
        QTest::newRow("not a number") << "abc"
                                      << ""
                                      << "White"
                                      << "Silver";
    }

    void themeOpensOnTheStoredChoice()
    {
        QFETCH(QString, digits);
        QFETCH(QString, face);
        QFETCH(QString, digitText);
        QFETCH(QString, faceText);
        if (!digits.isEmpty())
            Settings::Write(Settings::Digits, digits);
        if (!face.isEmpty())
            Settings::Write(Settings::Face, face);

        ThemeForm *form = OpenTheme();
        QCOMPARE(List(form, "DigitList")->currentItem()->text(), digitText);
        QCOMPARE(List(form, "FaceList")->currentItem()->text(), faceText);
        QVERIFY(List(form, "DigitList")->currentItem()->isSelected());
        QVERIFY(List(form, "FaceList")->currentItem()->isSelected());
    }

    void saveWritesTheChoiceAndNoKeepsTheWindow()
    {
        Settings::Write(Settings::Digits, QStringLiteral("2"));
        Settings::Write(Settings::Face, QStringLiteral("3"));
        ThemeForm *form = OpenTheme();
        // Saved unchanged, the stored values are written back as they were.
        QTest::mouseClick(Button(form, "SaveButton"), Qt::LeftButton);
        QCOMPARE(asked, QStringList{QStringLiteral("Tockwise needs to be restarted for the changes to take effect. "
                                                   "Would you like to restart the program now?")});
        QCOMPARE(Settings::Read(Settings::Digits), QStringLiteral("2"));
        QCOMPARE(Settings::Read(Settings::Face), QStringLiteral("3"));

        ClickRow(List(form, "DigitList"), 1);
        ClickRow(List(form, "FaceList"), 0);
        QTest::mouseClick(Button(form, "SaveButton"), Qt::LeftButton);
        QCOMPARE(Settings::Read(Settings::Digits), QStringLiteral("1"));
        QCOMPARE(Settings::Read(Settings::Face), QStringLiteral("0"));
        RunDeferredDeletes();
        QCOMPARE(Forms().Find<ThemeForm>(), form);
        QVERIFY(form->isVisible());
        QVERIFY(launched.isEmpty());
        QCOMPARE(ended, 0);
    }

    // A new copy that cannot be started (its program file gone after an
    // upgrade) leaves this one running: the user keeps a clock and alarms.
    void saveAnsweredYesRestarts_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("endings");
        QTest::newRow("new copy started") << QString() << 1;
        QTest::newRow("new copy cannot start") << QStringLiteral("No such file or directory") << 0;
    }
    void saveAnsweredYesRestarts()
    {
        QFETCH(QString, failure);
        QFETCH(int, endings);
        launchFailure = failure;
        ThemeForm *form = OpenTheme();
        answer = true;
        ClickRow(List(form, "DigitList"), 1);
        ClickRow(List(form, "FaceList"), 1);
        QTest::mouseClick(Button(form, "SaveButton"), Qt::LeftButton);

        QCOMPARE(Settings::Read(Settings::Digits), QStringLiteral("1"));
        QCOMPARE(Settings::Read(Settings::Face), QStringLiteral("1"));
        QCOMPARE(launched.size(), 1);
        QCOMPARE(launched.first().first, QCoreApplication::applicationFilePath());
        QCOMPARE(launched.first().second, QStringList{"restart"});
        QCOMPARE(ended, endings);
        QCOMPARE(errors.size(), 1 - endings);
        if (!failure.isEmpty())
            QVERIFY(errors.first().contains(failure));
        RunDeferredDeletes();
        QVERIFY(!Forms().Find<ThemeForm>());
    }

    void cancelAndCloseStoreNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("close box") << "close box";
        QTest::newRow("Escape") << "Escape";
    }

    void cancelAndCloseStoreNothing()
    {
        QFETCH(QString, how);
        ThemeForm *form = OpenTheme();
        ClickRow(List(form, "DigitList"), 3);
        ClickRow(List(form, "FaceList"), 2);
        if (how == "close box")
            form->close();
        else if (how == "Escape")
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form, Qt::Key_Escape);
        else
            QTest::mouseClick(Button(form, "CancelButton"), Qt::LeftButton);
        RunDeferredDeletes();

        QVERIFY(!Forms().Find<ThemeForm>());
        QVERIFY(!QFile::exists(m_settings.FilePath()));
        QVERIFY(asked.isEmpty());
        // Opened again, it shows what is stored, not what was chosen.
        form = OpenTheme();
        QCOMPARE(List(form, "DigitList")->currentRow(), 0);
        QCOMPARE(List(form, "FaceList")->currentRow(), 0);
    }

    void themeFocusOrder()
    {
        ThemeForm *form = OpenTheme();
        const QStringList order = FocusOrder(List(form, "DigitList"), 4);
        QCOMPARE(order, QStringList({"DigitList", "FaceList", "SaveButton", "CancelButton"}));
        QVERIFY(!Button(form, "SaveButton")->isDefault() && !Button(form, "SaveButton")->autoDefault());
        QVERIFY(!Button(form, "CancelButton")->isDefault() && !Button(form, "CancelButton")->autoDefault());
    }

    void aboutLinkOpensTheSite_data()
    {
        QTest::addColumn<bool>("maker");
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("opened");

        QTest::newRow("maker, on the address") << true << QPoint(630, 428) << 1 << 1;
        QTest::newRow("maker, area corner") << true << QPoint(528, 416) << 1 << 1;
        QTest::newRow("maker, three clicks") << true << QPoint(600, 430) << 3 << 3;
        QTest::newRow("maker, just left of it") << true << QPoint(527, 428) << 1 << 0;
        QTest::newRow("maker, just below it") << true << QPoint(630, 441) << 1 << 0;
        QTest::newRow("maker, on the picture") << true << QPoint(100, 100) << 2 << 0;
        QTest::newRow("family, on the address") << false << QPoint(180, 326) << 1 << 1;
        QTest::newRow("family, far corner") << false << QPoint(320, 338) << 2 << 2;
        QTest::newRow("family, just above it") << false << QPoint(180, 313) << 1 << 0;
        QTest::newRow("family, on the picture") << false << QPoint(600, 100) << 1 << 0;
    }

    void aboutLinkOpensTheSite()
    {
        QFETCH(bool, maker);
        QFETCH(QPoint, point);
        QFETCH(int, clicks);
        QFETCH(int, opened);

        QWidget *form = maker ? static_cast<QWidget *>(Forms().ShowOrRaise<AdForm>())
                              : static_cast<QWidget *>(Forms().ShowOrRaise<PersonalForm>());
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QCOMPARE(form->size(), maker ? QSize(750, 469) : QSize(750, 500));
        // Through the window, so the click lands on whatever lies at the point.
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, point);

        const QUrl site = maker ? Artwork::MakerSite() : Artwork::ProductFamilySite();
        QCOMPARE(urls.opened, QList<QUrl>(opened, site));
        QVERIFY(form->isVisible());

        // Escape closes it as its close box does.
        QTest::keyClick(form, Qt::Key_Escape);
        RunDeferredDeletes();
        QVERIFY(maker ? !Forms().Find<AdForm>() : !Forms().Find<PersonalForm>());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the clock starts
        QTest::addColumn<QString>("out");  // the start of standard output
        QTest::addColumn<QString>("err");

        const QString version = QStringLiteral("tockwise " TOCKWISE_EXPECTED_VERSION "\n");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: tockwise" << QString();
        QTest::newRow("-h after restart") << QStringList{"restart", "-h"} << 0 << "Usage: tockwise" << QString();
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("--bogus") << QStringList{"--bogus"} << 2 << ""
                                 << "tockwise: unknown option '--bogus' (try 'tockwise --help')\n";
        QTest::newRow("-x before --help") << QStringList{"-x", "--help"} << 2 << ""
                                          << "tockwise: unknown option '-x' (try 'tockwise --help')\n";
        QTest::newRow("restart") << QStringList{"restart"} << -1 << QString() << QString();
        QTest::newRow("nothing") << QStringList{} << -1 << QString() << QString();
        // Qt's own options reach Qt; a value that looks like an option is Qt's too.
        QTest::newRow("-session ID") << QStringList{"-session", "10a7b1e", "restart"} << -1 << QString() << QString();
        QTest::newRow("--style=fusion") << QStringList{"--style=fusion"} << -1 << QString() << QString();
        QTest::newRow("-qwindowtitle -x") << QStringList{"-qwindowtitle", "-x"} << -1 << QString() << QString();
        QTest::newRow("-sessionx") << QStringList{"-sessionx"} << 2 << ""
                                   << "tockwise: unknown option '-sessionx' (try 'tockwise --help')\n";
        QTest::newRow("another word") << QStringList{"now"} << -1 << QString() << QString();
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        const CommandArguments args(arguments);

        std::ostringstream stdOut, stdErr;
        const std::optional<int> result = CommandLine::Handle(args.Count(), args.Values(), stdOut, stdErr);
        QCOMPARE(result.value_or(-1), exitCode);
        QVERIFY2(QString::fromStdString(stdOut.str()).startsWith(out), stdOut.str().c_str());
        if (out.startsWith(QLatin1String("Usage"))) {
            // What a user needs to find the files and the autostart folder.
            for (const char *needle :
                 {"restart", "$XDG_DATA_HOME/tockwise/Alarms.dat", "~/.local/share/tockwise/",
                  "$XDG_CONFIG_HOME/hqz.conf", "~/.config/hqz.conf", "~/.config/autostart/", "--autostart"})
                QVERIFY2(stdOut.str().find(needle) != std::string::npos, needle);
        } else if (out.isEmpty()) {
            QVERIFY(stdOut.str().empty());
        } else {
            QCOMPARE(QString::fromStdString(stdOut.str()), out);
        }
        QCOMPARE(QString::fromStdString(stdErr.str()), err);
    }
    // ---- Commands on the alarms, with and without a running clock --------

    void commands_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // exactly
        QTest::addColumn<QString>("err"); // a part

        const QString listed = "1\tdaily\t07:00\t-\tenabled\tWake up\n"
                               "2\tonce\t10:30\t2024-03-08\tdisabled\tMeeting\n";
        for (const bool running : {false, true}) {
            const char *copy = running ? "running: " : "alone: ";
            const auto row = [&](const char *name) -> QTestData & {
                return QTest::newRow(qPrintable(copy + QString(name))) << running;
            };
            row("--list") << QStringList{"--list"} << 0 << listed << "";
            row("--add --weekly Tue") << QStringList{"--add", "Gym", "--at", "18:05", "--weekly", "Tue"} << 0 << "3\n"
                                      << "added alarm 3 \"Gym\" (weekly 18:05 Tuesday)";
            row("--add --on --disabled") << QStringList{"--disabled", "--add", "Café", "--on",
                                                        "2050-12-31", "--at",  "0:00"}
                                         << 0 << "3\n"
                                         << "(once 00:00 2050-12-31)";
            row("--add 30 February") << QStringList{"--add", "x", "--at", "07:00", "--on", "2024-02-30"} << 2 << ""
                                     << "no date YYYY-MM-DD";
            row("--add 1999") << QStringList{"--add", "x", "--at", "07:00", "--on", "1999-12-31"} << 2 << ""
                              << "outside 2000-2050";
            row("--add 24:00") << QStringList{"--add", "x", "--at", "24:00", "--daily"} << 2 << ""
                               << "no time of day";
            row("--add name beyond the code page")
                << QStringList{"--add", "日本", "--at", "07:00", "--daily"} << 2 << ""
                << "cannot hold";
            row("--add --weekly 8") << QStringList{"--add", "x", "--at", "07:00", "--weekly", "8"} << 2 << ""
                                    << "no day of the week";
            row("--add without --at") << QStringList{"--add", "x", "--daily"} << 2 << ""
                                      << "needs --at";
            row("--daily without --add") << QStringList{"--list", "--daily"} << 2 << ""
                                         << "go with --add";
            row("two commands") << QStringList{"--list", "--remove", "1"} << 2 << ""
                                << "one command at a time";
            row("--remove 3: no such alarm") << QStringList{"--remove", "3"} << 2 << ""
                                             << "there is no alarm 3";
            row("--remove 1") << QStringList{"--remove", "1"} << 0 << "removed alarm 1 \"Wake up\" (daily 07:00 -)\n"
                              << "";
            row("--enable 2") << QStringList{"--enable", "2"} << 0
                              << "enabled alarm 2 \"Meeting\" (once 10:30 2024-03-08)\n"
                              << "";
            row("--import a missing file") << QStringList{"--import", "/nonexistent/a.ics"} << 1 << ""
                                           << "cannot be read";
            row("--import no calendar") << QStringList{"--import", "%NOCAL%"} << 1 << ""
                                        << "nothing imported";
            row("--import twice the same") << QStringList{"--import", "%ICS%"} << 0 << "imported 1 alarms, skipped 1\n"
                                           << "the same alarm is already there";
            row("--export to a folder that is none") << QStringList{"--export", "/nonexistent/x.ics"} << 1 << ""
                                                     << "could not be written";
            row("--snooze-all 5") << QStringList{"--snooze-all", "5"} << (running ? 0 : 1)
                                  << (running ? "snoozed 0 notifications for 5 minutes\n" : "")
                                  << (running ? "" : "no clock is running");
        }
        QTest::newRow("running: --snooze-all, two notifications")
            << true << QStringList{"--snooze-all", "NOTIFY"} << 0 << "snoozed 2 notifications for 10 minutes\n"
            << "";
        QTest::newRow("running: --dismiss-all, two notifications")
            << true << QStringList{"--dismiss-all", "NOTIFY"} << 0 << "dismissed 2 notifications\n"
            << "";
        QTest::newRow("running: removal question open") << true << QStringList{"--enable", "2", "QUESTION"} << 1 << ""
                                                        << "asking a question";
        QTest::newRow("running: editor open") << true << QStringList{"--disable", "1", "EDITOR"} << 1 << ""
                                              << "alarm editor is open";
    }

    void commands()
    {
        QFETCH(bool, running);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        Snoozes::Load(); // none
        // The lock and the socket in folders of this test's own.
        static QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (runtime.path() + "/cache").toLocal8Bit());

        AlarmRecord wake;
        wake.Name = AlarmRecord::FixedName("Wake up");
        wake.AlarmType = AlarmRecord::Daily;
        wake.Hour = 7;
        AlarmRecord meeting;
        meeting.Name = AlarmRecord::FixedName("Meeting");
        meeting.Hour = 10;
        meeting.Minute = 30;
        meeting.Day = 8;
        meeting.Month = 3;
        meeting.Year = 2024;
        meeting.Disabled = -1;
        AlarmHandling::Alarms = {AlarmRecord{}, wake, meeting};
        QVERIFY(AlarmHandling::SaveAlarms());
        QFile file(AlarmHandling::AlarmFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        QTemporaryDir files;
        QFile ics(files.filePath("a.ics"));
        QVERIFY(ics.open(QIODevice::WriteOnly));
        ics.write("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Wake up\r\nDTSTART:20240101T070000\r\n"
                  "RRULE:FREQ=DAILY\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nSUMMARY:Tea\r\nDTSTART:20240101T160000\r\n"
                  "END:VEVENT\r\nEND:VCALENDAR\r\n");
        ics.close();
        QFile noCalendar(files.filePath("no.ics"));
        QVERIFY(noCalendar.open(QIODevice::WriteOnly));
        noCalendar.write("hello\n");
        noCalendar.close();
        arguments.replaceInStrings("%ICS%", ics.fileName()).replaceInStrings("%NOCAL%", noCalendar.fileName());

        std::unique_ptr<SingleInstance> instance;
        std::unique_ptr<CommandHost> host;
        bool question = false;
        if (running) {
            instance = std::make_unique<SingleInstance>();
            QVERIFY(instance->Start(false));
            host = std::make_unique<CommandHost>();
            instance->OnCommand([&host](const QByteArray &request) {
                QStringList words;
                QByteArray input;
                AlarmCommands::DecodeRequest(request, &words, &input);
                return AlarmCommands::EncodeReply(host->Run(words, input));
            });
            question = arguments.removeAll("QUESTION") > 0;
            if (arguments.removeAll("EDITOR"))
                Forms().Get<ModifyForm>();
            if (arguments.removeAll("NOTIFY")) {
                MessageForm::Fire("Tea", "16:30", 0, "tea-id");
                MessageForm::Fire("Walk", "16:30", 0);
            }
        }

        const CommandArguments args(arguments);
        std::ostringstream stdOut, stdErr;
        // The command waits for the clock's answer, which this thread's event loop gives.
        auto result = std::async(std::launch::async,
                                 [&] { return CommandLine::Handle(args.Count(), args.Values(), stdOut, stdErr); });
        if (question) {
            // The command comes while the question is up.
            Dialogs::SetAskHandler([&result](const QString &) {
                while (result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
                return false;
            });
            Dialogs::AskYesNo(nullptr, "Are you sure you want to delete this alarm?");
            Dialogs::SetAskHandler([this](const QString &text) {
                asked << text;
                return answer;
            });
        }
        QTRY_VERIFY_WITH_TIMEOUT(result.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 20000);
        QCOMPARE(result.get().value_or(-1), exitCode);
        QCOMPARE(QString::fromStdString(stdOut.str()), out);
        QVERIFY2(QString::fromStdString(stdErr.str()).contains(err), stdErr.str().c_str());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray after = file.readAll();
        if (exitCode != 0)
            QCOMPARE(after, before);
        else if (arguments.first() == "--list" || arguments.first().endsWith("-all"))
            QCOMPARE(after, before);
        else
            QVERIFY(after != before);
        if (arguments.first().endsWith("-all") && running) {
            // The windows went; a snooze keeps each alarm's name and identity.
            for (QWidget *window : QApplication::topLevelWidgets())
                QVERIFY(!qobject_cast<MessageForm *>(window) || !window->isVisible());
            QStringList snoozed;
            for (const Snoozes::Snooze &snooze : Snoozes::Pending())
                snoozed << snooze.name + "/" + snooze.alarmId;
            snoozed.sort();
            QCOMPARE(snoozed, out.startsWith("snoozed 2") ? QStringList({"Tea/tea-id", "Walk/"}) : QStringList());
        }
    }

    void autostart()
    {
        const auto run = [](const QStringList &arguments, std::string *out) {
            const CommandArguments args(arguments);
            std::ostringstream stdOut, stdErr;
            const int status = CommandLine::Handle(args.Count(), args.Values(), stdOut, stdErr).value_or(-1);
            *out = stdOut.str() + stdErr.str();
            return status;
        };
        const QString entry = qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/example.varnod.Tockwise.desktop";
        std::string out;
        QCOMPARE(run({"--autostart"}, &out), 0);
        QCOMPARE(out, std::string("off\n"));
        QCOMPARE(run({"--autostart", "on"}, &out), 0);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY2(text.contains("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + "\n"), text);
        QCOMPARE(run({"--autostart"}, &out), 0);
        QCOMPARE(QString::fromStdString(out), "on (" + entry + ")\n");
        QCOMPARE(run({"--autostart", "off"}, &out), 0);
        QVERIFY(!QFile::exists(entry));
        QCOMPARE(run({"--autostart", "maybe"}, &out), 2);
    }

    // ---- The menus and the tray -------------------------------------------

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
        m_settings.Write("Visible", "False");
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
        QCOMPARE(m_settings.Read("X"), QStringLiteral("1800"));
        QCOMPARE(m_settings.Read("Y"), QStringLiteral("1350"));
    }

    void missedMenuDeleteClearAndClose()
    {
        loadClock(); // the panel follows the list through the clock
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

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
