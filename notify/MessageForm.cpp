#include "notify/MessageForm.h"

#include "engine/AlarmChecking.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "notify/RingSession.h"
#include "notify/SoundModule.h"
#include "resources/Artwork.h"
#include "ui/AccessibleRole.h"
#include "ui/WindowPositioning.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <limits>

namespace {

int alertInterval = MessageForm::DefaultAlertInterval;

QFont ArialFont(qreal points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry, const QFont &font,
                  Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText); // an alarm name is shown as typed, never as markup
    // Transparent over the picture, black text.
    label->setAutoFillBackground(false);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

QString PictureName()
{
    return QString::fromLatin1(Artwork::kNotificationPicture.data(), qsizetype(Artwork::kNotificationPicture.size()));
}

// The tag is written by the program itself, but it is text: a number beyond the
// minute range reads as no minute rather than overflowing.
qint32 TagMinute(const QString &tag)
{
    const double t = Settings::LenientNumber(tag);
    if (!(t >= double(std::numeric_limits<qint32>::min()) && t <= double(std::numeric_limits<qint32>::max())))
        return 0;
    return qint32(t);
}

} // namespace

MessageForm *MessageForm::Fire(const QString &name, const QString &dateText, qint32 dueMinute, const QString &alarmId)
{
    auto *form = new MessageForm();
    form->m_alarmId = alarmId;
    form->MessageLabel->setText(name);
    form->DateLabel->setText(dateText);
    form->SetTag(QString::number(dueMinute));
    form->PlaceAmongOpenNotifications();
    // Its first chime has just sounded: the program rings from here until the
    // window closes.
    RingSession::Instance().Begin(form, name);
    // Screen readers hear the alarm as an alert: its name and the time.
    form->setAccessibleName(QStringLiteral("Alarm Notification: %1, %2").arg(name, dateText));
    // Raised to the top, but the keyboard stays where the user is typing: an
    // Enter meant for an editor must not dismiss the alarm unseen.
    form->setAttribute(Qt::WA_ShowWithoutActivating);
    form->show();
    form->m_shown.start();
    form->raise();
    // Where the window manager keeps a window that did not take the focus
    // below the active one, the task bar still shows it wants attention.
    QApplication::alert(form);
    QAccessibleEvent alert(form, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    return form;
}

namespace {
QList<MessageForm *> openNotifications()
{
    QList<MessageForm *> open;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *form = qobject_cast<MessageForm *>(widget);
        if (form && form->isVisible())
            open.append(form);
    }
    return open;
}
} // namespace

int MessageForm::SnoozeAll(int minutes)
{
    const QList<MessageForm *> open = openNotifications();
    for (MessageForm *form : open)
        form->Snooze(minutes);
    return static_cast<int>(open.size());
}

int MessageForm::DismissAll()
{
    const QList<MessageForm *> open = openNotifications();
    for (MessageForm *form : open)
        form->close();
    return static_cast<int>(open.size());
}

void MessageForm::SetAlertInterval(int milliseconds)
{
    alertInterval = milliseconds > 0 ? milliseconds : DefaultAlertInterval;
}

MessageForm::MessageForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("MessageForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Alarm Notification"));
    setFixedSize(FormWidth, FormHeight);
    m_background = QPixmap::fromImage(Artwork::Picture(PictureName(), devicePixelRatioF()));

    const QFont title = ArialFont(9.75, true);
    Label1 = MakeLabel(this, "Label1", QStringLiteral("Alarm Notification"), QRect(104, 8, 249, 17), title,
                       Qt::AlignLeft | Qt::AlignTop);
    CloseButton = MakeLabel(this, "CloseButton", QStringLiteral("X"), QRect(376, 8, 17, 17), title,
                            Qt::AlignHCenter | Qt::AlignTop);
    CloseButton->installEventFilter(this);
    // Heard as what they are: an alert, and a button that closes it.
    AccessibleRole::Set(this, QAccessible::AlertMessage);
    AccessibleRole::Set(CloseButton, QAccessible::PushButton, QStringLiteral("Close"));

    // A line from (104, 24) to (392, 24), the last point not drawn.
    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setLineWidth(1);
    Line1->setGeometry(104, 24, 392 - 104, 1);
    QPalette linePalette = Line1->palette();
    linePalette.setColor(QPalette::WindowText, Qt::black);
    Line1->setPalette(linePalette);

    DateLabel = MakeLabel(this, "DateLabel", QStringLiteral("Alarm time and date"), QRect(104, 24, 281, 17),
                          ArialFont(8.25, false), Qt::AlignRight | Qt::AlignTop);
    MessageLabel = MakeLabel(this, "MessageLabel", QStringLiteral("Message text"), QRect(104, 40, 281, 49),
                             ArialFont(9.75, false), Qt::AlignLeft | Qt::AlignTop);
    // Wraps inside its fixed box; what does not fit in the height is cut off.
    MessageLabel->setWordWrap(true);

    setToolTip(ToolTipText);
    // Opened without taking the focus, the window is not active: Qt shows a
    // tooltip there only when asked to, and the way to snooze must be seen
    // before the first click.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    SnoozeMenu = new QMenu(this);
    SnoozeMenu->setObjectName(QStringLiteral("SnoozeMenu"));
    const auto snoozeItem = [this](const QString &caption, int minutes) {
        QAction *action = SnoozeMenu->addAction(caption);
        action->setObjectName(QStringLiteral("Snooze%1").arg(minutes));
        connect(action, &QAction::triggered, this, [this, minutes] { Snooze(minutes); });
    };
    snoozeItem(QStringLiteral("Snooze 5 Minutes"), 5);
    snoozeItem(QStringLiteral("Snooze 10 Minutes"), 10);
    snoozeItem(QStringLiteral("Snooze 15 Minutes"), 15);
    snoozeItem(QStringLiteral("Snooze 30 Minutes"), 30);
    snoozeItem(QStringLiteral("Snooze 1 Hour"), 60);
    SnoozeMenu->addSeparator();
    QAction *dismiss = SnoozeMenu->addAction(QStringLiteral("Dismiss"));
    dismiss->setObjectName(QStringLiteral("Dismiss"));
    connect(dismiss, &QAction::triggered, this, &MessageForm::CloseButton_Click);

    AlertTimer = new QTimer(this);
    AlertTimer->setObjectName(QStringLiteral("AlertTimer"));
    AlertTimer->setInterval(alertInterval);
    connect(AlertTimer, &QTimer::timeout, this, &MessageForm::AlertTimer_Timer);
    AlertTimer->start();

    Form_Load();
}

