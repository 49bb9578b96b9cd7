#include "shell/ShellWiring.h"

#include "alarmui/AlarmForm.h"
#include "alarmui/ModifyForm.h"
#include "clockwindow/MainForm.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "notify/MessageForm.h"
#include "notify/MissedForm.h"
#include "service/CommandHost.h"
#include "shell/MenuForm.h"
#include "shell/SystemTray.h"
#include "theme/ThemeForm.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <cstdlib>

namespace {

ShellWiring::Launch launchSeam;
ShellWiring::EndProcess endSeam;

MenuForm *menus()
{
    return Forms().Get<MenuForm>();
}

// The tray's tip and the list's snooze notes follow the table and the snoozes.
void showWhatIsComing()
{
    SystemTray::UpdateTip();
    if (AlarmForm *list = Forms().Find<AlarmForm>())
        list->UpdateSnoozes();
}

void wireClock(MainForm *clock)
{
    QObject::connect(clock, &MainForm::minuteChecked, clock, &showWhatIsComing);
    // Loading the menus hidden adds the tray icon.
    QObject::connect(clock, &MainForm::loaded, clock, [] { menus()->hide(); });
    QObject::connect(clock, &MainForm::unloaded, clock, [] { Forms().Unload<MenuForm>(); });
    QObject::connect(clock, &MainForm::mainMenuRequested, clock, [](const QPoint &at) { menus()->PopupMainMenu(at); });
}

void wireMissedPanel(MissedForm *panel)
{
    QObject::connect(panel, &MissedForm::menuRequested, panel, [](qint32 entry, bool clearEnabled, const QPoint &at) {
        MenuForm *m = menus();
        if (entry > 0)
            m->SelectionID = entry;
        m->Menu_Missed_Delete->setEnabled(entry > 0);
        m->Menu_Missed_Clear->setEnabled(clearEnabled);
        m->PopupMissedMenu(at);
    });
    // "Show Missed Alarms" is checked exactly while the panel shows.
    QObject::connect(panel, &MissedForm::shownChanged, panel, [](bool shown) {
        if (MenuForm *m = Forms().Find<MenuForm>())
            m->Menu_Main_Missed->setChecked(shown);
    });
}

void wireMenus(MenuForm *m)
{
    if (MissedForm *panel = Forms().Find<MissedForm>())
        m->Menu_Main_Missed->setChecked(panel->isVisible());
}

void wireTheme(ThemeForm *theme)
{
    QObject::connect(theme, &ThemeForm::restartRequested, theme, &ShellWiring::Restart);
}

} // namespace

void ShellWiring::Install()
{
    // Later, out of the notification that snoozed or the tick that rang.
    Snoozes::SetChangedHook([] { QTimer::singleShot(0, qApp, &showWhatIsComing); });
    Settings::SetWriteFailureHandler(
        [](const QString &text) { QTimer::singleShot(0, qApp, [text] { Dialogs::ShowError(nullptr, text); }); });
    Forms().OnLoad([](QWidget *window) {
        if (auto *clock = qobject_cast<MainForm *>(window))
            wireClock(clock);
        else if (auto *panel = qobject_cast<MissedForm *>(window))
            wireMissedPanel(panel);
        else if (auto *m = qobject_cast<MenuForm *>(window))
            wireMenus(m);
        else if (auto *theme = qobject_cast<ThemeForm *>(window))
            wireTheme(theme);
    });
}

void ShellWiring::ConnectCommands(CommandHost &host)
{
    host.SetBusyCheck([]() -> QString {
        // The editor's alarm or the one the removal question names must still
        // be there, at its number, when the user answers.
        if (Forms().Find<ModifyForm>())
            return QStringLiteral("the running clock's alarm editor is open: close it and try again");
        if (Dialogs::Asking())
            return QStringLiteral("the running clock is asking a question: answer it and try again");
        return {};
    });
    host.SetNotificationActions({&MessageForm::SnoozeAll, &MessageForm::DismissAll});
    QObject::connect(&host, &CommandHost::AlarmsChanged, &host, [] {
        if (AlarmForm *list = Forms().Find<AlarmForm>())
            list->UpdateAlarmList();
    });
    QObject::connect(&host, &CommandHost::WakeFromSuspendChanged, &host, [](bool on) {
        if (MainForm *clock = Forms().Find<MainForm>())
            clock->SetWakeFromSuspend(on);
    });
}

void ShellWiring::Restart()
{
    const QString program = QCoreApplication::applicationFilePath();
    const QStringList arguments{QStringLiteral("restart")};
    QString failure;
    if (launchSeam) {
        failure = launchSeam(program, arguments);
    } else {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        if (!process.startDetached())
            failure = process.errorString();
    }
    Forms().Unload<ThemeForm>();
    if (!failure.isEmpty()) {
        Dialogs::ShowError(nullptr, QStringLiteral("Tockwise could not start a new copy of itself (%1: %2).\n\n"
                                                   "The clock keeps running; the new theme takes effect the next "
                                                   "time Tockwise starts.")
                                        .arg(QDir::toNativeSeparators(program), failure));
        return;
    }
    // The new copy waits for this one's lock, so it reads the settings the
    // clock saves on its way out; the clock takes the tray icon and the missed
    // panel with it.
    Forms().Unload<MainForm>();
    QCoreApplication::processEvents();
    // At once: the windows still open vanish without their unload handlers.
    if (endSeam)
        endSeam();
    else
        std::_Exit(0);
}

void ShellWiring::SetRestartSeam(Launch launch, EndProcess endProcess)
{
    launchSeam = std::move(launch);
    endSeam = std::move(endProcess);
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
