#include "shell/ClockApplication.h"

#include "clockwindow/MainForm.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/UserFiles.h"
#include "interchange/Recurrence.h"
#include "notify/MessageForm.h"
#include "notify/RingSession.h"
#include "notify/SoundModule.h"
#include "platform/EndSignals.h"
#include "service/CommandService.h"
#include "service/SingleInstance.h"
#include "shell/MediaPause.h"
#include "shell/RingBubble.h"
#include "shell/RingKeepAwake.h"
#include "shell/RingVolume.h"
#include "shell/SessionEnd.h"
#include "shell/ShellWiring.h"
#include "shell/SystemTray.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler passOn = nullptr;

// Before the application object: how Qt is to reach the display.
void prepareDisplay()
{
    // The clock places and drags its own windows, which a Wayland client may
    // not do: run through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Shared-memory images make every repaint of the clock wait for the X
    // server's answer, two more wake-ups per frame; the 200 x 70 face is
    // cheaper to send whole over the socket.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

    EndSignals::IgnoreFileSizeLimit();

    // Without a usable display (none set, a server gone, "-platform" with no
    // or a wrong name) Qt ends the program with a core dump; say what is
    // wrong and end with status 1 instead.
    passOn = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (type != QtFatalMsg) {
            passOn(type, context, text);
            return;
        }
        std::fprintf(stderr,
                     "%s\ntockwise: cannot start: no usable display (check DISPLAY or the -platform "
                     "option)\n",
                     qPrintable(text));
        std::fflush(stderr);
        std::_Exit(1);
    });
}

const QString CannotStart = QStringLiteral("\n\nTockwise cannot start without its alarms.");

} // namespace

ClockApplication::ClockApplication(int &argc, char **argv)
{
    prepareDisplay();
    m_app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(passOn);
    // The name desktops, trays and screen readers show. No display name: Qt
    // would append it to every window title the window manager shows.
    QApplication::setApplicationName(QStringLiteral("Tockwise"));
    QApplication::setDesktopFileName(QStringLiteral("example.varnod.Tockwise"));
    // The program ends when its last window is gone, hidden clock included.
    QApplication::setQuitOnLastWindowClosed(false);
}

ClockApplication::~ClockApplication() = default;

int ClockApplication::Exec()
{
    const int result = run();
    Forms().DeleteAll();
    return result;
}

int ClockApplication::run()
{
    const bool restart = m_app->arguments().mid(1) == QStringList{QStringLiteral("restart")};
    m_instance = std::make_unique<SingleInstance>();
    QObject::connect(m_instance.get(), &SingleInstance::CannotRun,
                     [](const QString &message) { Dialogs::ShowError(nullptr, message); });
    if (!m_instance->Start(restart))
        return m_instance->ExitCode();

    // Ending the session saves first, as the Exit items do. A clock that
    // never loaded (its start-up error box is up) has nothing to save: the
    // box goes, and so does the program.
    m_sessionEnd = std::make_unique<SessionEnd>(
        [] {
            MainForm *form = Forms().Find<MainForm>();
            if (form && form->IsRunning()) {
                form->close();
                QCoreApplication::quit();
                return;
            }
            QApplication::closeAllWindows();
            QCoreApplication::exit(1);
        },
        [] {
            if (MainForm *form = Forms().Find<MainForm>())
                form->SaveNow();
        });

    // While an alarm rings it is heard, the computer stays awake and the music
    // pauses.
    m_volume =
        std::make_unique<RingVolume>(UserFiles::UserFile(QStringLiteral("output-volume")), Settings::ReadAlarmVolume());
    m_volume->PutBackLeftOver();
    m_keepAwake = std::make_unique<RingKeepAwake>();
    m_media = std::make_unique<MediaPause>();
    RingVolume *volume = m_volume.get();
    RingKeepAwake *keepAwake = m_keepAwake.get();
    MediaPause *media = m_media.get();
    RingSession &ring = RingSession::Instance();
    QObject::connect(&ring, &RingSession::Started, volume, [volume](const QString &) { volume->Raise(); });
    QObject::connect(&ring, &RingSession::Ended, volume, &RingVolume::PutBack);
    QObject::connect(&ring, &RingSession::Started, keepAwake, &RingKeepAwake::Hold);
    QObject::connect(&ring, &RingSession::Ended, keepAwake, [keepAwake](bool) { keepAwake->Release(); });
    QObject::connect(&ring, &RingSession::Started, media, [media](const QString &) { media->PausePlaying(); });
    QObject::connect(&ring, &RingSession::Ended, media, &MediaPause::PlayPaused);
    // Each ringing alarm is shown on the desktop's notification server too.
    m_bubbles = std::make_unique<RingBubble>();
    RingBubble *bubbles = m_bubbles.get();
    QObject::connect(&ring, &RingSession::NotificationStarted, bubbles, &RingBubble::Show);
    QObject::connect(&ring, &RingSession::NotificationEnded, bubbles, &RingBubble::Withdraw);
    QObject::connect(&ring, &RingSession::Ended, bubbles, [bubbles](bool programEnding) {
        if (programEnding)
            bubbles->WithdrawAll();
    });

    Recurrence::Install();
    UserFiles::SetUpFiles();
    Snoozes::Load();
    SoundModule::SetProgramFolder(QCoreApplication::applicationDirPath());
    if (qEnvironmentVariableIsSet("TOCKWISE_ALERT_INTERVAL"))
        MessageForm::SetAlertInterval(qEnvironmentVariableIntValue("TOCKWISE_ALERT_INTERVAL"));

    ShellWiring::Install();
    MainForm *clock = Forms().Get<MainForm>();
    QString error;
    if (!clock->Form_Load(&error)) {
        Dialogs::ShowError(nullptr, error + CannotStart);
        return 1;
    }
    m_instance->OnShowRequest([this] { showClock(); });
    // Commands from a terminal (the local socket) and from the bus change the
    // table the same way; so does the calendar server, where one is set up.
    m_commands = std::make_unique<CommandService>();
    ShellWiring::ConnectCommands(m_commands->Host());
    QObject::connect(&m_commands->Host(), &CommandHost::AlarmVolumeChanged, volume, &RingVolume::SetPercent);
    QObject::connect(&m_commands->Sync(), &SyncService::FailureToShow, m_app.get(),
                     [](const QString &text) { Dialogs::ShowError(nullptr, text); });
    QObject::connect(m_commands.get(), &CommandService::ShowClockRequested, m_app.get(), [this] { showClock(); });
    m_commands->Start(*m_instance);
    QuitWhenLastWindowGone();
    // Read and handed to the sound server once the clock is up, so that the
    // first chime starts with its minute.
    QTimer::singleShot(0, m_app.get(), [] { SoundModule::Prepare(); });
    // When the display goes away (the X server closed at logout) Qt ends the
    // process with exit() from inside the event loop: save on the way out.
    std::atexit([] {
        if (MainForm *form = Forms().Find<MainForm>())
            form->SaveNow();
    });

    return m_app->exec();
}

void ClockApplication::showClock()
{
    MainForm *form = Forms().Find<MainForm>();
    if (!form) {
        // Exit took the clock while a notification stayed open, and the
        // program runs on for it: a new start brings the clock back, with
        // its tray icon.
        SystemTray::TrayIconAdded = false;
        form = Forms().Get<MainForm>();
        QString reason;
        if (!form->Form_Load(&reason)) {
            delete form;
            Dialogs::ShowError(nullptr, reason + CannotStart);
            return;
        }
        QuitWhenLastWindowGone();
    }
    form->show();
    form->raise();
    form->activateWindow();
}
