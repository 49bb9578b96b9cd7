#include "about/AdForm.h"
#include "about/PersonalForm.h"
#include "alarmui/ModifyForm.h"
#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "notify/MessageForm.h"
#include "notify/MissedForm.h"
#include "resources/Artwork.h"
#include "service/AlarmCommands.h"
#include "service/CommandHost.h"
#include "service/CommandLine.h"
#include "service/SingleInstance.h"
#include "shell/MenuForm.h"
#include "shell/RingVolume.h"
#include "shell/ShellWiring.h"
#include "shell/SystemTray.h"
#include "tests/common/ClockFixture.h"
#include "tests/common/FormTestHelpers.h"
#include "tests/common/SettingsFixture.h"
#include "theme/ThemeForm.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"

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
#include <sys/stat.h>
#include <vector>

// The single-copy socket and lock tests.
#include <QElapsedTimer>
#include <QLocalSocket>
#include <chrono>
#include <cstring>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

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

// ---- For the single-copy socket and lock ---------------------------------

namespace {

// The lock and the socket in folders of this test program's own, the same in
// every test, since a copy picks its folder once a process: the ones the
// command tests set, or else ones made here.
void UseTestRuntimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && qgetenv("XDG_CACHE_HOME") == runtime + "/cache")
        return;
    static QTemporaryDir folder;
    qputenv("XDG_RUNTIME_DIR", folder.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (folder.path() + "/cache").toLocal8Bit());
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM).
qint64 StatusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The soft limit of descriptors lowered to those open now and a few more,
// and put back when done.
class DescriptorLimit
{
public:
    explicit DescriptorLimit(int spare)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_before);
        if (spare <= 0)
            return;
        rlimit lowered = m_before;
        lowered.rlim_cur = rlim_t(QDir(QStringLiteral("/proc/self/fd")).count() + spare);
        m_set = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~DescriptorLimit()
    {
        if (m_set)
            ::setrlimit(RLIMIT_NOFILE, &m_before);
    }
    bool Failed(int spare) const { return spare > 0 && !m_set; }

private:
    rlimit m_before = {};
    bool m_set = false;
};

// count connections to the socket at path from a child process, so that
// they are not this process's descriptors: each closed soon (a hundred open
// at a time), or held until the clock lets it go (20 s at most). It ends with 0 when all quick
// ones were made, or all held ones let go. Only system calls after the
// fork: this process has threads.
pid_t Flood(const QString &path, int count, bool hold)
{
    constexpr int QuickOpen = 100;
    static int held[4096];
    static pollfd polls[4096];
    count = qMin(count, 4096);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    std::memcpy(address.sun_path, native.constData(), qMin(size_t(native.size()), sizeof address.sun_path - 1));
    rlimit limit = {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // Not this process's descriptors either: the clock's listening socket
    // kept open here would outlive the clock's closing it.
    ::close_range(3, ~0U, 0);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    timespec start = {};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    const auto elapsedMs = [&start] {
        timespec now = {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    };
    int open = 0;
    int made = 0;
    while (made < count && elapsedMs() < 5000) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            const int error = errno;
            ::close(fd);
            // Its backlog is full, or (quick ones) its socket is being opened
            // again: try again, as a client would. Held ones stop when it is gone.
            if (error != EAGAIN && hold)
                break;
            const timespec pause = {0, 1000000};
            ::nanosleep(&pause, nullptr);
            continue;
        }
        ++made;
        if (!hold && open == QuickOpen) {
            ::close(held[made % QuickOpen]);
            held[made % QuickOpen] = fd;
        } else {
            held[open++] = fd;
        }
    }
    if (!hold) {
        for (int i = 0; i < open; ++i)
            ::close(held[i]);
        open = 0;
    }
    while (open > 0 && elapsedMs() < 20000) {
        for (int i = 0; i < open; ++i)
            polls[i] = {held[i], POLLIN, 0};
        if (::poll(polls, nfds_t(open), 100) <= 0)
            continue;
        for (int i = open - 1; i >= 0; --i) {
            char byte;
            if (polls[i].revents != 0 && ::read(held[i], &byte, 1) <= 0) {
                ::close(held[i]);
                held[i] = held[--open];
            }
        }
    }
    ::_exit(open == 0 && (hold || made == count) ? 0 : 1);
}

