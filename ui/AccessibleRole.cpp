#include "ui/AccessibleRole.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWidget>

namespace AccessibleRole {

namespace {

constexpr char RoleProperty[] = "tockwiseAccessibleRole";

class RoleInterface : public QAccessibleWidget
{
public:
    RoleInterface(QWidget *widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
    {}

    QString text(QAccessible::Text t) const override
    {
        // A label standing for a link is named by what it says.
        const QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty()) {
            if (const auto *label = qobject_cast<const QLabel *>(widget()))
                return label->text();
        }
        return text;
    }

    QAccessible::State state() const override
    {
        QAccessible::State st = QAccessibleWidget::state();
        if (role() == QAccessible::Link)
            st.linked = true;
        return st;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (pressable())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &actionName) override
    {
        if (!pressable() || actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        // The widget's own mouse handling decides what a click does.
        QWidget *w = widget();
        const QPointF centre = QRectF(w->rect()).center();
        const QPointF global = w->mapToGlobal(centre);
        QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &release);
    }

private:
    bool pressable() const { return role() == QAccessible::PushButton || role() == QAccessible::Link; }
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(RoleProperty);
    if (!role.isValid())
        return nullptr;
    return new RoleInterface(static_cast<QWidget *>(object), static_cast<QAccessible::Role>(role.toInt()));
}

} // namespace

void Set(QWidget *widget, QAccessible::Role role, const QString &name)
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
    widget->setProperty(RoleProperty, static_cast<int>(role));
    // With a screen reader running, setting a label's text has already made
    // the widget's usual interface; it goes, so the next question makes ours.
    if (QAccessible::isActive()) {
        QAccessibleInterface *made = QAccessible::queryAccessibleInterface(widget);
        if (made && !dynamic_cast<RoleInterface *>(made))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    if (!name.isEmpty())
        widget->setAccessibleName(name);
}

} // namespace AccessibleRole
