#include "clockwindow/MainForm.h"

#include "clockwindow/RegionData.h"
#include "engine/AlarmChecking.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWords.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "engine/Trace.h"
#include "notify/MessageForm.h"
#include "notify/MissedForm.h"
#include "resources/Artwork.h"
#include "ui/FormRegistry.h"
#include "ui/WindowPositioning.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

MainForm::MainForm()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tockwise"));
    setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(FaceWidth, FaceHeight);
    setWindowIcon(Artwork::ProgramIcon());
    // A bare clock shows no handle of its own; this is how to reach the rest.
    setToolTip(ToolTipText);

    m_refreshTimer.setInterval(RefreshInterval);
    m_refreshTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_refreshTimer, &QTimer::timeout, this, &MainForm::RefreshTimer_Timer);
    connect(&m_waker, &MinuteWaker::woke, this, &MainForm::RefreshTimer_Timer);
}

MainForm::~MainForm()
{
    // A clock started again after Exit may already have taken over.
    if (AlarmChecking::Windows() == this) {
        AlarmChecking::SetWindows(nullptr);
        disconnect(&AlarmStore::Instance(), nullptr, this, nullptr);
    }
}

bool MainForm::Form_Load(QString *error)
{
    // The lines kept from earlier runs come first; the catch-up adds to them.
    AlarmChecking::LoadMissedAlarms();

    QString reason;
    if (!AlarmStore::Instance().Load(&reason)) {
        if (error)
            *error = reason;
        return false;
    }
    AlarmChecking::SetWindows(this);
    // The clock stores its last check with every change, so that an alarm
    // just added for a minute already past is never reported as missed after
    // a crash.
    connect(&AlarmStore::Instance(), &AlarmStore::changed, this, [this] {
        m_wake.TableChanged();
        if (m_running)
            m_wake.Update(AlarmChecking::LastCheck);
        SaveWhenDue(ClockSaving::Cause::AlarmsSaved);
        emit minuteChecked();
    });

    // The menus come with the tray icon; loading the panel fills its rows.
    emit loaded();
    Forms().Get<MissedForm>()->hide();

    // A high-density screen gets the double-resolution pictures; at the usual
    // scale every pixel stays as it was.
    m_face.InitSegmentPatterns();
    m_face.Load(Settings::ReadThemeIndex(Settings::Digits), Settings::ReadThemeIndex(Settings::Face),
                devicePixelRatioF() > 1.0 ? 2.0 : 1.0);

    AlarmChecking::LastCheck = Settings::ReadMinute(Settings::LastCheck, TimingModule::CurrentMinute());

    // A third of the way into the screen the first time. A clock left mostly
    // off every screen (a monitor unplugged, a smaller resolution, a new
    // scale) could not be reached to drag it back.
    const QRect screen =
        QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
    const QPoint stored = Settings::ReadPosition(
        QPoint(screen.width() * TwipsPerPixel / 3, screen.height() * TwipsPerPixel / 3), TwipsPerPixel);
    move(WindowPositioning::ReachablePosition(QRect(stored, size()), WindowPositioning::AvailableAreas()));
    const bool visible = Settings::ReadVisible();

    WindowShape = std::make_unique<RegionData>();
    WindowShape->TransformWindow(this, QString::fromLatin1(Artwork::kRegionResourceName), 1, QStringLiteral("CUSTOM"));

    // The face shows at once; the digits fade in from the first tick.
    m_face.DrawAll();

    // Shaped and placed before it is shown, so it never flashes as a rectangle.
    setVisible(visible);
    PositionMissedForm();

    AlarmChecking::StartupCatchUp();

    m_running = true;
    m_wake.SetEnabled(Settings::ReadWakeFromSuspend());
    m_saving.Loaded(savingState());
    m_refreshTimer.start();
    // A settings file that cannot be used (a pipe) is left alone; the user is
    // told once, as for a save that fails.
    if (const QString problem = Settings::Unusable(); !problem.isEmpty())
        Settings::ReportWriteFailure(problem);
    return true;
}

void MainForm::SaveNow()
{
    // A clock that never loaded (its alarms could not be read) has nothing
    // to save: its last check, place and visibility are not the user's.
    if (m_running)
        m_saving.Save(savingState(), false);
}

