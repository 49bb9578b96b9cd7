#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>
#include <QWidget>

// The control of a window by its object name; a missing one ends the test
// program at once, naming it, rather than crashing somewhere later.
template <class T> T *Child(QWidget *form, const char *name)
{
    T *w = form->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

// Windows closed with WA_DeleteOnClose are gone once this returns.
inline void RunDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The names of the first count controls Tab visits, starting at first and
// passing over those that never take the focus.
inline QStringList FocusOrder(QWidget *first, int count)
{
    QStringList order;
    QWidget *w = first;
    for (int i = 0; i < count; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        order << w->objectName();
    }
    return order;
}
