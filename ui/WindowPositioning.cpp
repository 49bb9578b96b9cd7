#include "ui/WindowPositioning.h"

#include <QGuiApplication>
#include <QScreen>

#include <QWidget>

#include <algorithm>
#include <limits>

namespace WindowPositioning {

namespace {

// Within [low, high], and at low when the range is empty (a window larger
// than the area keeps its top-left corner inside).
int clampedStart(int value, int low, int high)
{
    return std::max(low, std::min(value, high));
}

qint64 visibleArea(const QRect &window, const QList<QRect> &areas)
{
    qint64 shown = 0;
    for (const QRect &area : areas) {
        const QRect part = window.intersected(area);
        if (!part.isEmpty())
            shown += qint64(part.width()) * part.height();
    }
    return shown;
}

// Distance from the window's centre to the area (0 inside it), squared.
qint64 distanceSquared(const QRect &window, const QRect &area)
{
    const QPoint c = window.center();
    const qint64 dx = c.x() < area.left() ? area.left() - c.x() : c.x() > area.right() ? c.x() - area.right() : 0;
    const qint64 dy = c.y() < area.top() ? area.top() - c.y() : c.y() > area.bottom() ? c.y() - area.bottom() : 0;
    return dx * dx + dy * dy;
}

} // namespace

void BringToFront(QWidget *window)
{
    if (!window)
        return;
    window->raise();
    window->activateWindow();
}

QList<QRect> AvailableAreas()
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    return areas;
}

QPoint ReachablePosition(const QRect &window, const QList<QRect> &areas)
{
    if (areas.isEmpty() || window.isEmpty())
        return window.topLeft();
    if (2 * visibleArea(window, areas) >= qint64(window.width()) * window.height())
        return window.topLeft();

    const QRect *nearest = &areas.first();
    qint64 best = std::numeric_limits<qint64>::max();
    for (const QRect &area : areas) {
        const qint64 d = distanceSquared(window, area);
        if (d < best) {
            best = d;
            nearest = &area;
        }
    }
    return QPoint(clampedStart(window.x(), nearest->left(), nearest->right() + 1 - window.width()),
                  clampedStart(window.y(), nearest->top(), nearest->bottom() + 1 - window.height()));
}

QPoint MissedPanelPosition(const QWidget *clock, const QSize &panel)
{
    const QScreen *screen = QGuiApplication::screenAt(clock->geometry().center());
    if (!screen)
        screen = clock->screen();
    return MissedPanelPosition(clock->geometry(), panel, screen ? screen->availableGeometry() : QRect());
}

QPoint MissedPanelPosition(const QRect &clock, const QSize &panel, const QRect &area)
{
    const int centred = clock.x() - (panel.width() - clock.width()) / 2;
    const int below = clock.y() + clock.height() - 1;
    if (area.isEmpty())
        return QPoint(centred, below);
    // Its scroll arrows are at its right edge: a clock at a side of the screen
    // moves the panel in rather than leave them off it.
    const int left = clampedStart(centred, area.left(), area.right() + 1 - panel.width());
    if (below + panel.height() <= area.bottom() + 1)
        return QPoint(left, below);
    return QPoint(left, clock.y() - panel.height() + 1);
}

QRect CentredToolWindow(const QRect &area, const QSize &client, bool shrink)
{
    QSize size = client;
    const QSize room = area.size() - FrameAllowance;
    if (shrink && room.isValid() && (size.width() > room.width() || size.height() > room.height()))
        size = size.scaled(room, Qt::KeepAspectRatio);
    const QSize frame = size + FrameAllowance;
    const int x = area.x() + (area.width() - size.width()) / 2;
    const int y = area.y() + (area.height() - size.height()) / 2;
    return QRect(QPoint(clampedStart(x, area.left(), area.right() + 1 - frame.width()),
                        clampedStart(y, area.top(), area.bottom() + 1 - frame.height())),
                 size);
}

int CascadeSlots(const QRect &area, const QSize &window)
{
    const int x = area.x() + (area.width() - window.width()) / 2;
    const int y = area.y() + (area.height() - window.height()) / 2;
    const int across = (area.right() + 1 - (x + window.width())) / CascadeStep;
    const int down = (area.bottom() + 1 - (y + window.height())) / CascadeStep;
    return std::max(1, std::min(across, down) + 1);
}

QPoint CascadePosition(const QRect &area, const QSize &window, int index)
{
    const int step = std::max(0, index) % CascadeSlots(area, window);
    return QPoint(area.x() + (area.width() - window.width()) / 2 + step * CascadeStep,
                  area.y() + (area.height() - window.height()) / 2 + step * CascadeStep);
}

} // namespace WindowPositioning