void MainForm::Form_Unload()
{
    if (!m_running)
        return;
    m_saving.Save(savingState(), true);

    // Their ends as of now, in case the clock was set since they were stored.
    Snoozes::Save();
    m_wake.SetEnabled(false);
    m_running = false;
    m_refreshTimer.stop();
    m_saving.Stop();
    m_waker.Stop();
    m_face.End();
    m_unloaded = true;

    emit unloaded();
    Forms().Unload<MissedForm>();
}

void MainForm::SaveTimer_Timer()
{
    SaveNow();
}

void MainForm::RefreshTimer_Timer()
{
    if (m_unloaded)
        return;
    m_refreshTimer.stop();
    m_waker.Stop();

    // A release the clock never saw (it went to a menu or another program)
    // must not leave it dragging for ever.
    if (Dragging && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        endDrag();

    const QDateTime now = TimingModule::Now();
    bool fading = false;
    // While the clock is dragged only the drawing waits; alarms are checked.
    if (isVisible() && !Dragging) {
        const int h = now.time().hour();
        const int m = now.time().minute();
        if (m_face.StepTowards(h, m))
            repaint();
        updateAccessibleTime(h, m);
        fading = !m_face.Settled(h, m);
    }

    // One reading of the clock serves the display and the alarm check.
    const qint32 minute = TimingModule::MinuteOf(now);
    AlarmChecking::RingDueSnoozes();
    if (AlarmChecking::LiveCheck(minute)) {
        // An alarm that rang is on disk at once, so that a crash or a kill
        // now does not report it as missed at the next start.
        if (m_rang) {
            m_rang = false;
            SaveWhenDue(ClockSaving::Cause::Rang);
        }
    }

    // Skipped minutes still to examine keep the quick cadence too.
    if (!m_unloaded)
        scheduleNextTick(now, fading || AlarmChecking::LastCheck < minute);
}

void MainForm::scheduleNextTick(const QDateTime &now, bool busy)
{
    // While digits fade or skipped minutes are caught up the clock ticks every
    // 100 ms. Otherwise nothing can change before the next minute: it sleeps
    // until then, or until the clock is set or the computer wakes. The
    // changes of cadence are traced: a quick cadence that lasts is a fault.
    if (busy != m_quickTicks) {
        m_quickTicks = busy;
        TraceEvent(busy ? "quick-ticks" : "idle-ticks",
                   busy ? QString::fromLatin1(AlarmChecking::LastCheck < TimingModule::MinuteOf(now) ? "catching up"
                                                                                                     : "fading")
                        : QString());
    }
    if (busy) {
        m_refreshTimer.start(RefreshInterval);
        return;
    }
    m_waker.SleepUntilNextMinute(now, Snoozes::MsecsToNext());
    m_wake.Update(AlarmChecking::LastCheck);
    SaveWhenDue(ClockSaving::Cause::MinuteChecked);
    emit minuteChecked();
}

void MainForm::tickSoon()
{
    if (m_running && !m_unloaded)
        m_refreshTimer.start(RefreshInterval);
}

void MainForm::SetWakeFromSuspend(bool on)
{
    m_wake.SetEnabled(on);
    if (m_running)
        m_wake.Update(AlarmChecking::LastCheck);
}

void MainForm::SaveWhenDue(ClockSaving::Cause cause)
{
    if (m_running && !m_unloaded)
        m_saving.When(cause, savingState());
}

ClockSaving::State MainForm::savingState() const
{
    return {AlarmChecking::LastCheck, QPoint(LeftTwips(), TopTwips()), pos(), isVisible()};
}

void MainForm::endDrag()
{
    if (!Dragging)
        return;
    Dragging = false;
    // The display catches up with the next tick.
    tickSoon();
}

void MainForm::hideEvent(QHideEvent *event)
{
    endDrag();
    QWidget::hideEvent(event);
    SaveWhenDue(ClockSaving::Cause::PlaceOrVisibility);
}

void MainForm::changeEvent(QEvent *event)
{
    // Another window took the keyboard and, most likely, the mouse with it.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        endDrag();
    QWidget::changeEvent(event);
}

void MainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    SaveWhenDue(ClockSaving::Cause::PlaceOrVisibility);
    // Shown again after being hidden: fade to the present time at once.
    tickSoon();
}

