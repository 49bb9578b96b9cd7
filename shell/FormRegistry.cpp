#include "shell/FormRegistry.h"

FormRegistry &FormRegistry::instance()
{
    static FormRegistry registry;
    return registry;
}

void FormRegistry::DeleteAll()
{
    const auto forms = m_forms.values();
    m_forms.clear();
    for (const QPointer<QWidget> &form : forms)
        delete form.data();
}

#include "clockwindow/MainForm.h"

#include <QApplication>
#include <QTimer>

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
    auto *watcher = new LastWindowWatcher(qApp);
    qApp->installEventFilter(watcher);
    // The clock is deleted a moment after it closes; look again once it is gone.
    if (MainForm *clock = Forms().Find<MainForm>())
        QObject::connect(clock, &QObject::destroyed, watcher,
                         [watcher] { QTimer::singleShot(0, watcher, &LastWindowWatcher::check); });
}