// A child process ended and reaped, or killed when the test ends first.
class ChildProcess
{
public:
    explicit ChildProcess(pid_t pid)
        : m_pid(pid)
    {}
    ~ChildProcess()
    {
        if (m_pid > 0 && !m_ended) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Ended()
    {
        if (!m_ended && m_pid > 0)
            m_ended = ::waitpid(m_pid, &m_status, WNOHANG) == m_pid;
        return m_ended;
    }
    int Status() const { return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1; }

private:
    pid_t m_pid;
    bool m_ended = false;
    int m_status = 0;
};

// Asks the copy this thread's event loop serves until it answers (or
// timeoutMs pass); returns the answer, empty if none came.
QByteArray AskUntilAnswered(const QByteArray &request, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QByteArray reply;
        auto asked = std::async(std::launch::async, [&reply, request] { return SingleInstance::Ask(request, &reply); });
        while (asked.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (asked.get() == SingleInstance::Answer::Answered)
            return reply;
        QTest::qWait(100); // the socket is being opened again
    }
    return {};
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

        const QString listed = "1\tdaily\t07:00\t-\tenabled\tWake up\t\n"
                               "2\tonce\t10:30\t2024-03-08\tdisabled\tMeeting\t\n";
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
                                         << "(once 00:00 2050-12-31, disabled)";
            // The snooze's end, local time, after the name.
            row("--list, one snoozed") << QStringList{"--list", "SNOOZE"} << 0
                                       << "1\tdaily\t07:00\t-\tenabled\tWake up\t%SNOOZED%\n"
                                          "2\tonce\t10:30\t2024-03-08\tdisabled\tMeeting\t\n"
                                       << "";
            // Kept as asked, and said.
            row("--add a moment gone") << QStringList{"--add", "Old", "--at", "07:00", "--on", "2024-03-07"} << 0
                                       << "3\n"
                                       << "tockwise: This moment has passed: the alarm will not ring.\n";
            row("--add --at with the name left out") << QStringList{"--add", "--at", "07:30", "--daily"} << 2 << ""
                                                     << "the alarm's name is missing";
            row("--add --at with the time left out") << QStringList{"--add", "x", "--at", "--daily"} << 2 << ""
                                                     << "--at needs a time HH:MM";
            row("--add 30 February") << QStringList{"--add", "x", "--at", "07:00", "--on", "2024-02-30"} << 2 << ""
                                     << "no date YYYY-MM-DD";
            row("--add 1999") << QStringList{"--add", "x", "--at", "07:00", "--on", "1999-12-31"} << 2 << ""
                              << "outside 2000-2050";
            row("--add 24:00") << QStringList{"--add", "x", "--at", "24:00", "--daily"} << 2 << ""
                               << "no time of day";
            row("--add name beyond the code page")
                << QStringList{"--add", "Tea 日本", "--at", "07:00", "--daily"} << 2 << ""
                << "the name holds \"日\" (U+65E5), which an alarm name cannot hold";
            row("--add a name beyond the plane")
                << QStringList{"--add", "Tea \U0001F375", "--at", "07:00", "--daily"} << 2 << ""
                << "holds \"\U0001F375\" (U+1F375)";
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
            row("--remove 1") << QStringList{"--remove", "1"} << 0 << "removed alarm 1 \"Wake up\" (daily 07:00)\n"
                              << "";
            row("--enable 2") << QStringList{"--enable", "2"} << 0
                              << "enabled alarm 2 \"Meeting\" (once 10:30 2024-03-08)\n"
                              << "";
            // Names are text: what would forge lines of --list or reach a terminal raw is refused.
            row("--add a tab in the name") << QStringList{"--add", "Tea\tTime", "--at", "07:00", "--daily"} << 2 << ""
                                           << "control character (U+0009)";
            row("--add an escape in the name") << QStringList{"--add", "\x1b[2J", "--at", "07:00", "--daily"} << 2 << ""
                                               << "control character (U+001B)";
            row("--add a blank name") << QStringList{"--add", "  ", "--at", "07:00", "--daily"} << 2 << ""
                                      << "needs a name";
            // Numbers and times are digits alone.
            row("--add ' 9:00'") << QStringList{"--add", "x", "--at", " 9:00", "--daily"} << 2 << ""
                                 << "no time of day";
            row("--add '+9:00'") << QStringList{"--add", "x", "--at", "+9:00", "--daily"} << 2 << ""
                                 << "no time of day";
            row("--add --weekly ' 3'") << QStringList{"--add", "x", "--at", "09:00", "--weekly", " 3"} << 2 << ""
                                       << "no day of the week";
            row("--remove ' 1'") << QStringList{"--remove", " 1"} << 2 << ""
                                 << "no alarm number";
            row("--snooze-all +5") << QStringList{"--snooze-all", "+5"} << 2 << ""
                                   << "1 to 1440 minutes";
            row("--alarm-volume 35") << QStringList{"--alarm-volume", "35"} << 0
                                     << "alarm volume 35: a ringing alarm's sound output is unmuted and raised to "
                                        "at least 35 %\n"
                                     << "";
            row("--alarm-volume 0") << QStringList{"--alarm-volume", "0"} << 0
                                    << "alarm volume off: a ringing alarm leaves the sound output as it is\n"
                                    << "";
            row("--alarm-volume 101") << QStringList{"--alarm-volume", "101"} << 2 << ""
                                      << "1 to 100, or 0 or off";
            row("--alarm-volume -5") << QStringList{"--alarm-volume", "-5"} << 2 << ""
                                     << "not '-5'";
            row("--alarm-volume ' 5'") << QStringList{"--alarm-volume", " 5"} << 2 << ""
                                       << "not ' 5'";
            row("--import a missing file") << QStringList{"--import", "/nonexistent/a.ics"} << 1 << ""
                                           << "cannot be read";
            // Read in the command, never waited on for ever.
            row("--import a named pipe") << QStringList{"--import", "%FIFO%"} << 1 << ""
                                         << "no plain file";
            row("--import /dev/zero") << QStringList{"--import", "/dev/zero"} << 1 << ""
                                      << "no plain file";
            row("--import no calendar") << QStringList{"--import", "%NOCAL%"} << 1 << ""
                                        << "nothing imported";
            row("--import twice the same") << QStringList{"--import", "%ICS%"} << 0 << "imported 1 alarms, skipped 1\n"
                                           << "the same alarm is already there";
            row("--export to a folder that is none") << QStringList{"--export", "/nonexistent/x.ics"} << 1 << ""
                                                     << "could not be written";
            // Rules the kinds cannot say are kept as rules, listed as "custom" in
            // words; the ones they can say are stored as the kinds.
            row("--add --days mon,wed,fri")
                << QStringList{"--add", "Standup", "--at", "09:00", "--days", "mon,wed,fri", "LIST"} << 0
                << "3\n" + listed + "3\tcustom\t09:00\tMon, Wed, Fri\tenabled\tStandup\t\n"
                << "added alarm 3 \"Standup\" (custom 09:00 Mon, Wed, Fri)";
            row("--add --days, all seven: daily")
                << QStringList{"--add", "x", "--at", "07:30", "--days", "sun,mon,tue,wed,thu,fri,sat"} << 0 << "3\n"
                << "(daily 07:30)";
            row("--add --days mon to fri: weekdays")
                << QStringList{"--add", "x", "--at", "07:30", "--days", "1,2,3,4,5"} << 0 << "3\n"
                << "(weekdays 07:30)";
            row("--add --rule every 2 weeks")
                << QStringList{"--add", "Review", "--at", "09:00", "--rule", "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=TH"}
                << 0 << "3\n"
                << "(custom 09:00 every 2 weeks on Thursday)";
            row("--add --rule, monthly") << QStringList{"--add", "Rent",   "--at",
                                                        "08:00", "--rule", "FREQ=MONTHLY;BYDAY=1MO"}
                                         << 0 << "3\n"
                                         << "(custom 08:00 monthly on the first Monday)";
            row("--add --rule hourly") << QStringList{"--add", "x", "--at", "08:00", "--rule", "FREQ=HOURLY"} << 2 << ""
                                       << "more often than daily";
            row("--add --rule COUNT=0") << QStringList{"--add", "x", "--at", "08:00", "--rule", "FREQ=DAILY;COUNT=0"}
                                        << 2 << ""
                                        << "COUNT=0 is no number";
            row("--add --rule of no calendar")
                << QStringList{"--add", "x", "--at", "08:00", "--rule", "FREQ=DAILY;X=1"} << 2 << ""
                << "a part X, which no calendar knows";
            row("--add --weekly --zone") << QStringList{"--add",    "Call", "--at",   "09:00",
                                                        "--weekly", "Mon",  "--zone", "America/New_York",
                                                        "LIST"}
                                         << 0
                                         << "3\n" + listed + "3\tcustom\t09:00\tMon, New York time\tenabled\tCall\t\n"
                                         << "(custom 09:00 Mon, New York time)";
            row("--add --zone of no such name")
                << QStringList{"--add", "x", "--at", "09:00", "--daily", "--zone", "Mars/Olympus"} << 2 << ""
                << "no time zone 'Mars/Olympus'";
            row("--zone without --add") << QStringList{"--list", "--zone", "UTC"} << 2 << ""
                                        << "go with --add";
            row("--skip 1 on a date") << QStringList{"--skip", "1", "2030-03-10", "LIST"} << 0
                                      << "alarm 1 skips Sunday 10 March 2030\n"
                                         "1\tcustom\t07:00\tdaily, skips 10 March\tenabled\tWake up\t\n"
                                         "2\tonce\t10:30\t2024-03-08\tdisabled\tMeeting\t\n"
                                      << "";
            row("--skip a one-off alarm") << QStringList{"--skip", "2"} << 2 << ""
                                          << "rings once";
            row("--unskip what is not skipped") << QStringList{"--unskip", "1", "2030-03-10"} << 1 << ""
                                                << "skips nothing on 2030-03-10";
            row("--unskip without a date") << QStringList{"--unskip", "1"} << 2 << ""
                                           << "needs the number of an alarm and a date";
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
        // An import reaches the clock as the alarms it mapped onto.
        QTest::newRow("running: editor open, --import") << true << QStringList{"--import", "%ICS%", "EDITOR"} << 1 << ""
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
        UseTestRuntimeFolder();

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
        QVERIFY(useTable({AlarmRecord{}, wake, meeting}));
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
        const QString fifo = files.filePath("fifo.ics");
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        arguments.replaceInStrings("%ICS%", ics.fileName())
            .replaceInStrings("%NOCAL%", noCalendar.fileName())
            .replaceInStrings("%FIFO%", fifo);

        std::unique_ptr<SingleInstance> instance;
        std::unique_ptr<CommandHost> host;
        bool question = false;
        if (running) {
            instance = std::make_unique<SingleInstance>();
            QVERIFY(instance->Start(false));
            host = std::make_unique<CommandHost>();
            ShellWiring::ConnectCommands(*host);
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

        const bool snoozed = arguments.removeAll("SNOOZE") > 0;
        if (snoozed) {
            Snoozes::SetFile(files.filePath("snoozes"));
            AlarmStore::Instance().SetIdentityFile(files.filePath("alarm-ids"));
            QVERIFY(AlarmStore::Instance().Load());
            Snoozes::Add(AlarmStore::Instance().IdOf(1), "Wake up", 25);
            out.replace("%SNOOZED%", Snoozes::Pending().first().end.toLocalTime().toString("yyyy-MM-dd HH:mm"));
        }
        const bool thenList = arguments.removeAll("LIST") > 0; // --list follows, its output after the command's
        if (thenList) {                                        // from the files a next command reads
            AlarmStore::Instance().SetIdentityFile(files.filePath("alarm-ids"));
            QVERIFY(AlarmStore::Instance().Load());
        }
        const CommandArguments args(arguments);
        const CommandArguments listing(QStringList{"--list"});
        std::ostringstream stdOut, stdErr;
        // The command waits for the clock's answer, which this thread's event loop gives.
        auto result = std::async(std::launch::async, [&] {
            const auto status = CommandLine::Handle(args.Count(), args.Values(), stdOut, stdErr);
            if (thenList)
                CommandLine::Handle(listing.Count(), listing.Values(), stdOut, stdErr);
            return status;
        });
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
        else if (arguments.first() == "--list" || arguments.first().endsWith("-all") ||
                 arguments.first() == "--alarm-volume")
            QCOMPARE(after, before);
        else
            QVERIFY(after != before);
        if (arguments.first().endsWith("-all") && running) {
            // The windows went; a snooze keeps each alarm's name and identity.
            for (QWidget *window : QApplication::topLevelWidgets())
                QVERIFY(!qobject_cast<MessageForm *>(window) || !window->isVisible());
            QStringList snoozedNames;
            for (const Snoozes::Snooze &snooze : Snoozes::Pending())
                snoozedNames << snooze.name + "/" + snooze.alarmId;
            snoozedNames.sort();
            QCOMPARE(snoozedNames, out.startsWith("snoozed 2") ? QStringList({"Tea/tea-id", "Walk/"}) : QStringList());
        }
        if (snoozed)
            Snoozes::SetFile(QString());
        if (snoozed || thenList)
            AlarmStore::Instance().SetIdentityFile(QString());
    }

    void namesAreText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal"); // empty: taken
        QTest::newRow("NUL, as the socket can carry it") << QStringLiteral("Tea") + QChar(0) << "(U+0000)";
        QTest::newRow("line feed") << "Tea\nTime"
                                   << "(U+000A)";
        QTest::newRow("DEL") << "Tea\x7f"
                             << "(U+007F)";
        QTest::newRow("C1 next line") << QStringLiteral("Tea") + QChar(0x85) << "(U+0085)";
        QTest::newRow("empty") << ""
                               << "needs a name";
        QTest::newRow("letters beyond C1") << QString::fromUtf8("Thé à 5") << "";
    }

