#pragma once

#include "engine/AlarmChecking.h"

#include <QDateTime>
#include <QString>

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

// Within this many minutes the next ring is named in the tip.
constexpr qint32 TipHorizon = 7 * 1440;

// The icon's tip: "Tockwise", and on a second line what rings next, e.g.
// "Next: Dentist 07:00 (in 8 h 3 min)", "Next: Gym Mon 18:00 (in 2 d 4 h)",
// "Next: Tea, snoozed, 08:15 (in 7 min)".
QString TipFor(const AlarmChecking::Coming &next, const QDateTime &now);
// Sets the tip from the table and the snoozes as they are now; a tip that
// reads as before is not sent again.
void UpdateTip();

} // namespace SystemTray
