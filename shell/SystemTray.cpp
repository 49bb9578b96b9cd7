#include "shell/SystemTray.h"

#include "resources/Artwork.h"
#include "shell/MenuForm.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QPointer>
#include <QSystemTrayIcon>

namespace SystemTray {

bool TrayIconAdded = false;
bool ActivatesOnClick = false;

namespace {
QPointer<QSystemTrayIcon> trayIcon;

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
} // namespace

bool StatusNotifierHostPresent()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (!bus.interface()->isServiceRegistered(WatcherService).value())
        return false;
    // A watcher without a host shows no items; Qt then uses an XEmbed tray.
    QDBusInterface watcher(WatcherService, QStringLiteral("/StatusNotifierWatcher"), WatcherService, bus);
    return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
}

QSystemTrayIcon *AddTrayIcon(MenuForm *owner)
{
    // Asked before the icon exists, as Qt asks once when it creates the icon.
    ActivatesOnClick = StatusNotifierHostPresent();
    auto *icon = new QSystemTrayIcon(Artwork::ProgramIcon(), owner);
    icon->setToolTip(QString::fromLatin1(TipText));
    // A StatusNotifierItem host opens an item's menu itself, from the menu the
    // item exports over D-Bus; without one its right click offers only the
    // panel's own menu. An XEmbed tray gets no menu here: Qt would open it on
    // the right button's press, and the tray menu opens on its release.
    if (ActivatesOnClick)
        icon->setContextMenu(owner->Menu_Tray);
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