    // What comes in through the socket or D-Bus ends in Execute; a name an
    // older copy stored with a control character is shown and sent with a
    // space in its place.
    void namesAreText()
    {
        QFETCH(QString, name);
        QFETCH(QString, refusal);
        AlarmRecord stored;
        stored.Name = AlarmRecord::FixedName("Old\tone\r\n");
        stored.AlarmType = AlarmRecord::Daily;
        QVERIFY(useTable({AlarmRecord{}, stored}));
        const AlarmCommands::Reply added = AlarmCommands::Execute({"add", name, "daily", "07:00", "-", "enabled"});
        QCOMPARE(added.status, refusal.isEmpty() ? 0 : 2);
        QVERIFY2(QString::fromUtf8(added.err).contains(refusal), added.err.constData());
        const QByteArray listed = AlarmCommands::Execute({"list"}).out;
        QVERIFY2(listed.startsWith("1\tdaily\t00:00\t-\tenabled\tOld one\t\n"), listed.constData());
        QCOMPARE(listed.count('\n'), refusal.isEmpty() ? 2 : 1);
        QVERIFY(AlarmCommands::Execute({"export"}).out.contains("SUMMARY:Old one\r\n"));
    }

    // What a ringing alarm makes of its output, and when the user's own is put back.
    void ringingOutput_data()
    {
        QTest::addColumn<bool>("muted");
        QTest::addColumn<QList<uint>>("volume");
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QList<uint>>("ringing"); // unmuted at these
        const uint p5 = 3277, p70 = 45875;
        QTest::newRow("muted at 5 %") << true << QList<uint>{p5, p5} << 70 << true << QList<uint>{p70, p70};
        QTest::newRow("muted at 80 %: unmuted only")
            << true << QList<uint>{52429, 52429} << 70 << true << QList<uint>{52429, 52429};
        QTest::newRow("loud enough") << false << QList<uint>{52429, 52429} << 70 << false << QList<uint>{};
        QTest::newRow("rounded by the server") << false << QList<uint>{45800, 45800} << 70 << false << QList<uint>{};
        QTest::newRow("balance kept") << false << QList<uint>{6554, p5} << 70 << true << QList<uint>{p70, 22937};
        QTest::newRow("silent channels") << false << QList<uint>{0, 0} << 70 << true << QList<uint>{p70, p70};
        QTest::newRow("alarm volume 100") << true << QList<uint>{p5} << 100 << true << QList<uint>{65536};
        QTest::newRow("alarm volume off") << true << QList<uint>{p5, p5} << 0 << false << QList<uint>{};
        QTest::newRow("no channels") << true << QList<uint>{} << 70 << false << QList<uint>{};
    }

