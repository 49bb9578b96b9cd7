#pragma once

#include <QAccessible>
#include <QString>

class QWidget;

// What a screen reader announces for a widget that is drawn as something else:
// a label that acts as a push button or a link, a borderless window that is an
// alert. A push button or a link so marked offers the "press" action, which
// clicks it with the left button as the mouse would.
namespace AccessibleRole {

// Set before the widget is first shown (a screen reader asks once and keeps
// the answer).
void Set(QWidget *widget, QAccessible::Role role, const QString &name = QString());

} // namespace AccessibleRole
