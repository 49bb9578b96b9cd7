#include "alarmui/ModifyForm.h"

#include "alarmui/AlarmForm.h"
#include "alarmui/AlarmOptionsForm.h"
#include "alarmui/EditorFields.h"
#include "engine/AlarmChecking.h"
#include "engine/AlarmEditing.h"
#include "engine/AlarmWords.h"
#include "engine/Settings.h"
#include "engine/TimingModule.h"
#include "resources/Artwork.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"
#include "ui/ToolWindow.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>

using AlarmEditing::EditAlarm;
using ToolWindow::MakeButton;
using ToolWindow::MakeLabel;
using ToolWindow::PlaceTwips;

namespace {

constexpr int Backspace = 8;

const QStringList TypeNames{QStringLiteral("Once Only"), QStringLiteral("Daily"), QStringLiteral("Weekly"),
                            QStringLiteral("Every Weekday")};
const QStringList DayNames = [] {
    QStringList names;
    for (int day = 0; day < 7; ++day)
        names.append(AlarmWords::WeekDayName(day));
    return names;
}();

// 5.5:1 on the window's background.
const QColor PassedRed(0xB0, 0x00, 0x00);

using AlarmWords::TwoDigits;

} // namespace

ModifyForm::ModifyForm()
{
    setObjectName(QStringLiteral("ModifyForm"));
    ToolWindow::Setup(this, QStringLiteral("Alarm Details"), QSize(ToolWindow::Px(4575), ToolWindow::Px(4815)));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ToolWindow::AlarmBackground);
    setPalette(palette);
    setAutoFillBackground(true);
    setWindowIcon(Artwork::ProgramIcon());

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Name:"), Qt::AlignRight);
    PlaceTwips(Label1, 120, 120, 975, 255);
    NameText = new QLineEdit(this);
    NameText->setObjectName(QStringLiteral("NameText"));
    NameText->setMaxLength(AlarmRecord::NameLength);
    PlaceTwips(NameText, 1200, 120, 3255, 285);

    TypeLabel = MakeLabel(this, "TypeLabel", QStringLiteral("Type:"), Qt::AlignRight);
    PlaceTwips(TypeLabel, 120, 480, 975, 255);
    TypeList = EditorFields::MakeList(this, "TypeList", TypeNames);
    PlaceTwips(TypeList, 1200, 480, 3255, 330);

    TimeLabel1 = MakeLabel(this, "TimeLabel1", QStringLiteral("Time:"), Qt::AlignRight);
    PlaceTwips(TimeLabel1, 120, 960, 975, 255);
    HourText = EditorFields::MakeTimeBox(this, "HourText");
    PlaceTwips(HourText, 1200, 960, 375, 285);
    TimeLabel2 = MakeLabel(this, "TimeLabel2", QStringLiteral(":"), Qt::AlignHCenter);
    PlaceTwips(TimeLabel2, 1560, 960, 135, 255);
    MinuteText = EditorFields::MakeTimeBox(this, "MinuteText");
    PlaceTwips(MinuteText, 1680, 960, 375, 285);
    TimeLabel3 = MakeLabel(this, "TimeLabel3", QStringLiteral("(24h)"), Qt::AlignLeft);
    PlaceTwips(TimeLabel3, 2160, 960, 615, 255);
    DisabledCheck = new QCheckBox(QStringLiteral("Disabled"), this);
    DisabledCheck->setObjectName(QStringLiteral("DisabledCheck"));
    PlaceTwips(DisabledCheck, 3480, 960, 975, 255);

    DayLabel = MakeLabel(this, "DayLabel", QStringLiteral("Day:"), Qt::AlignRight);
    PlaceTwips(DayLabel, 120, 1320, 975, 255);
    DayList = EditorFields::MakeList(this, "DayList", DayNames);
    PlaceTwips(DayList, 1200, 1320, 2055, 330);

    DateLabel = MakeLabel(this, "DateLabel", QStringLiteral("Date:"), Qt::AlignRight);
    PlaceTwips(DateLabel, 120, 1800, 975, 255);
    DateSelection = new QCalendarWidget(this);
    DateSelection->setObjectName(QStringLiteral("DateSelection"));
    DateSelection->setDateRange(FirstDate, LastDate);
    DateSelection->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    DateSelection->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    DateSelection->setFirstDayOfWeek(Qt::Monday);
    PlaceTwips(DateSelection, 1200, 1800, 2700, 2370);

    // Left of Confirm, in the band the buttons stand in.
    OptionsLink = ToolWindow::MakeLink(this, "OptionsLink", QStringLiteral("More Options..."));
    OptionsLink->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    OptionsLink->setAccessibleName(QStringLiteral("More Options..."));
    OptionsLink->installEventFilter(this);
    PlaceTwips(OptionsLink, 120, 4320, 1455, 375);

    ConfirmButton = MakeButton(this, "ConfirmButton", QStringLiteral("Confirm"));
    PlaceTwips(ConfirmButton, 1680, 4320, 1335, 375);
    CancelButton = MakeButton(this, "CancelButton", QStringLiteral("Cancel"));
    PlaceTwips(CancelButton, 3120, 4320, 1335, 375);

    NameHint = MakeLabel(this, "NameHint", NameHintText, Qt::AlignLeft);
    NameHint->setWordWrap(true);
    NameHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    NameHint->hide();
    // Placed by the layout rules as the name and type change.
    NameText->setValidator(new EditorFields::StorableNameValidator(NameText, [this](const QString &control) {
        NameHint->setText(control.isEmpty() ? NameHintText : ControlHintText.arg(control));
        NameHint->show();
    }));

    // Under the date's label, in the column beside the calendar that nothing
    // else uses; a red dark enough to read on the window's grey-blue.
    PassedHint = MakeLabel(this, "PassedHint", AlarmChecking::PassedText, Qt::AlignRight);
    PassedHint->setWordWrap(true);
    PassedHint->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QPalette red = PassedHint->palette();
    red.setColor(QPalette::WindowText, PassedRed);
    PassedHint->setPalette(red);
    PlaceTwips(PassedHint, 120, 2115, 975, 1200);
    PassedHint->hide();
    m_minuteTimer = new QTimer(this);
    m_minuteTimer->setSingleShot(true);
    connect(m_minuteTimer, &QTimer::timeout, this, &ModifyForm::updatePassedHint);

    // The labels name the controls beside them for screen readers.
    Label1->setBuddy(NameText);
    NameText->setAccessibleName(QStringLiteral("Name"));
    TypeLabel->setBuddy(TypeList);
    TypeList->setAccessibleName(QStringLiteral("Type"));
    TimeLabel1->setBuddy(HourText);
    HourText->setAccessibleName(QStringLiteral("Hour"));
    MinuteText->setAccessibleName(QStringLiteral("Minute"));
    DayLabel->setBuddy(DayList);
    DayList->setAccessibleName(QStringLiteral("Day"));
    DateLabel->setBuddy(DateSelection);
    DateSelection->setAccessibleName(QStringLiteral("Date"));

    // Enter confirms and Escape cancels, wherever the focus is in the window;
    // an open drop-down (the type or day list, the calendar, its month menu)
    // gets them instead, to choose or to close itself. On X the window's
    // shortcuts see the key before the open list does.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        auto *shortcut = new QShortcut(QKeySequence(key), this);
        m_shortcuts.append(shortcut);
        connect(shortcut, &QShortcut::activated, this, [this, key] {
            if (passToOpenDropDown(key) || m_openDropDowns > 0)
                return;
            if (key == Qt::Key_Escape)
                CancelButton_Click();
            else
                enterPressed();
        });
    }

    // As the fields stand on the window, row by row; hidden ones are passed over.
    const QList<QWidget *> tabOrder{NameText, TypeList,      HourText,    MinuteText,    DisabledCheck,
                                    DayList,  DateSelection, OptionsLink, ConfirmButton, CancelButton};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    HourText->installEventFilter(this);
    MinuteText->installEventFilter(this);
    TypeList->view()->window()->installEventFilter(this);
    DayList->view()->window()->installEventFilter(this);
    for (QMenu *menu : DateSelection->findChildren<QMenu *>())
        menu->installEventFilter(this);
    for (QSpinBox *year : DateSelection->findChildren<QSpinBox *>())
        year->installEventFilter(this);
    connect(NameText, &QLineEdit::textChanged, this, &ModifyForm::NameText_Change);
    connect(TypeList, &QComboBox::currentIndexChanged, this, &ModifyForm::TypeList_Click);
    connect(TypeList, &QComboBox::currentIndexChanged, this, [this] { m_keepType = false; });
    connect(TypeList, &QComboBox::activated, this, [this](int index) {
        if (index != m_ruleType)
            m_rule = {};
    });
    connect(DayList, &QComboBox::currentIndexChanged, this, [this] { m_keepWeekDay = false; });
    connect(DateSelection, &QCalendarWidget::selectionChanged, this, [this] { m_keepDate = false; });
    connect(DateSelection, &QCalendarWidget::clicked, this, [this] { m_keepDate = false; });
    connect(TypeList, &QComboBox::currentIndexChanged, this, &ModifyForm::updatePassedHint);
    connect(DateSelection, &QCalendarWidget::selectionChanged, this, &ModifyForm::updatePassedHint);
    connect(HourText, &QLineEdit::textChanged, this, &ModifyForm::updatePassedHint);
    connect(MinuteText, &QLineEdit::textChanged, this, &ModifyForm::updatePassedHint);
    connect(ConfirmButton, &QPushButton::clicked, this, &ModifyForm::ConfirmButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &ModifyForm::CancelButton_Click);

    Form_Load();
}

