#pragma once

#include <QPoint>
#include <QtGlobal>

// What a window asks of the shell above it: the tray and its menus, and the
// clock's unloading. The shell installs itself at start-up, so windows never
// include it; without one (a window on its own) every request is ignored.
class ShellRequests
{
public:
    virtual ~ShellRequests() = default;

    // Loads the menus hidden, which adds the tray icon; unloads them again.
    virtual void LoadMenus() {}
    virtual void UnloadMenus() {}
    // The clock's main menu at the pointer, or at a point (from the keyboard).
    virtual void PopupMainMenu() {}
    virtual void PopupMainMenu(const QPoint &) {}
    // The missed panel's menu. SelectMissedEntry remembers the entry a right
    // click was on, which "Delete" then blanks.
    virtual void SelectMissedEntry(qint32) {}
    virtual void PopupMissedMenu(bool /*deleteEnabled*/, bool /*clearEnabled*/) {}
    // The check mark of "Show Missed Alarms".
    virtual void CheckShowMissed(bool) {}
    // Unloads the clock window, which saves its settings on the way out.
    virtual void UnloadClock() {}

    static ShellRequests &Get();
    static void Install(ShellRequests *shell);
};

inline ShellRequests &Shell()
{
    return ShellRequests::Get();
}
