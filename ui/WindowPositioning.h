#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace WindowPositioning {

// Raises the window once to the top of the ordinary window order and activates
// it. It does not stay above other windows.
void BringToFront(QWidget *window);

// Where windows go on the screens there are. Rectangles are in logical pixels;
// an area is a screen's available part (without panels and docks).

// The clock as stored, where at least half of it shows on the screens, stays
// exactly there; one mostly off every screen (a monitor unplugged, a smaller
// resolution, a new scale) moves fully onto the nearest one.
QPoint ReachablePosition(const QRect &window, const QList<QRect> &areas);
// The available area of every connected screen (without panels and docks).
QList<QRect> AvailableAreas();

// The missed panel hangs centred under the clock, over the clock's bottom pixel
// row; where that would leave the bottom of the area it goes above the clock,
// over its top pixel row, which lies outside the outline as well. Beside a
// clock at a side of the area it moves in only as far as it must.
QPoint MissedPanelPosition(const QRect &clock, const QSize &panel, const QRect &area);
// The same on the screen the clock stands on.
QPoint MissedPanelPosition(const QWidget *clock, const QSize &panel);

// Room a window manager's frame takes around a tool window's client area (title
// bar and borders), since it is not known before the window is first shown.
inline constexpr QSize FrameAllowance(10, 40);

// A tool window of that client size centred in the area, its frame's top-left
// corner (and so its title bar and close box) inside it. With shrink, a window
// too large for the area is made smaller, keeping its proportions, so its
// close box stays on screen too. Returns the frame position and client size.
QRect CentredToolWindow(const QRect &area, const QSize &client, bool shrink);

// Notifications open in the middle of the area, each further one 30 pixels down
// and right of the one before; where a step would leave the area the steps
// begin again from the middle.
inline constexpr int CascadeStep = 30;
QPoint CascadePosition(const QRect &area, const QSize &window, int index);
// How many steps fit before they begin again (at least one).
int CascadeSlots(const QRect &area, const QSize &window);

} // namespace WindowPositioning