void ModifyForm::Form_Load()
{
    TypeList->setCurrentIndex(AlarmRecord::OnceOnly);
    DayList->setCurrentIndex(0);
    ShownType.clear();

    setDateFromBuffer(EditAlarm.Day, EditAlarm.Month, EditAlarm.Year);
    DayList->setCurrentIndex(EditAlarm.WeekDay < DayNames.size() ? EditAlarm.WeekDay : 0);
    HourText->setText(TwoDigits(EditAlarm.Hour));
    MinuteText->setText(TwoDigits(EditAlarm.Minute));
    NameText->setText(EditAlarm.TrimmedName());
    TypeList->setCurrentIndex(EditAlarm.AlarmType < TypeNames.size() ? EditAlarm.AlarmType : 0);
    // Any non-zero flag is what the alarm check treats as disabled.
    DisabledCheck->setChecked(EditAlarm.Disabled != 0);
    NameHint->hide();
    m_rule = AlarmEditing::EditRule;
    m_ruleType = TypeList->currentIndex();
    if (!m_rule.IsEmpty()) {
        // The time on the rule's own clock, which the record's stand-in, on the
        // local one, need not show.
        HourText->setText(TwoDigits(m_rule.start.time().hour()));
        MinuteText->setText(TwoDigits(m_rule.start.time().minute()));
    }

    NameText_Change();

    const QDate stored(EditAlarm.Year, EditAlarm.Month, EditAlarm.Day);
    m_keepDate = !stored.isValid() || stored < FirstDate || stored > LastDate;
    m_keepType = EditAlarm.AlarmType >= TypeNames.size();
    m_keepWeekDay = EditAlarm.WeekDay >= DayNames.size();
    updatePassedHint();
}

