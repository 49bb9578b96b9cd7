#pragma once

#include "engine/AlarmRecord.h"
#include "engine/AlarmRule.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

// The list of alarms: one sorted row per alarm, with Add, Edit and Remove.
// It owns no alarm data; each row carries the table position of its alarm.
class AlarmForm : public QWidget
{
    Q_OBJECT

public:
    // The item data role that holds a row's table position.
    static constexpr int PositionRole = Qt::UserRole;

    // Shown in the empty list, so a first look says what to do.
    static inline const QString EmptyHint = QStringLiteral("No alarms yet. Choose Add New to set one.");

    AlarmForm();

    // The text of one row, e.g. "Dentist - 09:05, 7 March" or
    // "Pills - 08:00 every weekday (disabled)".
    static QString RowText(const AlarmRecord &alarm);
    // The same for an alarm that rings by a rule, which tells its time and
    // days: "Run - 07:45 Mon, Wed, Fri", "Call - 09:00 New York time daily".
    static QString RowText(const AlarmRecord &alarm, const AlarmRule &rule);

    // "08:15" for a moment of today, "Tue 08:15" for one of another day.
    static QString WhenText(const QDateTime &when, const QDateTime &now);
    // " (snoozed until 08:15)" after the row of an alarm put off, with the
    // day ("Tue 08:15") when the snooze ends on another; empty for none.
    static QString SnoozeText(const QDateTime &end, const QDateTime &now);

    // Rebuilds every row from the alarm table; no row is selected afterwards.
    void UpdateAlarmList();
    // Brings the rows' snooze notes up to date, keeping the selection.
    void UpdateSnoozes();

    void Form_Load();
    void AddButton_Click();
    void EditButton_Click();
    void RemoveButton_Click();
    void LinkLabel_Click();
    void InfoLink_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Table position of the selected row's alarm, or -1 when no row is selected.
    int selectedPosition() const;
    QString rowTextAt(int position) const;
    void updateButtons();
    void openEditor();

    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *LinkLabel = nullptr;
    QLabel *Label2 = nullptr;
    QListWidget *AlarmList = nullptr;
    QPushButton *AddButton = nullptr;
    QPushButton *EditButton = nullptr;
    QPushButton *RemoveButton = nullptr;
    QLabel *CopyrightInfo = nullptr;
    QLabel *InfoLink = nullptr;
};
