#pragma once

#include "engine/AlarmRule.h"
#include "engine/AlarmWords.h"

#include <QDate>
#include <QPointer>
#include <QWidget>

class AlarmOptionsForm;
class QCalendarWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QShortcut;
class QPushButton;
class QTimer;

// The editor of one alarm. It fills its controls from the edit buffer when it
// loads and commits them on Confirm; it reveals its controls step by step: the
// name first, then the type's own controls.
class ModifyForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int MaxHour = 23;
    static constexpr int MaxMinute = 59;
    static inline const QDate FirstDate = AlarmWords::FirstDate;
    static inline const QDate LastDate = AlarmWords::LastDate;

    ModifyForm();

    // The type text whose controls were last revealed; empty while the name is.
    QString ShownType;

    // A time box's text as it reads after leaving the box: the leading number
    // (0 if none), limited to 0..upper, as two digits ("7" -> "07", "" -> "00").
    static QString ClampedTime(const QString &text, int upper);

    // Shown under the name once a character the alarm file cannot hold was
    // refused.
    static inline const QString NameHintText =
        QStringLiteral("Only letters of Western European languages can be stored in an alarm name.");
    // The same when a control character (a tab, a line break) was left out.
    static inline const QString ControlHintText = QStringLiteral("An alarm name cannot hold a control character (%1).");

    void Form_Load();
    void Form_Unload();
    void NameText_Change();
    void TypeList_Click();
    void HourText_GotFocus();
    // KeyAscii is the typed character; set to 0 it is discarded.
    void HourText_KeyPress(int &KeyAscii);
    void HourText_LostFocus();
    void MinuteText_GotFocus();
    void MinuteText_KeyPress(int &KeyAscii);
    void MinuteText_LostFocus();
    void ConfirmButton_Click();
    void CancelButton_Click();
    // Opens the options window on the alarm as the fields show it.
    void OptionsLink_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void setDateFromBuffer(int day, int month, int year);
    // Shows or hides the line that says a one-off moment lies in the past,
    // and looks again when the next minute begins while the window is open.
    void updatePassedHint();
    // The alarm as the fields show it now.
    AlarmRecord shownAlarm() const;
    void setTypeControlsVisible(bool visible);
    void placeNameHint();
    void enterPressed();
    // Gives the key to the drop-down open in front of the window; false when none is.
    bool passToOpenDropDown(int key);
    // Drop-downs shown, or hidden only within the event now being handled:
    // the key that closes a list on X reaches the window's shortcuts after.
    int m_openDropDowns = 0;
    QList<QShortcut *> m_shortcuts; // Enter, Enter on the keypad, Escape

    // Stored values no control can show (a damaged or hand-edited file) are
    // written back as they were unless the user chose another.
    bool m_keepDate = false;
    bool m_keepType = false;
    bool m_keepWeekDay = false;

    // The rule Confirm stores: the alarm's own as loaded, or what the options
    // window chose; empty while the kind fields say it all. Cancel drops it.
    AlarmRule m_rule;
    // The type shown when the rule was loaded or chosen: choosing another
    // type in the editor means that type, not the rule.
    int m_ruleType = -1;
    QPointer<AlarmOptionsForm> m_options;

    QLabel *Label1 = nullptr;
    QLineEdit *NameText = nullptr;
    QLabel *TypeLabel = nullptr;
    QComboBox *TypeList = nullptr;
    QLabel *TimeLabel1 = nullptr;
    QLineEdit *HourText = nullptr;
    QLabel *TimeLabel2 = nullptr;
    QLineEdit *MinuteText = nullptr;
    QLabel *TimeLabel3 = nullptr;
    QCheckBox *DisabledCheck = nullptr;
    QLabel *DayLabel = nullptr;
    QComboBox *DayList = nullptr;
    QLabel *DateLabel = nullptr;
    QCalendarWidget *DateSelection = nullptr;
    QLabel *OptionsLink = nullptr;
    QPushButton *ConfirmButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QLabel *NameHint = nullptr;
    QLabel *PassedHint = nullptr;
    QTimer *m_minuteTimer = nullptr;
};