AlarmRecord ModifyForm::shownAlarm() const
{
    AlarmRecord shown = EditAlarm;
    shown.AlarmType = static_cast<quint8>(TypeList->currentIndex());
    shown.WeekDay = static_cast<quint8>(DayList->currentIndex());
    const QDate date = DateSelection->selectedDate();
    shown.Day = static_cast<quint8>(date.day());
    shown.Month = static_cast<quint8>(date.month());
    shown.Year = static_cast<qint16>(date.year());
    shown.Hour = static_cast<quint8>(ClampedTime(HourText->text(), MaxHour).toInt());
    shown.Minute = static_cast<quint8>(ClampedTime(MinuteText->text(), MaxMinute).toInt());
    return shown;
}

void ModifyForm::updatePassedHint()
{
    const AlarmRecord shown = shownAlarm();
    const QDateTime now = TimingModule::Now();
    const bool passed = !NameText->text().isEmpty() && AlarmChecking::HasPassed(shown, now);
    if (passed != PassedHint->isVisibleTo(this)) {
        PassedHint->setVisible(passed);
        DateSelection->setAccessibleDescription(passed ? AlarmChecking::PassedText : QString());
    }
    // A moment still ahead passes while the window is open; one already past
    // stays so. Nothing runs while the window is closed.
    if (!passed && shown.AlarmType == AlarmRecord::OnceOnly && isVisible())
        m_minuteTimer->start(std::max(1, 60000 - now.time().second() * 1000 - now.time().msec()));
    else
        m_minuteTimer->stop();
}

void ModifyForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updatePassedHint();
}

void ModifyForm::setDateFromBuffer(int day, int month, int year)
{
    // The calendar takes only real dates inside its range; a damaged record is
    // brought to the nearest such date instead of being refused.
    const int y = std::clamp(year, FirstDate.year(), LastDate.year());
    const int m = std::clamp(month, 1, 12);
    const int d = std::clamp(day, 1, QDate(y, m, 1).daysInMonth());
    DateSelection->setSelectedDate(QDate(y, m, d));
    DateSelection->setCurrentPage(y, m);
}

void ModifyForm::setTypeControlsVisible(bool visible)
{
    for (QWidget *w :
         {static_cast<QWidget *>(TypeLabel), static_cast<QWidget *>(TimeLabel1), static_cast<QWidget *>(HourText),
          static_cast<QWidget *>(TimeLabel2), static_cast<QWidget *>(MinuteText), static_cast<QWidget *>(TimeLabel3),
          static_cast<QWidget *>(DisabledCheck), static_cast<QWidget *>(OptionsLink),
          static_cast<QWidget *>(ConfirmButton)})
        w->setVisible(visible);
}

void ModifyForm::NameText_Change()
{
    TypeList->setVisible(!NameText->text().isEmpty());
    TypeList_Click();
    updatePassedHint();
}

void ModifyForm::TypeList_Click()
{
    if (NameText->text().isEmpty()) {
        setTypeControlsVisible(false);
        for (QWidget *w : {static_cast<QWidget *>(DayLabel), static_cast<QWidget *>(DayList),
                           static_cast<QWidget *>(DateLabel), static_cast<QWidget *>(DateSelection)})
            w->setVisible(false);
        ShownType.clear();
        placeNameHint();
        return;
    }
    const QString type = TypeList->currentText();
    if (type == ShownType)
        return;
    setTypeControlsVisible(true);
    const bool weekly = TypeList->currentIndex() == AlarmRecord::Weekly;
    const bool onceOnly = TypeList->currentIndex() == AlarmRecord::OnceOnly;
    DayLabel->setVisible(weekly);
    DayList->setVisible(weekly);
    DateLabel->setVisible(onceOnly);
    DateSelection->setVisible(onceOnly);
    ShownType = type;
    placeNameHint();
}

void ModifyForm::placeNameHint()
{
    // Into the first free band below what is shown, where it covers nothing.
    if (NameText->text().isEmpty())
        PlaceTwips(NameHint, 1200, 480, 3255, 450);
    else if (TypeList->currentIndex() == AlarmRecord::Weekly)
        PlaceTwips(NameHint, 1200, 1740, 3255, 450);
    else
        PlaceTwips(NameHint, 1200, 1305, 3255, 450);
}

QString ModifyForm::ClampedTime(const QString &text, int upper)
{
    const double value = std::nearbyint(Settings::LenientNumber(text));
    return TwoDigits(static_cast<int>(std::clamp(value, 0.0, static_cast<double>(upper))));
}

void ModifyForm::HourText_GotFocus()
{
    HourText->setSelection(0, 2);
}

void ModifyForm::HourText_KeyPress(int &KeyAscii)
{
    if (KeyAscii < '0' || KeyAscii > '9')
        KeyAscii = 0;
}

