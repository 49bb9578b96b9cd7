#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>

// Owns the windows that exist once. A window is loaded (created) on first use
// and unloaded by closing it: every such window deletes itself on close, which
// runs its unload handler, and the registry forgets it.
class FormRegistry
{
public:
    static FormRegistry &instance();

    // The loaded window of type T, loading it (hidden) first if needed.
    template <class T> T *Get()
    {
        QPointer<QWidget> &slot = m_forms[&T::staticMetaObject];
        if (!slot) {
            T *form = new T();
            form->setAttribute(Qt::WA_DeleteOnClose);
            slot = form;
            if (m_loaded)
                m_loaded(form);
        }
        return static_cast<T *>(slot.data());
    }

    // The window of type T if it is loaded, else nullptr. Never loads it.
    template <class T> T *Find() const
    {
        const QPointer<QWidget> slot = m_forms.value(&T::staticMetaObject);
        return static_cast<T *>(slot.data());
    }

    template <class T> void Unload()
    {
        if (T *form = Find<T>())
            form->close();
    }

    // Shows the window (loading it if needed) or, when it is already open,
    // only brings it forward.
    template <class T> T *ShowOrRaise()
    {
        T *form = Get<T>();
        // A minimised window comes back as well.
        form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
        form->show();
        form->raise();
        form->activateWindow();
        return form;
    }

    // Deletes every loaded window at once (tests, and the end of the process).
    void DeleteAll();

    // Called with every window as it is loaded, before anyone uses it: the
    // shell connects the windows' requests there.
    using LoadHandler = std::function<void(QWidget *)>;
    void OnLoad(LoadHandler handler) { m_loaded = std::move(handler); }

private:
    QHash<const QMetaObject *, QPointer<QWidget>> m_forms;
    LoadHandler m_loaded;
};

inline FormRegistry &Forms()
{
    return FormRegistry::instance();
}