    void ringingOutput()
    {
        QFETCH(bool, muted);
        QFETCH(QList<uint>, volume);
        QFETCH(int, percent);
        QFETCH(bool, changed);
        QFETCH(QList<uint>, ringing);
        const OutputVolume::State now{muted, volume};
        const std::optional<OutputVolume::State> made = RingVolume::Ringing(now, percent);
        QCOMPARE(made.has_value(), changed);
        if (!made)
            return;
        QCOMPARE(made->muted, false);
        QCOMPARE(made->volume, ringing);
        QVERIFY(RingVolume::AsRingLeftIt(*made, *made));
        // What the user does meanwhile is the user's.
        OutputVolume::State user = *made;
        user.muted = true;
        QVERIFY(!RingVolume::AsRingLeftIt(user, *made));
        user = *made;
        user.volume[0] = made->volume[0] > 20000 ? made->volume[0] - 20000 : made->volume[0] + 20000;
        QVERIFY(!RingVolume::AsRingLeftIt(user, *made));
        user = *made;
        user.volume.append(made->volume[0]);
        QVERIFY(!RingVolume::AsRingLeftIt(user, *made));
        // A server keeping volumes in another unit reads back a little off.
        user = *made;
        user.volume[0] -= 1;
        QVERIFY(RingVolume::AsRingLeftIt(user, *made));
    }

