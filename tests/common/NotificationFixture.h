#pragma once

#include "notify/MessageForm.h"

#include <QApplication>
#include <QPointer>

// Rung alarms open notification windows of their own, outside the registry:
// gone once this returns. Their menus are top-level windows too, and go with
// them.
inline void DeleteNotifications()
{
    QList<QPointer<MessageForm>> open;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *form = qobject_cast<MessageForm *>(window))
            open.append(form);
    for (const QPointer<MessageForm> &form : open)
        delete form.data();
}
