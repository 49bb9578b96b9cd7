#include "ui/ToolWindow.h"

#include "ui/AccessibleRole.h"
#include "ui/WindowPositioning.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace ToolWindow {

QFont ArialFont(qreal pointSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize);
    return font;
}

void Setup(QWidget *window, const QString &caption, QSize clientSize)
{
    window->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setWindowTitle(caption);
    window->setFixedSize(clientSize);
    window->setFont(ArialFont());
    CentreOnScreen(window);
}

void CentreOnScreen(QWidget *window, bool shrink)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Never with the title bar or the close box off screen, where the window
    // could be neither moved nor closed.
    const QRect placed = WindowPositioning::CentredToolWindow(screen->availableGeometry(), window->size(), shrink);
    if (placed.size() != window->size())
        window->setFixedSize(placed.size());
    window->move(placed.topLeft());
}

void PlaceTwips(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLabel *MakeLink(QWidget *parent, const char *name, const QString &text)
{
    QLabel *label = MakeLabel(parent, name, text, Qt::AlignRight);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, LinkBlue);
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    label->setFocusPolicy(Qt::TabFocus);
    AccessibleRole::Set(label, QAccessible::Link);
    return label;
}

} // namespace ToolWindow