void MainForm::updateAccessibleTime(int hour, int minute)
{
    const int shown = hour * 60 + minute;
    if (shown == m_accessibleMinute)
        return;
    m_accessibleMinute = shown;
    setAccessibleName(AlarmWords::Time(hour, minute));
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
    TraceEvent("minute-shown", accessibleName());
}

void MainForm::PositionMissedForm()
{
    MissedForm *missed = Forms().Find<MissedForm>();
    if (!missed)
        return;
    // Centred under the clock and joined to it; above it where the screen ends
    // below, so the missed alarms stay in reach.
    missed->move(WindowPositioning::MissedPanelPosition(this, missed->size()));
}

void MainForm::OpenNotification(const QString &name, const QString &dateText, qint32 dueMinute, const QString &alarmId)
{
    MessageForm::Fire(name, dateText, dueMinute, alarmId);
    TraceEvent("notification-shown");
    m_rang = true;
}

void MainForm::ShowMissedAlarms()
{
    MissedForm *missed = Forms().Get<MissedForm>();
    missed->show();
    show();
    missed->UpdateMissedList();
}

void MainForm::MissedAlarmsChanged()
{
    if (MissedForm *missed = Forms().Find<MissedForm>())
        missed->UpdateMissedList();
}

void MainForm::paintEvent(QPaintEvent *)
{
    // The picture is composed off screen and reaches the window in one copy.
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Only a fractional scale (1.5) resamples the double-resolution picture.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, FaceWidth, FaceHeight), m_face.BackBuffer());
    if (!m_painted) {
        m_painted = true;
        TraceEvent("first-frame");
    }
}

void MainForm::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QPointF inside = event->position();
        DragX = static_cast<int>(std::lround(inside.x() * TwipsPerPixel));
        DragY = static_cast<int>(std::lround(inside.y() * TwipsPerPixel));
        Dragging = true;
    } else if (event->button() == Qt::RightButton) {
        // The menu takes the mouse: the clock would never see the left
        // button come up.
        endDrag();
        emit mainMenuRequested(QCursor::pos());
    }
}

void MainForm::mouseMoveEvent(QMouseEvent *event)
{
    if (!Dragging)
        return;
    // The grabbed point stays under the pointer. Measured against the screen
    // rather than the window, which the window manager may not have moved yet.
    const QPointF global = event->globalPosition();
    const int left = static_cast<int>(std::lround(global.x() - double(DragX) / TwipsPerPixel));
    const int top = static_cast<int>(std::lround(global.y() - double(DragY) / TwipsPerPixel));
    move(left, top);
    PositionMissedForm();
}

void MainForm::mouseReleaseEvent(QMouseEvent *)
{
    endDrag();
}

bool MainForm::event(QEvent *event)
{
    if (event->type() == QEvent::Show)
        m_confirmPlacement = true;
    else if (event->type() == QEvent::UngrabMouse)
        endDrag();
    return QWidget::event(event);
}

void MainForm::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // A window manager that has just framed the clock may report it at the
    // corner of its new frame and say no more, though the clock stands where
    // it was put. Believed, the clock would save that corner as its position
    // and place its panel and menu there; it is put where it is once more.
    if (event->spontaneous() && m_confirmPlacement && !Dragging) {
        m_confirmPlacement = false;
        if (pos() != m_placed) {
            QTimer::singleShot(0, this, [this] {
                if (pos() != m_placed)
                    move(m_placed);
            });
            return;
        }
    }
    m_placed = pos();
    SaveWhenDue(ClockSaving::Cause::PlaceOrVisibility);
}

void MainForm::keyPressEvent(QKeyEvent *event)
{
    // The main menu from the keyboard, as the right button opens it.
    const bool menuKey = event->key() == Qt::Key_Menu && !(event->modifiers() & ~Qt::KeypadModifier);
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    emit mainMenuRequested(mapToGlobal(QPoint(width() / 2, height() / 2)));
}

void MainForm::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded)
        Form_Unload();
    event->accept();
}
