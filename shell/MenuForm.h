#pragma once

#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

class QAction;
class QMenu;

// Never shown: it receives the tray icon's events, owns the program's three
// pop-up menus and holds SelectionID for the missed panel.
class MenuForm : public QWidget
{
    Q_OBJECT

public:
    // Shown once, on the very first start, where the tray shows messages.
    static inline const QString FirstStartMessage =
        QStringLiteral("The clock is running. Right-click the clock or this icon for the menu; drag the clock to "
                       "move it. Alarms ring while it runs: \"tockwise --autostart on\" starts it at login, "
                       "\"tockwise --wake-from-suspend on\" wakes a sleeping computer for them.");
    static constexpr int FirstStartMessageDelay = 1500;
    static constexpr int FirstStartMessageTime = 15000;

    MenuForm();
    ~MenuForm() override;

    // Index in the missed list of the entry last right-clicked in the panel.
    qint32 SelectionID = 0;

    QMenu *Menu_Main = nullptr;
    QAction *Menu_Main_Open = nullptr;
    QAction *Menu_Main_Missed = nullptr;
    QAction *Menu_Main_Appearance = nullptr;
    QAction *Menu_Main_Hide = nullptr;
    QAction *Menu_Main_Exit = nullptr;

    QMenu *Menu_Missed = nullptr;
    QAction *Menu_Missed_Delete = nullptr;
    QAction *Menu_Missed_Clear = nullptr;
    QAction *Menu_Missed_Close = nullptr;

    QMenu *Menu_Tray = nullptr;
    QAction *Menu_Tray_Show = nullptr;
    QAction *Menu_Tray_Exit = nullptr;
    QAction *Menu_Tray_Divider = nullptr;
    QAction *Menu_Tray_Cancel = nullptr;

    // Pop-ups at the pointer; they return when the menu has closed.
    void PopupMainMenu();
    // The main menu opened from the keyboard, at a point of the clock.
    void PopupMainMenu(const QPoint &at);
    void PopupMissedMenu(const QPoint &at);
    void PopupTrayMenu();

    // The tray callback: a left double click shows the clock, a right click
    // pops up the tray menu, everything else is ignored. A StatusNotifierItem
    // tray has no double click: its activation (a left click) shows the clock.
    void TrayIcon_Activated(QSystemTrayIcon::ActivationReason reason);

    void Menu_Main_Open_Click();
    void Menu_Main_Missed_Click();
    void Menu_Main_Appearance_Click();
    void Menu_Main_Hide_Click();
    void Menu_Main_Exit_Click();
    void Menu_Missed_Delete_Click();
    void Menu_Missed_Clear_Click();
    void Menu_Missed_Close_Click();
    void Menu_Tray_Show_Click();
    void Menu_Tray_Exit_Click();

    // Tests answer the pop-ups instead of a person; nullptr means "dismissed".
    using MenuChooser = QAction *(*)(QMenu *menu);
    static void SetMenuChooser(MenuChooser chooser);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void popup(QMenu *menu, const QPoint &at);
    void exitProgram();

    QTimer m_trayRelease; // waits for the right button to come up over the tray
};