void MessageForm::Form_Load()
{
    AlertTicks = 0;
    AlertTimer_Timer(); // the first chime sounds the moment the alarm is due
}

void MessageForm::AlertTimer_Timer()
{
    ++AlertTicks;
    if (AlertTicks == UnansweredRound) {
        AlertTimer->stop();
        // The missed line carries the minute the alarm fell due, not this moment.
        AlarmChecking::AddMissedAlarm(MessageLabel->text(), TimingModule::MinuteMoment(TagMinute(m_tag)));
        close();
    } else if (AlertTicks <= ChimeRounds) {
        SoundModule::PlayChime();
    }
}

void MessageForm::CloseButton_Click()
{
    close();
}

void MessageForm::Snooze(int minutes)
{
    AlertTimer->stop();
    SoundModule::StopChime();
    Snoozes::Add(m_alarmId, MessageLabel->text(), minutes);
    close();
}

void MessageForm::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    SnoozeMenu->exec(event->globalPos());
}

void MessageForm::PlaceAmongOpenNotifications()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // In the middle of the screen, or the first step down and right of it that
    // no open notification takes, so none covers another. The steps taken are
    // remembered rather than read back from the windows, whose reported
    // position a window manager may not have settled yet.
    QList<int> taken;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *other = qobject_cast<MessageForm *>(window); other && other != this && other->isVisible())
            taken.append(other->m_cascadeStep);
    const int places = WindowPositioning::CascadeSlots(area, size());
    m_cascadeStep = int(taken.size()) % places;
    for (int i = 0; i < places; ++i) {
        if (!taken.contains(i)) {
            m_cascadeStep = i;
            break;
        }
    }
    move(WindowPositioning::CascadePosition(area, size(), m_cascadeStep));
}

bool MessageForm::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // A click anywhere on it, its labels included, makes it the user's.
        m_reachedByUser = true;
        break;
    case QEvent::WindowActivate:
        // A window manager that focuses every new window anyway does so as it
        // maps it; a switch to the notification comes later, from the user.
        if (m_shown.isValid() && m_shown.elapsed() >= ActivationGraceMs)
            m_reachedByUser = true;
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void MessageForm::keyPressEvent(QKeyEvent *event)
{
    // Escape and Enter dismiss the notification as its "X" does, once the
    // user has clicked it or switched to it; before that they were typed for
    // another window.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        if (m_reachedByUser)
            CloseButton_Click();
        break;
    case Qt::Key_S:
        event->accept();
        if (m_reachedByUser && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            Snooze(SnoozeKeyMinutes);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MessageForm::paintEvent(QPaintEvent *)
{
    if (m_background.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(rect(), m_background);
}

void MessageForm::closeEvent(QCloseEvent *event)
{
    // The remaining chimes and the timeout go with the window.
    AlertTimer->stop();
    event->accept();
    RingSession::Instance().End(this);
}

bool MessageForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == CloseButton) {
        // A click is a press and a release of the left button on the label.
        if (event->type() == QEvent::MouseButtonPress) {
            m_closeButtonPressed = static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            const bool click = m_closeButtonPressed && mouse->button() == Qt::LeftButton &&
                               CloseButton->rect().contains(mouse->position().toPoint());
            m_closeButtonPressed = false;
            if (click)
                CloseButton_Click();
        }
    }
    return QWidget::eventFilter(watched, event);
}
