#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class CommandHost;

// Which request of a window opens what: the shell connects every window's
// requests as the window is loaded (the clock's menus and tray icon, the
// missed panel's menu and its check mark, the theme window's restart), and
// owns the restart and the end of the program.
namespace ShellWiring {

// Installs the one wiring of the program (main, and tests of the whole).
void Install();

// The windows' side of the commands: a command is refused while the alarm
// editor or a question is open, snoozes and dismisses the notifications, and
// the alarm list and the clock follow what it changed.
void ConnectCommands(CommandHost &host);

// Restarts the program: a new copy first, so that a copy that cannot start (its
// program file replaced by an upgrade, no process to be had) leaves this clock
// running; then this one saves and ends.
void Restart();

// The last steps of the restart: start a new copy of the program and end this
// one at once. Tests replace them to watch a restart without ending. Launch
// returns why the new copy could not be started, empty when it was. Empty
// functions restore the real ones.
using Launch = std::function<QString(const QString &program, const QStringList &arguments)>;
using EndProcess = std::function<void()>;
void SetRestartSeam(Launch launch, EndProcess endProcess);

} // namespace ShellWiring

// Ends the program once the clock window is gone and no other window of the
// program is left open (a notification, the alarm list, an about window...).
// Called again for a clock loaded anew.
void QuitWhenLastWindowGone();
