#include "alarmui/AlarmForm.h"

#include "about/AdForm.h"
#include "about/PersonalForm.h"
#include "alarmui/ModifyForm.h"
#include "engine/AlarmEditing.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWords.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "resources/Artwork.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"
#include "ui/ToolWindow.h"
#include "ui/WindowPositioning.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

using ToolWindow::PlaceTwips;

namespace {

const QString RemoveQuestion = QStringLiteral("Are you sure you want to delete this alarm?");

// Rows sort by their text without regard to case; equal texts keep a fixed
// order (by exact text, then by table position) so the list never shuffles.
class AlarmRow : public QListWidgetItem
{
public:
    AlarmRow(const QString &text, int position)
        : QListWidgetItem(text)
    {
        setData(AlarmForm::PositionRole, position);
    }

    bool operator<(const QListWidgetItem &other) const override
    {
        const QString a = text();
        const QString b = other.text();
        if (const int c = a.compare(b, Qt::CaseInsensitive))
            return c < 0;
        if (const int c = a.compare(b, Qt::CaseSensitive))
            return c < 0;
        return data(AlarmForm::PositionRole).toInt() < other.data(AlarmForm::PositionRole).toInt();
    }
};

// The list, with a line in its empty area while it has no rows.
class AlarmListBox : public QListWidget
{
public:
    using QListWidget::QListWidget;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QListWidget::paintEvent(event);
        if (count() > 0)
            return;
        QPainter painter(viewport());
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         AlarmForm::EmptyHint);
    }
};

} // namespace

AlarmForm::AlarmForm()
{
    setObjectName(QStringLiteral("AlarmForm"));
    ToolWindow::Setup(this, QStringLiteral("Tockwise"), QSize(ToolWindow::Px(5895), ToolWindow::Px(5175)));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ToolWindow::AlarmBackground);
    setPalette(palette);
    setAutoFillBackground(true);
    setWindowIcon(Artwork::ProgramIcon());

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap::fromImage(
        Artwork::Picture(QLatin1String(Artwork::kBannerPicture.data(), qsizetype(Artwork::kBannerPicture.size())),
                         devicePixelRatioF())));
    PlaceTwips(Image1, 0, 0, 4500, 900);

    Label1 = ToolWindow::MakeLabel(this, "Label1", QStringLiteral("Crewline Kit"), Qt::AlignRight);
    Label1->setFont(ToolWindow::ArialFont(12));
    PlaceTwips(Label1, 3480, 360, 2295, 375);

    LinkLabel = ToolWindow::MakeLink(this, "LinkLabel", QStringLiteral("About Crewline Kit"));
    PlaceTwips(LinkLabel, 3840, 720, 1935, 255);

    Label2 = ToolWindow::MakeLabel(this, "Label2", QStringLiteral("List of alarms:"), Qt::AlignLeft);
    PlaceTwips(Label2, 120, 1080, 1095, 255);

    AlarmList = new AlarmListBox(this);
    AlarmList->setObjectName(QStringLiteral("AlarmList"));
    AlarmList->setAccessibleName(QStringLiteral("List of alarms"));
    Label2->setBuddy(AlarmList);
    AlarmList->setSelectionMode(QAbstractItemView::SingleSelection);
    AlarmList->setSortingEnabled(true);
    PlaceTwips(AlarmList, 120, 1320, 5655, 2370);

    AddButton = ToolWindow::MakeButton(this, "AddButton", QStringLiteral("Add New"));
    PlaceTwips(AddButton, 120, 3840, 1815, 375);
    EditButton = ToolWindow::MakeButton(this, "EditButton", QStringLiteral("Edit"));
    PlaceTwips(EditButton, 2040, 3840, 1815, 375);
    RemoveButton = ToolWindow::MakeButton(this, "RemoveButton", QStringLiteral("Remove"));
    PlaceTwips(RemoveButton, 3960, 3840, 1815, 375);

    CopyrightInfo =
        ToolWindow::MakeLabel(this, "CopyrightInfo",
                              QStringLiteral("Tockwise is free to use, copy and give away, unchanged and free of "
                                             "charge. It comes as it is, without any warranty."),
                              Qt::AlignRight);
    CopyrightInfo->setWordWrap(true);
    PlaceTwips(CopyrightInfo, 120, 4320, 5655, 495);

    InfoLink = ToolWindow::MakeLink(this, "InfoLink", QStringLiteral("About Varnod"));
    PlaceTwips(InfoLink, 4680, 4800, 1095, 255);

    for (QLabel *label : {Image1, Label1, Label2, CopyrightInfo})
        label->setFocusPolicy(Qt::NoFocus);
    LinkLabel->installEventFilter(this);
    InfoLink->installEventFilter(this);
    AlarmList->installEventFilter(this);

    setTabOrder(AlarmList, AddButton);
    setTabOrder(AddButton, RemoveButton);
    setTabOrder(RemoveButton, EditButton);
    setTabOrder(EditButton, LinkLabel);
    setTabOrder(LinkLabel, InfoLink);

    // A double click on a row, or Enter on it, opens it as Edit does.
    connect(AlarmList, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        AlarmList->setCurrentItem(item);
        EditButton_Click();
    });

    // Edit and Remove act on the selected row: without one they are off.
    connect(AlarmList, &QListWidget::itemSelectionChanged, this, &AlarmForm::updateButtons);

    connect(AddButton, &QPushButton::clicked, this, &AlarmForm::AddButton_Click);
    connect(EditButton, &QPushButton::clicked, this, &AlarmForm::EditButton_Click);
    connect(RemoveButton, &QPushButton::clicked, this, &AlarmForm::RemoveButton_Click);

    Form_Load();
}

