#include "alarmui/AlarmOptionsForm.h"

#include "engine/AlarmWords.h"
#include "engine/TimingModule.h"
#include "interchange/Recurrence.h"
#include "resources/Artwork.h"
#include "ui/Dialogs.h"
#include "ui/ToolWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeZone>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QStringList RepeatNames{
    QStringLiteral("Once Only"),     QStringLiteral("Daily"),          QStringLiteral("Weekly"),
    QStringLiteral("Every Weekday"), QStringLiteral("On These Days"),  QStringLiteral("Every N Days"),
    QStringLiteral("Every N Weeks"), QStringLiteral("Every N Months"), QStringLiteral("Every N Years")};
const QStringList NthNames{QStringLiteral("First"),  QStringLiteral("Second"), QStringLiteral("Third"),
                           QStringLiteral("Fourth"), QStringLiteral("Fifth"),  QStringLiteral("Last")};

QStringList weekDayNames()
{
    QStringList names;
    for (int day = 0; day < 7; ++day)
        names.append(AlarmWords::WeekDayName(day));
    return names;
}

// A row of controls that is shown or hidden as one.
QWidget *makeRow(QWidget *parent, const QList<QWidget *> &controls)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *w : controls) {
        w->setParent(row);
        layout->addWidget(w);
    }
    layout->addStretch();
    return row;
}

template <class T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QComboBox *makeList(const char *name, const QStringList &items)
{
    auto *list = named(new QComboBox, name);
    list->addItems(items);
    return list;
}

QSpinBox *makeSpin(const char *name, int low, int high)
{
    auto *spin = named(new QSpinBox, name);
    spin->setRange(low, high);
    return spin;
}

} // namespace

