#include "shell/ShellWiring.h"

#include "clockwindow/MainForm.h"
#include "shell/MenuForm.h"
#include "ui/FormRegistry.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

void ShellWiring::Install()
{
    static ShellWiring wiring;
    ShellRequests::Install(&wiring);
}

void ShellWiring::LoadMenus()
{
    Forms().Get<MenuForm>()->hide();
}

void ShellWiring::UnloadMenus()
{
    Forms().Unload<MenuForm>();
}

void ShellWiring::PopupMainMenu()
{
    Forms().Get<MenuForm>()->PopupMainMenu();
}

void ShellWiring::PopupMainMenu(const QPoint &at)
{
    Forms().Get<MenuForm>()->PopupMainMenu(at);
}

void ShellWiring::SelectMissedEntry(qint32 index)
{
    Forms().Get<MenuForm>()->SelectionID = index;
}

void ShellWiring::PopupMissedMenu(bool deleteEnabled, bool clearEnabled)
{
    MenuForm *menus = Forms().Get<MenuForm>();
    menus->Menu_Missed_Delete->setEnabled(deleteEnabled);
    menus->Menu_Missed_Clear->setEnabled(clearEnabled);
    menus->PopupMissedMenu();
}

void ShellWiring::CheckShowMissed(bool checked)
{
    Forms().Get<MenuForm>()->Menu_Main_Missed->setChecked(checked);
}

void ShellWiring::UnloadClock()
{
    Forms().Unload<MainForm>();
}

namespace {

bool anyWindowOpen()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *w : widgets) {
        if (w->isVisible() && !w->testAttribute(Qt::WA_DontShowOnScreen) && w->windowType() != Qt::Popup &&
            !w->inherits("QMenu"))
            return true;
    }
    return false;
}

class LastWindowWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if ((event->type() == QEvent::Hide || event->type() == QEvent::Close) && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->isWindow())
            QTimer::singleShot(0, this, &LastWindowWatcher::check);
        return false;
    }

public:
    void check()
    {
        if (!Forms().Find<MainForm>() && !anyWindowOpen())
            QCoreApplication::quit();
    }
};

} // namespace

void QuitWhenLastWindowGone()
{
    static LastWindowWatcher *watcher = nullptr;
    if (!watcher) {
        watcher = new LastWindowWatcher(qApp);
        qApp->installEventFilter(watcher);
    }
    // The clock is deleted a moment after it closes; look again once it is gone.
    if (MainForm *clock = Forms().Find<MainForm>())
        QObject::connect(clock, &QObject::destroyed, watcher,
                         [] { QTimer::singleShot(0, watcher, &LastWindowWatcher::check); });
}
