#pragma once

class MenuForm;
class QSystemTrayIcon;

// The one tray icon of a run: added when the menus first load, removed when
// they unload, and not added again in the same run unless the clock itself is
// loaded again (a second start after Exit, while a notification kept the
// program running).
namespace SystemTray {

extern bool TrayIconAdded;

// True when the icon lives in a StatusNotifierItem tray (KDE Plasma, GNOME with
// AppIndicator, the Xfce and LXQt panels): such a tray reports a left click as
// the item's activation and has no double click. False for an XEmbed tray.
// Decided when the icon is added.
extern bool ActivatesOnClick;

inline constexpr char TipText[] = "Tockwise";

// Whether a StatusNotifierItem tray host is on the session bus now: the
// condition under which Qt hosts its tray icons over D-Bus.
bool StatusNotifierHostPresent();

QSystemTrayIcon *AddTrayIcon(MenuForm *owner);
void RemoveTrayIcon();

} // namespace SystemTray