    // The file a killed copy leaves: what is not whole is not put back.
    void restoreFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("kept");
        const QByteArray good = RingVolume::Encode({{"nullsink", {true, {3277, 3277}}, {false, {45875, 45875}}},
                                                    {"hdmi", {false, {100, 200}}, {false, {45875, 45875}}}});
        QTest::newRow("two outputs") << good << 2;
        QTest::newRow("cut short") << good.left(good.size() / 2) << 0;
        QTest::newRow("not JSON") << QByteArray("hello\n") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("negative volume") << QByteArray(R"({"outputs":[{"output":"a","before":{"muted":true,)"
                                                       R"("volume":[-1]},"set":{"muted":false,"volume":[9]}}]})")
                                         << 0;
        QTest::newRow("channels differ") << QByteArray(R"({"outputs":[{"output":"a","before":{"muted":true,)"
                                                       R"("volume":[1,2]},"set":{"muted":false,"volume":[9]}}]})")
                                         << 0;
        QTest::newRow("mute no yes or no") << QByteArray(R"({"outputs":[{"output":"a","before":{"muted":1,)"
                                                         R"("volume":[1]},"set":{"muted":false,"volume":[9]}}]})")
                                           << 0;
        QTest::newRow("no name") << QByteArray(R"({"outputs":[{"before":{"muted":true,"volume":[1]},)"
                                               R"("set":{"muted":false,"volume":[9]}}]})")
                                 << 0;
    }

    void restoreFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, kept);
        const QList<RingVolume::Change> changes = RingVolume::Decode(text);
        QCOMPARE(changes.size(), kept);
        if (kept == 2) {
            QCOMPARE(changes[0].output, QByteArray("nullsink"));
            QCOMPARE(changes[0].before, (OutputVolume::State{true, {3277, 3277}}));
            QCOMPARE(changes[1].before, (OutputVolume::State{false, {100, 200}}));
            QCOMPARE(changes[1].set, (OutputVolume::State{false, {45875, 45875}}));
        }
    }

    // A command whose output is lost failed, and says so.
    void lostOutputFails_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--list") << QStringList{"--list"};
        QTest::newRow("--export -") << QStringList{"--export", "-"};
        QTest::newRow("--version") << QStringList{"--version"};
    }

    void lostOutputFails()
    {
        QFETCH(QStringList, arguments);
        AlarmRecord tea;
        tea.Name = AlarmRecord::FixedName("Tea");
        tea.AlarmType = AlarmRecord::Daily;
        QVERIFY(useTable({AlarmRecord{}, tea}));
        struct Full : std::streambuf
        {
            int overflow(int) override { return traits_type::eof(); }
        } full;
        std::ostream out(&full);
        std::ostringstream err;
        const CommandArguments args(arguments);
        QCOMPARE(CommandLine::Handle(args.Count(), args.Values(), out, err).value_or(-1), 1);
        QVERIFY2(err.str().find("standard output could not be written") != std::string::npos, err.str().c_str());
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

    // ---- The single-copy socket under load ----------------------------------

    // Whatever comes in at the socket, a command is still answered after it.
    void socketStaysOpen_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<int>("count");   // connections, or MiB sent
        QTest::addColumn<int>("spare");   // descriptors the clock may open beyond those it has; 0: as it is
        QTest::addColumn<int>("peakMiB"); // the most its memory may grow by; 0: not looked at
        QTest::newRow("half a request is let go after 5 s") << "partial" << 1 << 0 << 0;
        QTest::newRow("17 MiB without a line end is refused") << "oversize" << 17 << 0 << 0;
        QTest::newRow("64 MiB without a line end: 16 MiB read") << "oversize" << 64 << 0 << 40;
        QTest::newRow("1,100 connections opened and closed") << "quick" << 1100 << 80 << 0;
        QTest::newRow("300 idle connections are let go") << "held" << 300 << 100 << 0;
        QTest::newRow("no descriptor left: the socket opens again") << "held" << 300 << 30 << 0;
    }

    void socketStaysOpen()
    {
        QFETCH(QString, client);
        QFETCH(int, count);
        QFETCH(int, spare);
        QFETCH(int, peakMiB);
        UseTestRuntimeFolder();
        SingleInstance instance;
        QVERIFY(instance.Start(false));
        instance.OnCommand([](const QByteArray &request) { return "answered " + request; });
        const QString path = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath("tockwise.socket");
        const DescriptorLimit limit(spare);
        QVERIFY(!limit.Failed(spare));

        QElapsedTimer timer;
        timer.start();
        if (client == "partial" || client == "oversize") {
            QLocalSocket socket;
            QByteArray received;
            connect(&socket, &QLocalSocket::readyRead, this, [&] { received += socket.readAll(); });
            socket.connectToServer(path);
            QVERIFY(socket.waitForConnected(1000));
            socket.write(client == "partial" ? QByteArray("command {\"words\":[\"li")
                                             : "command " + QByteArray(count * 1024 * 1024, 'x'));
            QFile clear(QStringLiteral("/proc/self/clear_refs"));
            QVERIFY(clear.open(QIODevice::WriteOnly) && clear.write("5") == 1); // the peak from here
            clear.close();
            const qint64 before = StatusKiB("VmRSS");
            QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QLocalSocket::UnconnectedState, 15000);
            if (client == "partial") {
                // Not before its time (a coarse timer may be 5 % early).
                QVERIFY2(timer.elapsed() >= SingleInstance::RequestWaitMs * 9 / 10,
                         qPrintable(QString::number(timer.elapsed())));
                QVERIFY(received.isEmpty());
            } else {
                AlarmCommands::Reply reply;
                QVERIFY2(received.endsWith('\n') && AlarmCommands::DecodeReply(received.trimmed(), &reply),
                         received.left(200).constData());
                QCOMPARE(reply.status, 1);
                QVERIFY2(reply.err.contains("larger than the 16 MiB"), reply.err.constData());
            }
            if (peakMiB > 0) {
                const qint64 grown = StatusKiB("VmHWM") - before;
                qInfo("the memory grew by %lld KiB while %d MiB came in", grown, count);
                QVERIFY2(grown < peakMiB * 1024, qPrintable(QString::number(grown)));
            }
        } else {
            ChildProcess flood(Flood(path, count, client == "held"));
            QTRY_VERIFY_WITH_TIMEOUT(flood.Ended(), 30000);
            QCOMPARE(flood.Status(), 0);
            qInfo("%d connections (%s) served in %lld ms", count, qPrintable(client), timer.elapsed());
        }
        timer.restart();
        QCOMPARE(AskUntilAnswered("list", 15000), QByteArray("answered list"));
        qInfo("then a command was answered in %lld ms", timer.elapsed());
    }

    // A clock starting while a command with no clock holds the lock waits for
    // it, however long; a copy holding it that does not answer gets a few
    // seconds and a box.
    void startWaitsForACommand_data()
    {
        QTest::addColumn<bool>("command");
        QTest::newRow("a command holds the lock for 6 s") << true;
        QTest::newRow("a copy that does not answer holds it") << false;
    }

    void startWaitsForACommand()
    {
        QFETCH(bool, command);
        UseTestRuntimeFolder();
        std::vector<std::unique_ptr<InstanceLock>> locks;
        QString why;
        if (command) {
            QCOMPARE(int(SingleInstance::TakeCommandLocks(&locks, &why)), int(InstanceLock::Take::Taken));
        } else {
            locks.push_back(std::make_unique<InstanceLock>());
            const QString lock = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath("tockwise.lock");
            QCOMPARE(int(locks.back()->TryTake(lock, &why)), int(InstanceLock::Take::Taken));
        }
        QCOMPARE(SingleInstance::CommandHoldsLock(), command);
        static constexpr int HoldMs = 6000;
        QElapsedTimer timer;
        timer.start();
        // Let go of from another thread: Start blocks this one. The hold is
        // the case itself: longer than the few seconds a hung copy gets.
        auto release = std::async(std::launch::async, [&locks, command] {
            if (command) {
                std::this_thread::sleep_for(std::chrono::milliseconds(HoldMs));
                locks.clear();
            }
        });
        SingleInstance instance;
        // The shell shows what the start could not do.
        connect(&instance, &SingleInstance::CannotRun, this, [this](const QString &text) { errors << text; });
        const bool started = instance.Start(false);
        const qint64 waited = timer.elapsed();
        release.wait();
        QCOMPARE(started, command);
        QVERIFY(!SingleInstance::CommandHoldsLock());
        if (command) {
            QVERIFY2(waited >= HoldMs, qPrintable(QString::number(waited)));
            QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        } else {
            QCOMPARE(instance.ExitCode(), 1);
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.first().contains("does not answer"), qPrintable(errors.first()));
        }
    }

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

    // The tray's tip names what rings next, an alarm or a snooze, within a week.
    void trayTipNamesTheNextRing_data()
    {
        QTest::addColumn<QList<AlarmRecord>>("alarms");
        QTest::addColumn<int>("snooze"); // minutes of a snooze of "Tea", 0 for none
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("next"); // the tip's second line, empty for none

        const auto alarm = [](const char *name, int type, int hour, int minute, int weekDay = 0,
                              QDate date = QDate(2024, 3, 7), bool disabled = false) {
            AlarmRecord a;
            a.Name = AlarmRecord::FixedName(name);
            a.AlarmType = quint8(type);
            a.Hour = quint8(hour);
            a.Minute = quint8(minute);
            a.WeekDay = quint8(weekDay);
            a.Day = quint8(date.day());
            a.Month = quint8(date.month());
            a.Year = qint16(date.year());
            a.Disabled = disabled ? -1 : 0;
            return a;
        };
        const QDate thursday(2024, 3, 7);
        const QList<AlarmRecord> dentist{alarm("Dentist", AlarmRecord::Daily, 19, 0)};
        QTest::newRow("later today") << dentist << 0 << QDateTime(thursday, QTime(10, 57))
                                     << "Next: Dentist 19:00 (in 8 h 3 min)";
        QTest::newRow("on the hour") << dentist << 0 << QDateTime(thursday, QTime(18, 0))
                                     << "Next: Dentist 19:00 (in 1 h)";
        QTest::newRow("part of a minute left")
            << dentist << 0 << QDateTime(thursday, QTime(18, 59, 30)) << "Next: Dentist 19:00 (in 1 min)";
        QTest::newRow("another day") << QList<AlarmRecord>{alarm("Gym", AlarmRecord::Weekly, 18, 0, 0)} << 0
                                     << QDateTime(QDate(2024, 3, 9), QTime(14, 0))
                                     << "Next: Gym Mon 18:00 (in 2 d 4 h)";
        QTest::newRow("under an hour") << QList<AlarmRecord>{alarm("Tea", AlarmRecord::EveryWeekday, 11, 4)} << 0
                                       << QDateTime(thursday, QTime(10, 57)) << "Next: Tea 11:04 (in 7 min)";
        QTest::newRow("a snooze first") << dentist << 7 << QDateTime(thursday, QTime(10, 57))
                                        << "Next: Tea, snoozed, 11:04 (in 7 min)";
        QTest::newRow("the first of two in one minute")
            << QList<AlarmRecord>{alarm("B", AlarmRecord::Daily, 12, 0), alarm("A", AlarmRecord::Daily, 12, 0)} << 0
            << QDateTime(thursday, QTime(10, 0)) << "Next: B 12:00 (in 2 h)";
        QTest::newRow("a one-off gone, a daily next")
            << QList<AlarmRecord>{alarm("Gone", AlarmRecord::OnceOnly, 9, 0), dentist.first()} << 0
            << QDateTime(thursday, QTime(10, 0)) << "Next: Dentist 19:00 (in 9 h)";
        QTest::newRow("disabled rings not")
            << QList<AlarmRecord>{alarm("Off", AlarmRecord::Daily, 12, 0, 0, thursday, true)} << 0
            << QDateTime(thursday, QTime(10, 0)) << "";
        QTest::newRow("within the week") << QList<AlarmRecord>{alarm("Far", AlarmRecord::OnceOnly, 10, 0, 0,
                                                                     QDate(2024, 3, 14))}
                                         << 0 << QDateTime(thursday, QTime(10, 0)) << "Next: Far Thu 10:00 (in 7 d)";
        QTest::newRow("beyond a week") << QList<AlarmRecord>{alarm("Far", AlarmRecord::OnceOnly, 10, 1, 0,
                                                                   QDate(2024, 3, 14))}
                                       << 0 << QDateTime(thursday, QTime(10, 0)) << "";
        QTest::newRow("nothing") << QList<AlarmRecord>{} << 0 << QDateTime(thursday, QTime(10, 0)) << "";
    }

    void trayTipNamesTheNextRing()
    {
        QFETCH(QList<AlarmRecord>, alarms);
        QFETCH(int, snooze);
        QFETCH(QDateTime, now);
        QFETCH(QString, next);
        TimingModule::SetClock([now] { return now; });
        QVERIFY(useTable(QList<AlarmRecord>{AlarmRecord{}} + alarms));
        Snoozes::SetFile(QString());
        if (snooze > 0)
            Snoozes::Add(QStringLiteral("tea-id"), QStringLiteral("Tea"), snooze);
        const QString tip = SystemTray::TipFor(AlarmChecking::NextRing(), now);
        Snoozes::SetFile(QString());
        QCOMPARE(tip, next.isEmpty() ? QStringLiteral("Tockwise") : QStringLiteral("Tockwise\n") + next);
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

    // The panel by keyboard: Up and Down select, Delete deletes, the menu key
    // and Shift+F10 open the menu at the line, Escape hides it; emptied, it goes.
    void missedPanelKeys_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("keys");   // D Down, U Up, X Delete, M menu key, F Shift+F10, E Escape
        QTest::addColumn<QString>("choose"); // from the menu, when it opens
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("firstRow");
        QTest::addColumn<bool>("shown");

        const QStringList three{"E1", "E2", "E3"};
        QStringList eight;
        for (int i = 1; i <= 8; ++i)
            eight << QStringLiteral("E%1").arg(i);
        QTest::newRow("Down selects the first") << 3 << "D"
                                                << ""
                                                << "E1" << three << "E1" << true;
        QTest::newRow("Down, Down, Up") << 3 << "DDU"
                                        << ""
                                        << "E1" << three << "E1" << true;
        QTest::newRow("Down stops at the last") << 3 << "DDDD"
                                                << ""
                                                << "E3" << three << "E1" << true;
        QTest::newRow("Up from none: the last in sight") << 8 << "U"
                                                         << ""
                                                         << "E6" << eight << "E1" << true;
        QTest::newRow("Down past the sixth scrolls") << 8 << "DDDDDDD"
                                                     << ""
                                                     << "E7" << eight << "E2" << true;
        QTest::newRow("Delete: the next is selected") << 3 << "DX"
                                                      << ""
                                                      << "E2" << QStringList{"E2", "E3"} << "E2" << true;
        QTest::newRow("Delete the last: the one above") << 3 << "DDDX"
                                                        << ""
                                                        << "E2" << QStringList{"E1", "E2"} << "E1" << true;
        QTest::newRow("Delete with none selected") << 3 << "X"
                                                   << ""
                                                   << "" << three << "E1" << true;
        QTest::newRow("Delete every line: it goes") << 2 << "DXX"
                                                    << ""
                                                    << "" << QStringList{} << "" << false;
        QTest::newRow("the menu key at the line") << 3 << "DDM"
                                                  << "Menu_Missed_Delete"
                                                  << "" << QStringList{"E1", "E3"} << "E1" << true;
        QTest::newRow("Shift+F10 without a line: no Delete") << 3 << "F"
                                                             << "Menu_Missed_Delete"
                                                             << "" << three << "E1" << true;
        QTest::newRow("Shift+F10, Clear All: it goes") << 3 << "DF"
                                                       << "Menu_Missed_Clear"
                                                       << "" << QStringList{} << "" << false;
        QTest::newRow("Escape hides it") << 3 << "DE"
                                         << ""
                                         << "E1" << three << "E1" << false;
    }

    void missedPanelKeys()
    {
        QFETCH(int, entries);
        QFETCH(QString, keys);
        QFETCH(QString, choose);
        QFETCH(QString, selected);
        QFETCH(QStringList, left);
        QFETCH(QString, firstRow);
        QFETCH(bool, shown);

        loadClock();
        MissedForm *missed = Forms().Get<MissedForm>();
        MenuForm *menus = Forms().Get<MenuForm>();
        for (int i = 1; i <= entries; ++i)
            AlarmChecking::MissedAlarms.append(QStringLiteral("E%1").arg(i));
        missed->show();
        missed->UpdateMissedList();
        menus->Menu_Main_Missed->setChecked(true);
        chosenItem = choose;
        for (const QChar key : keys) {
            switch (key.toLatin1()) {
            case 'D':
                QTest::keyClick(missed, Qt::Key_Down);
                break;
            case 'U':
                QTest::keyClick(missed, Qt::Key_Up);
                break;
            case 'X':
                QTest::keyClick(missed, Qt::Key_Delete);
                break;
            case 'M':
                QTest::keyClick(missed, Qt::Key_Menu);
                break;
            case 'F':
                QTest::keyClick(missed, Qt::Key_F10, Qt::ShiftModifier);
                break;
            case 'E':
                QTest::keyClick(missed, Qt::Key_Escape);
                break;
            }
        }
        const qint32 k = missed->Selected();
        QCOMPARE(k > 0 ? AlarmChecking::MissedAlarms.at(k) : QString(), selected);
        QStringList lines = AlarmChecking::MissedAlarms;
        lines.removeAll(QString());
        QCOMPARE(lines, left);
        QCOMPARE(missed->RowText(0), firstRow);
        QCOMPARE(missed->isVisible(), shown);
        QCOMPARE(menus->Menu_Main_Missed->isChecked(), shown);
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
        // line shows in the first row; the emptied panel goes, unchecked.
        menus->Menu_Main_Missed->setChecked(true);
        chosenItem = "Menu_Missed_Clear";
        missed->Label1_MouseDown(Qt::RightButton);
        QCOMPARE(AlarmChecking::MissedAlarms, QStringList{QString()});
        QCOMPARE(missed->MissedStart, 0);
        QCOMPARE(missed->UpColour(), MissedForm::Inactive);
        QVERIFY(!missed->isVisible());
        QVERIFY(!menus->Menu_Main_Missed->isChecked());
        missed->show();
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
