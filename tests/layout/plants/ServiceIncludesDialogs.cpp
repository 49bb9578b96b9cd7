// A failure shown by the command service itself, through the windows' dialogs.
#include "ui/Dialogs.h"

int Planted()
{
    Dialogs::ShowError(nullptr, QStringLiteral("planted"));
    return 0;
}
