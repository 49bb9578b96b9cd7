#include "shell/MenuForm.h"

#include "about/AdForm.h"
#include "about/PersonalForm.h"
#include "alarmui/AlarmForm.h"
#include "alarmui/ModifyForm.h"
#include "clockwindow/MainForm.h"
#include "engine/AlarmChecking.h"
#include "engine/Settings.h"
#include "engine/Trace.h"
#include "notify/MissedForm.h"
#include "resources/Artwork.h"
#include "shell/SystemTray.h"
#include "theme/ThemeForm.h"
#include "ui/FormRegistry.h"
#include "ui/WindowPositioning.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>

namespace {
MenuForm::MenuChooser menuChooser = nullptr;
}

MenuForm::MenuForm()
{
    setObjectName(QStringLiteral("MenuForm"));
    setWindowIcon(Artwork::ProgramIcon());

    auto item = [this](QMenu *menu, QAction *&action, const char *name, const QString &caption) {
        action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
    };

    Menu_Main = new QMenu(QStringLiteral("Main Menu"), this);
    Menu_Main->setObjectName(QStringLiteral("Menu_Main"));
    item(Menu_Main, Menu_Main_Open, "Menu_Main_Open", QStringLiteral("Open Alarms"));
    item(Menu_Main, Menu_Main_Missed, "Menu_Main_Missed", QStringLiteral("Show Missed Alarms"));
    Menu_Main_Missed->setCheckable(true);
    item(Menu_Main, Menu_Main_Appearance, "Menu_Main_Appearance", QStringLiteral("Change Appearance"));
    item(Menu_Main, Menu_Main_Hide, "Menu_Main_Hide", QStringLiteral("Hide"));
    item(Menu_Main, Menu_Main_Exit, "Menu_Main_Exit", QStringLiteral("Exit"));

    Menu_Missed = new QMenu(QStringLiteral("Missed Menu"), this);
    Menu_Missed->setObjectName(QStringLiteral("Menu_Missed"));
    item(Menu_Missed, Menu_Missed_Delete, "Menu_Missed_Delete", QStringLiteral("Delete"));
    item(Menu_Missed, Menu_Missed_Clear, "Menu_Missed_Clear", QStringLiteral("Clear All"));
    item(Menu_Missed, Menu_Missed_Close, "Menu_Missed_Close", QStringLiteral("Close"));

    Menu_Tray = new QMenu(QStringLiteral("Tray Menu"), this);
    Menu_Tray->setObjectName(QStringLiteral("Menu_Tray"));
    item(Menu_Tray, Menu_Tray_Show, "Menu_Tray_Show", QStringLiteral("Show"));
    item(Menu_Tray, Menu_Tray_Exit, "Menu_Tray_Exit", QStringLiteral("Exit"));
    Menu_Tray_Divider = Menu_Tray->addSeparator();
    Menu_Tray_Divider->setObjectName(QStringLiteral("Menu_Tray_Divider"));
    item(Menu_Tray, Menu_Tray_Cancel, "Menu_Tray_Cancel", QStringLiteral("Cancel"));

    connect(Menu_Main_Open, &QAction::triggered, this, &MenuForm::Menu_Main_Open_Click);
    connect(Menu_Main_Missed, &QAction::triggered, this, &MenuForm::Menu_Main_Missed_Click);
    connect(Menu_Main_Appearance, &QAction::triggered, this, &MenuForm::Menu_Main_Appearance_Click);
    connect(Menu_Main_Hide, &QAction::triggered, this, &MenuForm::Menu_Main_Hide_Click);
    connect(Menu_Main_Exit, &QAction::triggered, this, &MenuForm::Menu_Main_Exit_Click);
    connect(Menu_Missed_Delete, &QAction::triggered, this, &MenuForm::Menu_Missed_Delete_Click);
    connect(Menu_Missed_Clear, &QAction::triggered, this, &MenuForm::Menu_Missed_Clear_Click);
    connect(Menu_Missed_Close, &QAction::triggered, this, &MenuForm::Menu_Missed_Close_Click);
    connect(Menu_Tray_Show, &QAction::triggered, this, &MenuForm::Menu_Tray_Show_Click);
    connect(Menu_Tray_Exit, &QAction::triggered, this, &MenuForm::Menu_Tray_Exit_Click);

    m_trayRelease.setInterval(15);
    connect(&m_trayRelease, &QTimer::timeout, this, [this] {
        if (QGuiApplication::mouseButtons() & Qt::RightButton)
            return;
        m_trayRelease.stop();
        PopupTrayMenu();
    });

    // Form_Load: the icon is added once per run.
    if (!SystemTray::TrayIconAdded) {
        QSystemTrayIcon *icon = SystemTray::AddTrayIcon(this);
        connect(icon, &QSystemTrayIcon::activated, this, &MenuForm::TrayIcon_Activated);
        SystemTray::TrayIconAdded = true;
        // The menus load before the clock saves anything, so no "Last Check"
        // yet means the very first start: a bare clock gives no hint of its menu.
        const bool firstStart = Settings::Read(Settings::LastCheck).isEmpty();
        // Once the tray has had a moment to take the icon, so the message
        // points at it.
        QTimer::singleShot(FirstStartMessageDelay, icon, [icon, firstStart] {
            const bool show = firstStart && QSystemTrayIcon::isSystemTrayAvailable() && icon->supportsMessages();
            if (show)
                // With the program's own icon: a StatusNotifierItem tray shows a
                // message's icon in place of the item's while the message lasts.
                icon->showMessage(QStringLiteral("Tockwise"), FirstStartMessage, Artwork::ProgramIcon(),
                                  FirstStartMessageTime);
            // Said either way: the moment a later start would have shown it.
            TraceEvent("tray-message", show ? QStringLiteral("shown") : QStringLiteral("none"));
        });
    }
}