void AlarmForm::Form_Load()
{
    UpdateAlarmList();
    // Loaded again while an editor is still open (the list was closed and
    // reopened): it stays disabled until that editor goes, as it would have.
    if (Forms().Find<ModifyForm>())
        setEnabled(false);
}

QString AlarmForm::RowText(const AlarmRecord &alarm)
{
    QString text = alarm.TrimmedName() + QStringLiteral(" - ") + AlarmWords::Time(alarm.Hour, alarm.Minute);
    switch (alarm.AlarmType) {
    case AlarmRecord::OnceOnly:
        text += QStringLiteral(", ") + QString::number(alarm.Day);
        // Only a damaged file holds a month outside 1-12; it has no name, so
        // the row shows the day alone.
        if (alarm.Month >= 1 && alarm.Month <= 12)
            text += QLatin1Char(' ') + QLocale::system().monthName(alarm.Month, QLocale::LongFormat);
        break;
    case AlarmRecord::Daily:
        text += QStringLiteral(" every day");
        break;
    case AlarmRecord::Weekly:
        text += QStringLiteral(" every ") + AlarmWords::WeekDayName(alarm.WeekDay);
        break;
    case AlarmRecord::EveryWeekday:
        text += QStringLiteral(" every weekday");
        break;
    default:
        break;
    }
    // Any non-zero flag keeps the alarm silent (a hand-edited file may hold 1).
    if (alarm.Disabled != 0)
        text += QStringLiteral(" (disabled)");
    return text;
}

QString AlarmForm::RowText(const AlarmRecord &alarm, const AlarmRule &rule)
{
    if (rule.IsEmpty())
        return RowText(alarm);
    // Its record is only a stand-in at the next ring: the rule says when.
    QString text = alarm.TrimmedName() + QStringLiteral(" - ") + AlarmWords::RuleTime(rule) + QLatin1Char(' ') +
                   AlarmWords::RuleText(rule);
    if (alarm.Disabled != 0)
        text += QStringLiteral(" (disabled)");
    return text;
}

QString AlarmForm::WhenText(const QDateTime &when, const QDateTime &now)
{
    const QDateTime local = when.toLocalTime();
    const QString at = AlarmWords::Time(local.time().hour(), local.time().minute());
    return local.date() == now.toLocalTime().date()
               ? at
               : AlarmWords::ShortDayName(local.date().dayOfWeek()) + QLatin1Char(' ') + at;
}

QString AlarmForm::SnoozeText(const QDateTime &end, const QDateTime &now)
{
    return end.isValid() ? QStringLiteral(" (snoozed until %1)").arg(WhenText(end, now)) : QString();
}

