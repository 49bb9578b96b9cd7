#include "clockwindow/MainForm.h"
#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "notify/MessageForm.h"
#include "notify/SoundModule.h"
#include "shell/CommandLine.h"
#include "shell/SessionEnd.h"
#include "shell/ShellWiring.h"
#include "shell/SingleInstance.h"
#include "shell/SystemTray.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (const auto exitCode = CommandLine::Handle(argc, argv))
        return *exitCode;

    // The clock places and drags its own windows, which a Wayland client may
    // not do: run through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Shared-memory images make every repaint of the clock wait for the X
    // server's answer, two more wake-ups per frame; the 200 x 70 face is
    // cheaper to send whole over the socket.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

#ifdef SIGXFSZ
    // A write past the file size limit must fail like a full disk (the save
    // reports it and keeps the old file), not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    QApplication app(argc, argv);
    // The name desktops, trays and screen readers show. No display name: Qt
    // would append it to every window title the window manager shows.
    QApplication::setApplicationName(QStringLiteral("Tockwise"));
    QApplication::setDesktopFileName(QStringLiteral("example.varnod.Tockwise"));
    // The program ends when its last window is gone, hidden clock included.
    QApplication::setQuitOnLastWindowClosed(false);

    const bool restart = app.arguments().mid(1) == QStringList{QStringLiteral("restart")};
    SingleInstance instance;
    if (!instance.Start(restart))
        return 0;

    // Ending the session saves first, as the Exit items do.
    SessionEnd sessionEnd(
        [] {
            if (MainForm *form = Forms().Find<MainForm>())
                form->close();
            QCoreApplication::quit();
        },
        [] {
            if (MainForm *form = Forms().Find<MainForm>())
                form->Form_Unload(1);
        });

    const QString programFolder = QCoreApplication::applicationDirPath();
    // The per-user folder where users' alarms live keeps its lower-case name.
    const QDir userData(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                            .filePath(QStringLiteral("tockwise")));
    AlarmHandling::SetAlarmFolder(AlarmHandling::ChooseAlarmFolder(programFolder, userData.path()));
    AlarmChecking::SetMissedFile(userData.filePath(QStringLiteral("missed-alarms.txt")));
    SoundModule::SetProgramFolder(programFolder);
    if (qEnvironmentVariableIsSet("TOCKWISE_ALERT_INTERVAL"))
        MessageForm::SetAlertInterval(qEnvironmentVariableIntValue("TOCKWISE_ALERT_INTERVAL"));

    ShellWiring::Install();
    MainForm *clock = Forms().Get<MainForm>();
    QString error;
    if (!clock->Form_Load(&error)) {
        Dialogs::ShowError(nullptr, error + QStringLiteral("\n\nTockwise cannot start without its alarms."));
        Forms().DeleteAll();
        return 1;
    }
    instance.OnShowRequest([] {
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
                Dialogs::ShowError(nullptr, reason + QStringLiteral("\n\nTockwise cannot start without its alarms."));
                return;
            }
            QuitWhenLastWindowGone();
        }
        form->show();
        form->raise();
        form->activateWindow();
    });
    QuitWhenLastWindowGone();
    // Read and handed to the sound server once the clock is up, so that the
    // first chime starts with its minute.
    QTimer::singleShot(0, &app, [] { SoundModule::Prepare(); });
    // When the display goes away (the X server closed at logout) Qt ends the
    // process with exit() from inside the event loop: save on the way out.
    std::atexit([] {
        if (MainForm *form = Forms().Find<MainForm>())
            form->Form_Unload(1);
    });

    const int result = app.exec();
    Forms().DeleteAll();
    return result;
}
