#pragma once

#include "engine/AlarmRecord.h"
#include "engine/AlarmRule.h"

#include <QDate>
#include <QList>
#include <QTime>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

// What the editor's kinds cannot say: other days, every N days, weeks, months
// or years, an end, skipped dates, another zone's clock. It works on a copy of
// the alarm as the editor shows it; OK hands the choice to the editor, which
// stores it only on its own Confirm.
class AlarmOptionsForm : public QWidget
{
    Q_OBJECT

public:
    // The choices of the repeat list, in its order.
    enum Repeat {
        OnceOnly,
        Daily,
        Weekly,
        EveryWeekday,
        OnTheseDays,
        EveryNDays,
        EveryNWeeks,
        EveryNMonths,
        EveryNYears
    };

    // A rule, or the kind of record (and its day of the week, Monday = 0) that
    // says the same; the rule is empty then.
    struct Choice
    {
        AlarmRule rule;
        int kind = -1;
        int weekDay = 0;
    };

    static inline const QString LocalTimeText = QStringLiteral("Local Time");

    // shown: the alarm as the editor's fields stand (kind, day, date, time);
    // rule: the rule the editor holds, empty for none.
    AlarmOptionsForm(QWidget *editor, const AlarmRecord &shown, const AlarmRule &rule);

    // What the controls say now; false with why when they say nothing an
    // alarm can ring by (no day ticked, a zone no one knows).
    bool Current(Choice *choice, QString *why = nullptr) const;

    // "Skip Next Time (Thursday 24 December)"; without the date when nothing
    // rings again.
    static QString SkipText(const QDateTime &next);

signals:
    void Chosen(const AlarmOptionsForm::Choice &choice);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void loadRule(const AlarmRecord &shown, const AlarmRule &rule);
    // The rule the repeat and end controls say, without skips or zone.
    QString recurText() const;
    QString zoneText(bool *known) const;
    void updateControls();
    void updateSkips();
    void skipNext();
    void ringAgain();
    void okClicked();
    void touched();

    // The date of a one-off alarm and its time of day, from the editor.
    QDate m_onceDate;
    QTime m_time;
    // A rule's own first date; a rule made here starts today.
    QDate m_ruleStart;
    // The rule as it came: its text is kept while no repeat or end control
    // changed, so parts these controls cannot show are not lost.
    QString m_originalRecur;
    bool m_touched = false;
    bool m_loading = false;
    QList<QDateTime> m_skipped;
    QDateTime m_next;

    QComboBox *RepeatList = nullptr;
    QWidget *WeekDayRow = nullptr;
    QComboBox *WeekDayList = nullptr;
    QWidget *DaysRow = nullptr;
    QList<QCheckBox *> DayChecks; // Monday first, whatever order they stand in
    QWidget *IntervalRow = nullptr;
    QSpinBox *IntervalSpin = nullptr;
    QLabel *IntervalUnit = nullptr;
    QWidget *MonthDayRow = nullptr;
    QRadioButton *MonthDayRadio = nullptr;
    QSpinBox *MonthDaySpin = nullptr;
    QWidget *NthRow = nullptr;
    QRadioButton *NthRadio = nullptr;
    QComboBox *NthList = nullptr;
    QComboBox *NthDayList = nullptr;
    QWidget *EndsGroup = nullptr;
    QRadioButton *EndsNever = nullptr;
    QRadioButton *EndsAfter = nullptr;
    QSpinBox *CountSpin = nullptr;
    QRadioButton *EndsOn = nullptr;
    QDateEdit *UntilDate = nullptr;
    QListWidget *SkippedList = nullptr;
    QPushButton *SkipButton = nullptr;
    QPushButton *UnskipButton = nullptr;
    QComboBox *ZoneList = nullptr;
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;
};