void ModifyForm::HourText_LostFocus()
{
    HourText->setText(ClampedTime(HourText->text(), MaxHour));
}

void ModifyForm::MinuteText_GotFocus()
{
    MinuteText->setSelection(0, 2);
}

void ModifyForm::MinuteText_KeyPress(int &KeyAscii)
{
    if (KeyAscii < '0' || KeyAscii > '9')
        KeyAscii = 0;
}

void ModifyForm::MinuteText_LostFocus()
{
    MinuteText->setText(ClampedTime(MinuteText->text(), MaxMinute));
}

void ModifyForm::ConfirmButton_Click()
{
    // An hour or minute out of range that the user left as shown is kept:
    // such an alarm never rang, and clamping it would make it ring.
    const bool keepHour = EditAlarm.Hour > MaxHour && HourText->text() == TwoDigits(EditAlarm.Hour).left(2);
    const bool keepMinute = EditAlarm.Minute > MaxMinute && MinuteText->text() == TwoDigits(EditAlarm.Minute).left(2);
    // Confirm reached without leaving a time box (a shortcut) still stores
    // corrected times.
    HourText_LostFocus();
    MinuteText_LostFocus();

    if (!m_keepDate) {
        const QDate date = DateSelection->selectedDate();
        EditAlarm.Day = static_cast<quint8>(date.day());
        EditAlarm.Month = static_cast<quint8>(date.month());
        EditAlarm.Year = static_cast<qint16>(date.year());
    }
    if (!m_keepWeekDay)
        EditAlarm.WeekDay = static_cast<quint8>(DayList->currentIndex());
    if (!keepHour)
        EditAlarm.Hour = static_cast<quint8>(HourText->text().toInt());
    if (!keepMinute)
        EditAlarm.Minute = static_cast<quint8>(MinuteText->text().toInt());
    EditAlarm.Name = AlarmRecord::FixedName(NameText->text());
    if (!m_keepType)
        EditAlarm.AlarmType = static_cast<quint8>(TypeList->currentIndex());
    EditAlarm.Disabled = DisabledCheck->isChecked() ? -1 : 0;

    AlarmRule rule = m_rule;
    if (!rule.IsEmpty()) {
        // The time field sets the rule's time of day; its skips move with it,
        // or they would name occurrences that no longer come.
        const QTime before = rule.start.time();
        const QTime time(HourText->text().toInt(), MinuteText->text().toInt());
        const QDate date = rule.recur.isEmpty() ? DateSelection->selectedDate() : rule.start.date();
        rule.start = QDateTime(date, time, Qt::UTC);
        for (QDateTime &skip : rule.skipped)
            if (skip.time() == before)
                skip = QDateTime(skip.date(), time, Qt::UTC);
    }
    AlarmEditing::EditRule = rule;

    QString error;
    if (!AlarmEditing::StoreEditAlarm(&error)) {
        // Nothing was kept: the editor stays, with what was typed, to try
        // again or cancel.
        Dialogs::ShowError(this, QStringLiteral("The alarm could not be saved.\n\n%1").arg(error));
        return;
    }

    close();
    if (AlarmForm *list = Forms().Find<AlarmForm>())
        list->UpdateAlarmList();
}

bool ModifyForm::passToOpenDropDown(int key)
{
    // A list that is open need not be the application's active popup (on X
    // it is not), so each drop-down of the window is asked too.
    QWidget *target = QApplication::activePopupWidget();
    if (target && target->focusWidget())
        target = target->focusWidget();
    for (QComboBox *list : {TypeList, DayList}) {
        if (!target && list->view()->isVisible())
            target = list->view();
    }
    // The calendar's month menu, and its year box while it is being edited.
    for (QMenu *menu : DateSelection->findChildren<QMenu *>()) {
        if (!target && menu->isVisible())
            target = menu;
    }
    for (QSpinBox *year : DateSelection->findChildren<QSpinBox *>()) {
        if (!target && year->isVisible())
            target = year;
    }
    if (!target)
        return false;
    // A key sent from here looks for shortcuts first: these must not take it
    // again.
    for (QShortcut *shortcut : std::as_const(m_shortcuts))
        shortcut->setEnabled(false);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
    for (QShortcut *shortcut : std::as_const(m_shortcuts))
        shortcut->setEnabled(true);
    return true;
}

