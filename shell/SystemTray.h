#pragma once

class MenuForm;
class QSystemTrayIcon;

// The one tray icon of a run: added when the menus first load, removed when
// they unload, and not added again in the same run.
namespace SystemTray {

extern bool TrayIconAdded;

inline constexpr char TipText[] = "Tockwise";

QSystemTrayIcon *AddTrayIcon(MenuForm *owner);
void RemoveTrayIcon();

} // namespace SystemTray
