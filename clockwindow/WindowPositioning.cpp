#include "clockwindow/WindowPositioning.h"

#include <QWidget>

namespace WindowPositioning {

void BringToFront(QWidget *window)
{
    if (!window)
        return;
    window->raise();
    window->activateWindow();
}

} // namespace WindowPositioning
