#include "shell/SystemTray.h"

#include "resources/Artwork.h"
#include "shell/MenuForm.h"

#include <QPointer>
#include <QSystemTrayIcon>

namespace SystemTray {

bool TrayIconAdded = false;

namespace {
QPointer<QSystemTrayIcon> trayIcon;
}

QSystemTrayIcon *AddTrayIcon(MenuForm *owner)
{
    auto *icon = new QSystemTrayIcon(Artwork::ProgramIcon(), owner);
    icon->setToolTip(QString::fromLatin1(TipText));
    // With no tray on the desktop the icon simply does not show; the program
    // runs on without it.
    icon->show();
    trayIcon = icon;
    return icon;
}

void RemoveTrayIcon()
{
    if (trayIcon) {
        trayIcon->hide();
        trayIcon->deleteLater();
    }
    trayIcon = nullptr;
}

} // namespace SystemTray
