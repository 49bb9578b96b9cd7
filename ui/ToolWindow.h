#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// The look shared by the program's small fixed-size windows: a narrow title bar
// with a close box only, no taskbar button, a fixed client size in pixels,
// placed in the middle of the screen.
namespace ToolWindow {

constexpr int TwipsPerPixel = 15;

constexpr int Px(int twips)
{
    return twips / TwipsPerPixel;
}

// Background of the alarm list and the alarm editor.
inline const QColor AlarmBackground = QColor(224, 224, 240);
// The blue of link labels.
inline const QColor LinkBlue = QColor(0, 0, 255);

// Arial at the given size; fontconfig stands Liberation Sans in for it on Linux.
QFont ArialFont(qreal pointSize = 8.25);

void Setup(QWidget *window, const QString &caption, QSize clientSize);
// Centres the window in the screen's available area, its title bar and close
// box inside it; with shrink, a window too large for the area gets smaller.
void CentreOnScreen(QWidget *window, bool shrink = false);

// Places a control at a rectangle given in twips.
void PlaceTwips(QWidget *control, int left, int top, int width, int height);

// A caption beside a control, centred vertically; it never takes the focus.
QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, Qt::Alignment alignment);
// A button that answers Enter only when it has the focus, never as the window's default.
QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text);
// A blue underlined label that acts as a link: reached with Tab, announced as
// a link; the window opens it on a click, Enter or Space.
QLabel *MakeLink(QWidget *parent, const char *name, const QString &text);

} // namespace ToolWindow