void ModifyForm::enterPressed()
{
    if (OptionsLink->hasFocus())
        OptionsLink_Click();
    else if (CancelButton->hasFocus())
        CancelButton_Click();
    else if (ConfirmButton->isVisible() && ConfirmButton->isEnabled())
        ConfirmButton_Click();
}

void ModifyForm::OptionsLink_Click()
{
    if (m_options) {
        m_options->raise();
        m_options->activateWindow();
        return;
    }
    const AlarmRecord shown = shownAlarm();
    AlarmRule rule = m_rule;
    if (!rule.IsEmpty())
        rule.start.setTime(QTime(shown.Hour, shown.Minute));
    m_options = new AlarmOptionsForm(this, shown, rule);
    connect(m_options, &AlarmOptionsForm::Chosen, this, [this](const AlarmOptionsForm::Choice &choice) {
        m_rule = choice.rule;
        if (choice.kind >= 0) {
            // A kind says it: the fields show that kind, and store it.
            TypeList->setCurrentIndex(choice.kind);
            if (choice.kind == AlarmRecord::Weekly)
                DayList->setCurrentIndex(choice.weekDay);
        }
        m_ruleType = TypeList->currentIndex();
    });
    m_options->show();
    m_options->activateWindow();
}

void ModifyForm::CancelButton_Click()
{
    close();
}

void ModifyForm::Form_Unload()
{
    if (AlarmForm *list = Forms().Find<AlarmForm>())
        list->setEnabled(true);
}

void ModifyForm::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

bool ModifyForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == OptionsLink) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Space) {
                OptionsLink_Click();
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton && OptionsLink->rect().contains(mouse->position().toPoint()))
                OptionsLink_Click();
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched != HourText && watched != MinuteText && watched->isWidgetType() &&
        (static_cast<QWidget *>(watched)->isWindow() || qobject_cast<QSpinBox *>(watched))) {
        if (event->type() == QEvent::Show)
            ++m_openDropDowns;
        else if (event->type() == QEvent::Hide)
            QTimer::singleShot(0, this, [this] { m_openDropDowns = std::max(0, m_openDropDowns - 1); });
        // The calendar's year box, once closed, hands the focus on to the
        // next field: it stays with the calendar, so that Enter confirms the
        // alarm rather than opening what comes after it.
        if (event->type() == QEvent::Hide && qobject_cast<QSpinBox *>(watched))
            QTimer::singleShot(0, this, [this] {
                if (!DateSelection->isAncestorOf(QApplication::focusWidget()))
                    DateSelection->setFocus();
            });
        return QWidget::eventFilter(watched, event);
    }
    const bool hour = watched == HourText;
    if (!hour && watched != MinuteText)
        return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::FocusIn:
        // After the box has handled the focus itself, so the selection stays.
        static_cast<QLineEdit *>(watched)->event(event);
        hour ? HourText_GotFocus() : MinuteText_GotFocus();
        // A click that gives the focus goes on to place the caret and would
        // undo the selection, leaving a full box that refuses new digits:
        // select again once the click is through.
        if (static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason)
            QTimer::singleShot(0, this, hour ? &ModifyForm::HourText_GotFocus : &ModifyForm::MinuteText_GotFocus);
        return true;
    case QEvent::FocusOut:
        hour ? HourText_LostFocus() : MinuteText_LostFocus();
        break;
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        int keyAscii = 0;
        if (key->key() == Qt::Key_Backspace)
            keyAscii = Backspace;
        else if (key->text().isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
                 key->key() == Qt::Key_Delete)
            break; // keys that type no character keep their usual effect
        else
            keyAscii = key->text().at(0).unicode();
        hour ? HourText_KeyPress(keyAscii) : MinuteText_KeyPress(keyAscii);
        if (keyAscii == 0)
            return true;
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