QString AlarmForm::rowTextAt(int position) const
{
    const AlarmStore &store = AlarmStore::Instance();
    return RowText(store.At(position), store.RuleOf(position)) +
           SnoozeText(Snoozes::EndFor(store.IdOf(position)), TimingModule::Now());
}

void AlarmForm::UpdateAlarmList()
{
    AlarmList->clear();
    const QList<AlarmRecord> &alarms = AlarmStore::Instance().Records();
    for (int i = 1; i < alarms.size(); ++i) {
        if (alarms.at(i).Deleted != 0)
            continue;
        AlarmList->addItem(new AlarmRow(rowTextAt(i), i));
    }
    AlarmList->clearSelection();
    AlarmList->setCurrentRow(-1);
    updateButtons();
}

void AlarmForm::UpdateSnoozes()
{
    for (int row = 0; row < AlarmList->count(); ++row) {
        QListWidgetItem *item = AlarmList->item(row);
        const int position = item->data(PositionRole).toInt();
        if (!AlarmStore::Instance().Holds(position))
            continue;
        if (const QString text = rowTextAt(position); text != item->text())
            item->setText(text);
    }
}

void AlarmForm::updateButtons()
{
    const bool selected = selectedPosition() >= 0;
    // The focus leaves a button that goes off, as it would a hidden one.
    for (QPushButton *button : {EditButton, RemoveButton}) {
        if (!selected && button->hasFocus())
            AlarmList->setFocus();
        button->setEnabled(selected);
    }
}

int AlarmForm::selectedPosition() const
{
    const QList<QListWidgetItem *> selected = AlarmList->selectedItems();
    if (selected.isEmpty())
        return -1;
    const int position = selected.first()->data(PositionRole).toInt();
    // A row always names an alarm of the table; anything else is left alone.
    if (!AlarmStore::Instance().Holds(position))
        return -1;
    return position;
}

void AlarmForm::openEditor()
{
    Forms().ShowOrRaise<ModifyForm>();
    setEnabled(false);
}

void AlarmForm::AddButton_Click()
{
    // An editor that is still open keeps its alarm; it is only brought forward.
    if (!Forms().Find<ModifyForm>())
        AlarmEditing::ClearEditAlarm();
    openEditor();
}

void AlarmForm::EditButton_Click()
{
    const int p = selectedPosition();
    if (p < 0)
        return;
    if (!Forms().Find<ModifyForm>())
        AlarmEditing::LoadEditAlarm(p);
    openEditor();
}

void AlarmForm::RemoveButton_Click()
{
    const int p = selectedPosition();
    if (p < 0)
        return;
    if (!Dialogs::AskYesNo(this, RemoveQuestion, true))
        return;

    QString error;
    if (!AlarmStore::Instance().Remove({p}, &error)) {
        Dialogs::ShowError(this, QStringLiteral("The alarm could not be removed.\n\n%1").arg(error));
        return;
    }
    UpdateAlarmList();
}

void AlarmForm::LinkLabel_Click()
{
    Forms().ShowOrRaise<PersonalForm>();
}

void AlarmForm::InfoLink_Click()
{
    Forms().ShowOrRaise<AdForm>();
}

void AlarmForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A click on the greyed list raises it over the editor that disabled it,
    // which then looks like a hang: the editor comes back on top at once.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isEnabled()) {
        if (ModifyForm *editor = Forms().Find<ModifyForm>(); editor && editor->isVisible())
            QTimer::singleShot(0, editor, [editor] { WindowPositioning::BringToFront(editor); });
    }
}

void AlarmForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool AlarmForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (watched == AlarmList && key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            RemoveButton_Click();
            return true;
        }
        const bool press = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
        if (press && (watched == LinkLabel || watched == InfoLink)) {
            watched == LinkLabel ? LinkLabel_Click() : InfoLink_Click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        auto *label = qobject_cast<QLabel *>(watched);
        // A click is a press and a release of the left button over the label.
        if (label && mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (label == LinkLabel)
                LinkLabel_Click();
            else if (label == InfoLink)
                InfoLink_Click();
        }
    }
    return QWidget::eventFilter(watched, event);
}