AlarmOptionsForm::AlarmOptionsForm(QWidget *editor, const AlarmRecord &shown, const AlarmRule &rule)
    : QWidget(editor)
{
    setObjectName(QStringLiteral("AlarmOptionsForm"));
    ToolWindow::Setup(this, QStringLiteral("Alarm Options"), QSize(360, 560));
    setAttribute(Qt::WA_DeleteOnClose);
    // The editor waits for the options: its Confirm must not store half of them.
    setWindowModality(Qt::WindowModal);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ToolWindow::AlarmBackground);
    setPalette(palette);
    setAutoFillBackground(true);
    setWindowIcon(Artwork::ProgramIcon());

    auto *main = new QVBoxLayout(this);
    main->setContentsMargins(8, 8, 8, 8);
    main->setSpacing(6);

    // Repeat
    auto *repeatGroup = named(new QGroupBox(QStringLiteral("Repeat"), this), "RepeatGroup");
    auto *repeat = new QVBoxLayout(repeatGroup);
    RepeatList = makeList("RepeatList", RepeatNames);
    RepeatList->setAccessibleName(QStringLiteral("Repeat"));
    repeat->addWidget(makeRow(repeatGroup, {RepeatList}));

    WeekDayList = makeList("WeekDayList", weekDayNames());
    WeekDayList->setAccessibleName(QStringLiteral("Day"));
    auto *onLabel = new QLabel(QStringLiteral("On:"));
    onLabel->setBuddy(WeekDayList);
    WeekDayRow = makeRow(repeatGroup, {onLabel, WeekDayList});
    repeat->addWidget(WeekDayRow);

    // Monday first in DayChecks; placed from the locale's first day of the week.
    for (int d = 0; d < 7; ++d) {
        auto *check = new QCheckBox(AlarmWords::ShortDayName(d + 1));
        check->setObjectName(QStringLiteral("Day%1").arg(AlarmWords::DayCode(d)));
        check->setAccessibleName(AlarmWords::WeekDayName(d));
        DayChecks.append(check);
    }
    QList<QWidget *> placed;
    const int first = QLocale().firstDayOfWeek() - 1;
    for (int i = 0; i < 7; ++i)
        placed.append(DayChecks.at((first + i) % 7));
    DaysRow = makeRow(repeatGroup, placed);
    DaysRow->layout()->setSpacing(2);
    repeat->addWidget(DaysRow);

    IntervalSpin = makeSpin("IntervalSpin", 1, 1000);
    IntervalSpin->setAccessibleName(QStringLiteral("Every"));
    auto *everyLabel = new QLabel(QStringLiteral("Every"));
    everyLabel->setBuddy(IntervalSpin);
    IntervalUnit = named(new QLabel, "IntervalUnit");
    IntervalRow = makeRow(repeatGroup, {everyLabel, IntervalSpin, IntervalUnit});
    repeat->addWidget(IntervalRow);

    MonthDayRadio = named(new QRadioButton(QStringLiteral("On Day")), "MonthDayRadio");
    MonthDaySpin = makeSpin("MonthDaySpin", 1, 31);
    MonthDaySpin->setAccessibleName(QStringLiteral("Day of the month"));
    MonthDayRow = makeRow(repeatGroup, {MonthDayRadio, MonthDaySpin});
    repeat->addWidget(MonthDayRow);
    NthRadio = named(new QRadioButton(QStringLiteral("On The")), "NthRadio");
    NthList = makeList("NthList", NthNames);
    NthList->setAccessibleName(QStringLiteral("Which"));
    NthDayList = makeList("NthDayList", weekDayNames());
    NthDayList->setAccessibleName(QStringLiteral("Weekday"));
    NthRow = makeRow(repeatGroup, {NthRadio, NthList, NthDayList});
    repeat->addWidget(NthRow);
    auto *monthly = new QButtonGroup(this);
    monthly->addButton(MonthDayRadio);
    monthly->addButton(NthRadio);
    main->addWidget(repeatGroup);

    // Ends
    auto *endsGroup = named(new QGroupBox(QStringLiteral("Ends"), this), "EndsGroup");
    EndsGroup = endsGroup;
    auto *ends = new QVBoxLayout(endsGroup);
    EndsNever = named(new QRadioButton(QStringLiteral("Never")), "EndsNever");
    ends->addWidget(makeRow(endsGroup, {EndsNever}));
    EndsAfter = named(new QRadioButton(QStringLiteral("After")), "EndsAfter");
    CountSpin = makeSpin("CountSpin", 1, 999);
    CountSpin->setAccessibleName(QStringLiteral("Number of times"));
    ends->addWidget(makeRow(endsGroup, {EndsAfter, CountSpin, new QLabel(QStringLiteral("times"))}));
    EndsOn = named(new QRadioButton(QStringLiteral("On")), "EndsOn");
    UntilDate = named(new QDateEdit, "UntilDate");
    UntilDate->setDisplayFormat(QStringLiteral("d MMMM yyyy"));
    UntilDate->setCalendarPopup(true);
    UntilDate->setDateRange(AlarmWords::FirstDate, AlarmWords::LastDate);
    UntilDate->setAccessibleName(QStringLiteral("Last date"));
    ends->addWidget(makeRow(endsGroup, {EndsOn, UntilDate}));
    auto *endChoice = new QButtonGroup(this);
    for (QRadioButton *radio : {EndsNever, EndsAfter, EndsOn})
        endChoice->addButton(radio);
    main->addWidget(endsGroup);

    // Skipped Dates
    auto *skipGroup = named(new QGroupBox(QStringLiteral("Skipped Dates"), this), "SkipGroup");
    auto *skips = new QVBoxLayout(skipGroup);
    SkippedList = named(new QListWidget(skipGroup), "SkippedList");
    SkippedList->setAccessibleName(QStringLiteral("Skipped dates"));
    SkippedList->setFixedHeight(72);
    skips->addWidget(SkippedList);
    SkipButton = ToolWindow::MakeButton(nullptr, "SkipButton", SkipText({}));
    UnskipButton = ToolWindow::MakeButton(nullptr, "UnskipButton", QStringLiteral("Ring Again"));
    skips->addWidget(makeRow(skipGroup, {SkipButton, UnskipButton}));
    main->addWidget(skipGroup);

    // Time Zone
    auto *zoneGroup = named(new QGroupBox(QStringLiteral("Time Zone"), this), "ZoneGroup");
    auto *zones = new QVBoxLayout(zoneGroup);
    ZoneList = named(new QComboBox(zoneGroup), "ZoneList");
    ZoneList->setEditable(true);
    ZoneList->setInsertPolicy(QComboBox::NoInsert);
    ZoneList->setAccessibleName(QStringLiteral("Time zone"));
    ZoneList->addItem(LocalTimeText);
    for (const QByteArray &id : QTimeZone::availableTimeZoneIds())
        ZoneList->addItem(QString::fromUtf8(id));
    zones->addWidget(ZoneList);
    main->addWidget(zoneGroup);

    main->addStretch();
    OkButton = ToolWindow::MakeButton(this, "OkButton", QStringLiteral("OK"));
    CancelButton = ToolWindow::MakeButton(this, "CancelButton", QStringLiteral("Cancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    main->addLayout(buttons);

    loadRule(shown, rule);

    const auto changed = [this] { touched(); };
    connect(RepeatList, &QComboBox::currentIndexChanged, this, changed);
    connect(WeekDayList, &QComboBox::currentIndexChanged, this, changed);
    for (QCheckBox *check : std::as_const(DayChecks))
        connect(check, &QCheckBox::toggled, this, changed);
    connect(IntervalSpin, &QSpinBox::valueChanged, this, changed);
    connect(MonthDaySpin, &QSpinBox::valueChanged, this, changed);
    connect(NthList, &QComboBox::currentIndexChanged, this, changed);
    connect(NthDayList, &QComboBox::currentIndexChanged, this, changed);
    for (QRadioButton *radio : {MonthDayRadio, NthRadio, EndsNever, EndsAfter, EndsOn})
        connect(radio, &QRadioButton::toggled, this, changed);
    connect(CountSpin, &QSpinBox::valueChanged, this, changed);
    connect(UntilDate, &QDateEdit::dateChanged, this, changed);
    connect(ZoneList, &QComboBox::currentTextChanged, this, &AlarmOptionsForm::updateSkips);
    connect(SkippedList, &QListWidget::itemSelectionChanged, this, &AlarmOptionsForm::updateSkips);
    connect(SkipButton, &QPushButton::clicked, this, &AlarmOptionsForm::skipNext);
    connect(UnskipButton, &QPushButton::clicked, this, &AlarmOptionsForm::ringAgain);
    connect(OkButton, &QPushButton::clicked, this, &AlarmOptionsForm::okClicked);
    connect(CancelButton, &QPushButton::clicked, this, &QWidget::close);
    updateControls();
}

void AlarmOptionsForm::loadRule(const AlarmRecord &shown, const AlarmRule &rule)
{
    m_loading = true;
    const QDate today = TimingModule::Now().date();
    m_onceDate = QDate(shown.Year, shown.Month, shown.Day);
    if (!m_onceDate.isValid())
        m_onceDate = today;
    m_time = QTime(std::min<int>(shown.Hour, 23), std::min<int>(shown.Minute, 59));
    m_ruleStart = today;
    UntilDate->setDate(std::clamp(today.addMonths(1), AlarmWords::FirstDate, AlarmWords::LastDate));
    MonthDayRadio->setChecked(true);
    EndsNever->setChecked(true);
    MonthDaySpin->setValue(today.day());
    NthDayList->setCurrentIndex(today.dayOfWeek() - 1);
    NthList->setCurrentIndex(std::min((today.day() - 1) / 7, 4));

    QList<int> days;
    int choice = OnceOnly;
    int weekDay = shown.WeekDay < 7 ? shown.WeekDay : 0;
    if (rule.IsEmpty()) {
        choice = shown.AlarmType <= AlarmRecord::EveryWeekday ? int(shown.AlarmType) : int(OnceOnly);
        if (choice == Daily)
            days = {0, 1, 2, 3, 4, 5, 6};
        else if (choice == EveryWeekday)
            days = {0, 1, 2, 3, 4};
        else if (choice == Weekly)
            days = {weekDay};
        else
            days = {m_onceDate.dayOfWeek() - 1};
    } else {
        m_ruleStart = rule.start.date();
        m_time = rule.start.time();
        m_skipped = rule.skipped;
        m_originalRecur = rule.recur;
        if (!rule.zone.isEmpty())
            ZoneList->setCurrentText(rule.zone);
        const QMap<QString, QString> parts = AlarmWords::RuleParts(rule.recur);
        const QString freq = parts.value(QStringLiteral("FREQ"));
        const int interval = std::max(1, parts.value(QStringLiteral("INTERVAL"), QStringLiteral("1")).toInt());
        const QString byDay = parts.value(QStringLiteral("BYDAY"));
        for (const QString &code : byDay.split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (const int d = AlarmWords::DayOfCode(code.right(2)); d >= 0 && !days.contains(d))
                days.append(d);
        if (days.isEmpty())
            days = {m_ruleStart.dayOfWeek() - 1};
        // The kind a rule would be without its end and skips.
        QString bare = QStringLiteral("FREQ=") + freq;
        if (!byDay.isEmpty())
            bare += QStringLiteral(";BYDAY=") + byDay;
        const int kind = interval == 1 ? AlarmWords::KindOfRule(bare, &weekDay) : -1;
        IntervalSpin->setValue(interval);
        if (rule.recur.isEmpty()) {
            choice = OnceOnly;
            m_onceDate = rule.start.date();
        } else if (kind > 0) {
            choice = kind;
        } else if (freq == QLatin1String("DAILY")) {
            choice = interval > 1 ? EveryNDays : OnTheseDays;
        } else if (freq == QLatin1String("WEEKLY")) {
            choice = interval > 1 ? EveryNWeeks : OnTheseDays;
        } else if (freq == QLatin1String("MONTHLY")) {
            choice = EveryNMonths;
            const bool nth = !byDay.isEmpty() && !byDay.contains(QLatin1Char(','));
            if (nth) {
                const int which = byDay.left(byDay.size() - 2).toInt();
                NthRadio->setChecked(true);
                NthList->setCurrentIndex(which == -1 ? 5 : std::clamp(which, 1, 5) - 1);
                NthDayList->setCurrentIndex(std::max(0, AlarmWords::DayOfCode(byDay.right(2))));
            } else {
                const int day = parts.value(QStringLiteral("BYMONTHDAY")).toInt();
                MonthDaySpin->setValue(day >= 1 && day <= 31 ? day : m_ruleStart.day());
            }
        } else if (freq == QLatin1String("YEARLY")) {
            choice = EveryNYears;
        }
        if (const int count = parts.value(QStringLiteral("COUNT")).toInt(); count > 0) {
            EndsAfter->setChecked(true);
            CountSpin->setValue(count);
        } else if (const QString until = parts.value(QStringLiteral("UNTIL")); until.size() >= 8) {
            EndsOn->setChecked(true);
            UntilDate->setDate(QDate::fromString(until.left(8), QStringLiteral("yyyyMMdd")));
        }
    }
    WeekDayList->setCurrentIndex(weekDay);
    for (int d = 0; d < 7; ++d)
        DayChecks.at(d)->setChecked(days.contains(d));
    RepeatList->setCurrentIndex(choice);
    m_loading = false;
}

void AlarmOptionsForm::touched()
{
    if (m_loading)
        return;
    m_touched = true;
    updateControls();
}

QString AlarmOptionsForm::recurText() const
{
    if (!m_touched && !m_originalRecur.isEmpty())
        return m_originalRecur;
    const int choice = RepeatList->currentIndex();
    QStringList checked;
    for (int d = 0; d < 7; ++d)
        if (DayChecks.at(d)->isChecked())
            checked.append(AlarmWords::DayCode(d));
    const QString interval =
        IntervalSpin->value() > 1 ? QStringLiteral(";INTERVAL=%1").arg(IntervalSpin->value()) : QString();
    QString recur;
    switch (choice) {
    case Daily:
        recur = QStringLiteral("FREQ=DAILY");
        break;
    case Weekly:
        recur = QStringLiteral("FREQ=WEEKLY;BYDAY=") + AlarmWords::DayCode(WeekDayList->currentIndex());
        break;
    case EveryWeekday:
        recur = QStringLiteral("FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR");
        break;
    case OnTheseDays:
        if (checked.isEmpty())
            return {};
        recur = QStringLiteral("FREQ=WEEKLY;BYDAY=") + checked.join(QLatin1Char(','));
        break;
    case EveryNDays:
        recur = QStringLiteral("FREQ=DAILY") + interval;
        break;
    case EveryNWeeks:
        if (checked.isEmpty())
            return {};
        recur = QStringLiteral("FREQ=WEEKLY") + interval + QStringLiteral(";BYDAY=") + checked.join(QLatin1Char(','));
        break;
    case EveryNMonths: {
        recur = QStringLiteral("FREQ=MONTHLY") + interval;
        if (NthRadio->isChecked()) {
            const int which = NthList->currentIndex() == 5 ? -1 : NthList->currentIndex() + 1;
            recur += QStringLiteral(";BYDAY=%1%2").arg(which).arg(AlarmWords::DayCode(NthDayList->currentIndex()));
        } else {
            recur += QStringLiteral(";BYMONTHDAY=%1").arg(MonthDaySpin->value());
        }
        break;
    }
    case EveryNYears:
        recur = QStringLiteral("FREQ=YEARLY") + interval;
        break;
    default:
        return {};
    }
    if (EndsAfter->isChecked())
        recur += QStringLiteral(";COUNT=%1").arg(CountSpin->value());
    else if (EndsOn->isChecked())
        recur += QStringLiteral(";UNTIL=") + UntilDate->date().toString(QStringLiteral("yyyyMMdd"));
    return recur;
}

QString AlarmOptionsForm::zoneText(bool *known) const
{
    const QString text = ZoneList->currentText().trimmed();
    if (text.isEmpty() || text == LocalTimeText) {
        *known = true;
        return {};
    }
    *known = QTimeZone::isTimeZoneIdAvailable(text.toUtf8());
    return text;
}

bool AlarmOptionsForm::Current(Choice *choice, QString *why) const
{
    const bool once = RepeatList->currentIndex() == OnceOnly;
    const QString recur = once ? QString() : recurText();
    const auto refuse = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    if (!once && recur.isEmpty())
        return refuse(QStringLiteral("Tick at least one day for the alarm to ring on."));
    if (!once) {
        if (const QString refusal = Recurrence::Instance().Refusal(recur); !refusal.isEmpty())
            return refuse(QStringLiteral("This cannot be an alarm's rule: %1.").arg(refusal));
    }
    bool known = false;
    const QString zone = zoneText(&known);
    if (!known)
        return refuse(QStringLiteral("There is no time zone \"%1\". Choose one from the list, such as "
                                     "Europe/Berlin or America/New_York.")
                          .arg(zone.left(80)));
    Choice made;
    made.rule.recur = recur;
    made.rule.zone = zone;
    made.rule.skipped = once ? QList<QDateTime>() : m_skipped;
    // A rule changed here counts its weeks and times from today.
    const QDate start = once ? m_onceDate : m_touched ? TimingModule::Now().date() : m_ruleStart;
    made.rule.start = QDateTime(start, m_time, Qt::UTC);
    if (zone.isEmpty() && made.rule.skipped.isEmpty()) {
        int weekDay = 0;
        const int kind = once ? int(AlarmRecord::OnceOnly) : AlarmWords::KindOfRule(recur, &weekDay);
        if (kind >= 0) {
            made.kind = kind;
            made.weekDay = weekDay;
            made.rule = {};
        }
    }
    *choice = made;
    return true;
}

QString AlarmOptionsForm::SkipText(const QDateTime &next)
{
    if (!next.isValid())
        return QStringLiteral("Skip Next Time");
    return QStringLiteral("Skip Next Time (%1)").arg(QLocale::c().toString(next.date(), QStringLiteral("dddd d MMMM")));
}

void AlarmOptionsForm::updateControls()
{
    const int choice = RepeatList->currentIndex();
    WeekDayRow->setVisible(choice == Weekly);
    DaysRow->setVisible(choice == OnTheseDays || choice == EveryNWeeks);
    IntervalRow->setVisible(choice >= EveryNDays);
    static const char *const Units[] = {"days", "weeks", "months", "years"};
    if (choice >= EveryNDays)
        IntervalUnit->setText(QLatin1String(Units[choice - EveryNDays]));
    MonthDayRow->setVisible(choice == EveryNMonths);
    NthRow->setVisible(choice == EveryNMonths);
    EndsGroup->setEnabled(choice != OnceOnly);
    CountSpin->setEnabled(EndsAfter->isChecked());
    UntilDate->setEnabled(EndsOn->isChecked());
    MonthDaySpin->setEnabled(MonthDayRadio->isChecked());
    NthList->setEnabled(NthRadio->isChecked());
    NthDayList->setEnabled(NthRadio->isChecked());
    updateSkips();
}

void AlarmOptionsForm::updateSkips()
{
    // The next ring as the options stand, skips taken into account: each
    // Skip Next Time passes over one more.
    m_next = {};
    const bool once = RepeatList->currentIndex() == OnceOnly;
    const QString recur = once ? QString() : recurText();
    bool known = false;
    const QString zone = zoneText(&known);
    if (!once && !recur.isEmpty() && known) {
        AlarmRule rule;
        rule.recur = recur;
        rule.zone = zone;
        rule.skipped = m_skipped;
        const QDate start = m_touched ? TimingModule::Now().date() : m_ruleStart;
        rule.start = QDateTime(start, m_time, Qt::UTC);
        m_next = rule.NextStart(TimingModule::CurrentMinute());
    }
    SkipButton->setText(SkipText(m_next));
    SkipButton->setEnabled(m_next.isValid());

    const int selected = SkippedList->currentRow();
    QList<QDateTime> sorted = m_skipped;
    std::sort(sorted.begin(), sorted.end());
    QStringList texts;
    for (const QDateTime &skip : std::as_const(sorted))
        texts.append(QLocale::c().toString(skip.date(), QStringLiteral("dddd d MMMM yyyy")));
    QStringList now;
    for (int i = 0; i < SkippedList->count(); ++i)
        now.append(SkippedList->item(i)->text());
    if (now != texts) {
        const QSignalBlocker block(SkippedList);
        SkippedList->clear();
        for (qsizetype i = 0; i < sorted.size(); ++i) {
            auto *item = new QListWidgetItem(texts.at(i), SkippedList);
            item->setData(Qt::UserRole, sorted.at(i));
        }
        if (selected >= 0 && selected < SkippedList->count())
            SkippedList->setCurrentRow(selected);
    }
    SkippedList->setEnabled(!once);
    UnskipButton->setEnabled(!once && SkippedList->currentItem() && SkippedList->currentItem()->isSelected());
}

void AlarmOptionsForm::skipNext()
{
    if (!m_next.isValid() || m_skipped.contains(m_next))
        return;
    m_skipped.append(m_next);
    updateSkips();
}

void AlarmOptionsForm::ringAgain()
{
    QListWidgetItem *item = SkippedList->currentItem();
    if (!item)
        return;
    m_skipped.removeAll(item->data(Qt::UserRole).toDateTime());
    SkippedList->clearSelection();
    updateSkips();
}

void AlarmOptionsForm::okClicked()
{
    Choice choice;
    QString why;
    if (!Current(&choice, &why)) {
        // The window stays, with what was chosen, to put right or cancel.
        Dialogs::ShowError(this, why);
        return;
    }
    emit Chosen(choice);
    close();
}

void AlarmOptionsForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AlarmOptionsForm::closeEvent(QCloseEvent *event)
{
    // The editor goes on where it was left, keys and all.
    if (QWidget *editor = parentWidget(); editor && editor->isVisible())
        editor->activateWindow();
    event->accept();
}
