#pragma once

#include "ui/ShellRequests.h"

// The shell's answers to what the windows ask of it: the menus of MenuForm,
// and unloading the clock.
class ShellWiring : public ShellRequests
{
public:
    // Installs the one wiring of the program (main, and tests of the whole).
    static void Install();

    void LoadMenus() override;
    void UnloadMenus() override;
    void PopupMainMenu() override;
    void PopupMainMenu(const QPoint &at) override;
    void SelectMissedEntry(qint32 index) override;
    void PopupMissedMenu(bool deleteEnabled, bool clearEnabled) override;
    void CheckShowMissed(bool checked) override;
    void UnloadClock() override;
};

// Ends the program once the clock window is gone and no other window of the
// program is left open (a notification, the alarm list, an about window...).
// Called again for a clock loaded anew.
void QuitWhenLastWindowGone();