MenuForm::~MenuForm() = default;

void MenuForm::closeEvent(QCloseEvent *event)
{
    SystemTray::RemoveTrayIcon();
    event->accept();
}

void MenuForm::SetMenuChooser(MenuChooser chooser)
{
    menuChooser = chooser;
}

void MenuForm::popup(QMenu *menu, const QPoint &at)
{
    if (menuChooser) {
        if (QAction *chosen = menuChooser(menu); chosen && chosen->isEnabled())
            chosen->trigger();
        return;
    }
    menu->exec(at);
}

void MenuForm::PopupMainMenu()
{
    PopupMainMenu(QCursor::pos());
}

void MenuForm::PopupMainMenu(const QPoint &at)
{
    // The panel can go without a word to the menu (the window manager's
    // close): the mark shows what is on screen.
    const MissedForm *missed = Forms().Find<MissedForm>();
    Menu_Main_Missed->setChecked(missed && missed->isVisible());
    popup(Menu_Main, at);
}

void MenuForm::PopupMissedMenu(const QPoint &at)
{
    popup(Menu_Missed, at);
}

void MenuForm::PopupTrayMenu()
{
    popup(Menu_Tray, QCursor::pos());
}

void MenuForm::TrayIcon_Activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        Menu_Tray_Show_Click();
        break;
    case QSystemTrayIcon::Trigger:
        // An XEmbed tray reports the first click of every double click as
        // well, so there a single click stays ignored.
        if (SystemTray::ActivatesOnClick)
            Menu_Tray_Show_Click();
        break;
    case QSystemTrayIcon::Context:
        // Some trays report the right button as soon as it goes down; the menu
        // opens on its release, and outside the icon's own mouse event, since
        // "Exit" deletes the icon.
        m_trayRelease.start();
        break;
    default:
        break;
    }
}

void MenuForm::Menu_Main_Open_Click()
{
    Forms().ShowOrRaise<AlarmForm>();
}

void MenuForm::Menu_Main_Missed_Click()
{
    // The mark follows the panel rather than flipping on its own, so the two
    // never part.
    MissedForm *missed = Forms().Get<MissedForm>();
    if (!missed->isVisible()) {
        // By the clock, wherever the clock went while the panel was away.
        if (MainForm *clock = Forms().Find<MainForm>())
            clock->PositionMissedForm();
    }
    missed->setVisible(!missed->isVisible());
    Menu_Main_Missed->setChecked(missed->isVisible());
}

void MenuForm::Menu_Main_Appearance_Click()
{
    Forms().ShowOrRaise<ThemeForm>();
}

void MenuForm::Menu_Main_Hide_Click()
{
    if (MainForm *clock = Forms().Find<MainForm>())
        clock->hide();
    Forms().Get<MissedForm>()->hide();
    Menu_Main_Missed->setChecked(false);
}

void MenuForm::Menu_Main_Exit_Click()
{
    exitProgram();
}

void MenuForm::exitProgram()
{
    // Exit ends the program: the windows a user opened go with the clock
    // (the editor's input dropped, as Cancel drops it); only notifications
    // still ringing stay until they are closed.
    Forms().Unload<ModifyForm>();
    Forms().Unload<AlarmForm>();
    Forms().Unload<ThemeForm>();
    Forms().Unload<AdForm>();
    Forms().Unload<PersonalForm>();
    Forms().Unload<MainForm>();
}

void MenuForm::Menu_Missed_Delete_Click()
{
    AlarmChecking::DeleteMissedAlarm(SelectionID);
    if (MissedForm *missed = Forms().Find<MissedForm>())
        missed->HideWhenEmptied();
}

void MenuForm::Menu_Missed_Clear_Click()
{
    AlarmChecking::ClearMissedAlarms();
    if (MissedForm *missed = Forms().Find<MissedForm>())
        missed->HideWhenEmptied();
}

void MenuForm::Menu_Missed_Close_Click()
{
    Forms().Get<MissedForm>()->hide();
    Menu_Main_Missed->setChecked(false);
}

void MenuForm::Menu_Tray_Show_Click()
{
    if (MainForm *clock = Forms().Find<MainForm>()) {
        clock->show();
        WindowPositioning::BringToFront(clock);
    }
}

void MenuForm::Menu_Tray_Exit_Click()
{
    exitProgram();
}
