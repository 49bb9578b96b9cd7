// An upward call: the command service asking the tray.
#include "shell/SystemTray.h"

int Planted()
{
    return SystemTray::StatusNotifierHostPresent() ? 1 : 0;
}
