#include "clockwindow/MainForm.h"
#include "engine/AlarmHandling.h"
#include "notify/SoundModule.h"
#include "shell/Dialogs.h"
#include "shell/FormRegistry.h"
#include "shell/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include <csignal>

int main(int argc, char *argv[])
{
    // The clock places and drags its own windows, which a Wayland client may
    // not do: run through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");

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

    const QString programFolder = QCoreApplication::applicationDirPath();
    // The per-user folder where users' alarms live keeps its lower-case name.
    AlarmHandling::SetAlarmFolder(AlarmHandling::ChooseAlarmFolder(
        programFolder, QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                           .filePath(QStringLiteral("tockwise"))));
    SoundModule::SetProgramFolder(programFolder);

    MainForm *clock = Forms().Get<MainForm>();
    QString error;
    if (!clock->Form_Load(&error)) {
        Dialogs::ShowError(nullptr, error + QStringLiteral("\n\nTockwise cannot start without its alarms."));
        Forms().DeleteAll();
        return 1;
    }
    instance.OnShowRequest([] {
        if (MainForm *form = Forms().Find<MainForm>()) {
            form->show();
            form->raise();
            form->activateWindow();
        }
    });
    QuitWhenLastWindowGone();

    const int result = app.exec();
    Forms().DeleteAll();
    return result;
}
