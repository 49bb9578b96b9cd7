#include "clockwindow/MainForm.h"

#include "clockwindow/RegionData.h"
#include "engine/AlarmChecking.h"
#include "engine/AlarmHandling.h"
#include "engine/TimingModule.h"
#include "engine/Trace.h"
#include "notify/MessageForm.h"
#include "notify/MissedForm.h"
#include "resources/Artwork.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"
#include "ui/Settings.h"
#include "ui/ShellRequests.h"
#include "ui/WindowPositioning.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

#include <cmath>
#include <limits>

namespace {

// Left edge of each digit cell and of the colon on the face; all cells start at y 10.
constexpr int DigitTop = 10;
constexpr int CellWidth = 30;
constexpr int ColonLeft = 85;
constexpr int PictureColon = 35;
constexpr int PictureFace = 36;

int digitLeft(int p)
{
    return CellWidth * p + 25 + (p >= 2 ? CellWidth : 0);
}

// A stored "Last Check" that holds no number, or one no minute count can be,
// is damage: checking starts from the present minute. A clock found set back
// far behind a usable one is the alarm engine's concern.
qint32 storedMinute(const QString &text, qint32 now)
{
    bool found = false;
    const double rounded = std::nearbyint(Settings::LenientNumber(text, &found));
    if (!found || rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return now;
    return static_cast<qint32>(rounded);
}

// Window systems place windows within a 16-bit range of pixels (X11 wraps
// anything beyond it round to the other side).
constexpr double PositionLimit = 30000;

// A stored position outside the visible desktop is kept (it may be a monitor
// that is unplugged right now), but one no window can have is damage: the
// default is used instead.
int pixelsFromTwips(double twips, int defaultPixels)
{
    const double pixels = std::nearbyint(twips / MainForm::TwipsPerPixel);
    return std::abs(pixels) <= PositionLimit ? static_cast<int>(pixels) : defaultPixels;
}

} // namespace

MainForm::MainForm()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tockwise"));
    setWindowFlags(Qt::FramelessWindowHint | Qt::Tool);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFixedSize(FaceWidth, FaceHeight);
    setWindowIcon(Artwork::ProgramIcon());

    m_refreshTimer.setInterval(RefreshInterval);
    m_refreshTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_refreshTimer, &QTimer::timeout, this, &MainForm::RefreshTimer_Timer);
    // Armed only when a saved value changed, so an idle clock is not woken
    // by it.
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(SaveInterval);
    connect(&m_saveTimer, &QTimer::timeout, this, &MainForm::SaveTimer_Timer);
    connect(&m_waker, &MinuteWaker::woke, this, &MainForm::RefreshTimer_Timer);
}

MainForm::~MainForm()
{
    // A clock started again after Exit may already have taken over.
    if (AlarmChecking::Windows() == this)
        AlarmChecking::SetWindows(nullptr);
}

bool MainForm::Form_Load(QString *error)
{
    // The lines kept from earlier runs come first; the catch-up adds to them.
    AlarmChecking::LoadMissedAlarms();

    QString reason;
    if (!AlarmHandling::LoadAlarms(&reason)) {
        if (error)
            *error = reason;
        return false;
    }
    AlarmChecking::SetWindows(this);

    // Loading the menus adds the tray icon; loading the panel fills its rows.
    Shell().LoadMenus();
    Forms().Get<MissedForm>()->hide();

    InitSegmentPatterns();
    loadPictures(devicePixelRatioF() > 1.0 ? 2.0 : 1.0);

    // A high-density screen gets the double-resolution pictures and a back
    // buffer to match; at the usual scale every pixel stays as it was.
    const qreal ratio = devicePixelRatioF() > 1.0 ? 2.0 : 1.0;
    m_backBuffer = QImage(qRound(FaceWidth * ratio), qRound(FaceHeight * ratio), QImage::Format_RGB32);
    m_backBuffer.setDevicePixelRatio(ratio);
    m_backBuffer.fill(Qt::black);
    BackDC.begin(&m_backBuffer);

    const qint32 now = TimingModule::CurrentMinute();
    AlarmChecking::LastCheck = storedMinute(Settings::Read(Settings::LastCheck, QString::number(now)), now);

    const QRect screen =
        QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect(0, 0, 1024, 768);
    const int defaultX = screen.width() * TwipsPerPixel / 3;
    const int defaultY = screen.height() * TwipsPerPixel / 3;
    const double x = Settings::LenientNumber(Settings::Read(Settings::X, QString::number(defaultX)));
    const double y = Settings::LenientNumber(Settings::Read(Settings::Y, QString::number(defaultY)));
    const QPoint stored(pixelsFromTwips(x, pixelsFromTwips(defaultX, 0)),
                        pixelsFromTwips(y, pixelsFromTwips(defaultY, 0)));
    // A clock left mostly off every screen (a monitor unplugged, a smaller
    // resolution, a new scale) could not be reached to drag it back.
    QList<QRect> areas;
    for (const QScreen *s : QGuiApplication::screens())
        areas.append(s->availableGeometry());
    move(WindowPositioning::ReachablePosition(QRect(stored, size()), areas));
    const bool visible = Settings::ReadVisible();

    WindowShape = std::make_unique<RegionData>();
    WindowShape->TransformWindow(this, QString::fromLatin1(Artwork::kRegionResourceName), 1, QStringLiteral("CUSTOM"));

    // The face shows at once; the digits fade in from the first tick.
    DrawFace();
    for (int p = 0; p < 4; ++p)
        DrawDigit(p);
    DrawColon();

    // Shaped and placed before it is shown, so it never flashes as a rectangle.
    setVisible(visible);
    PositionMissedForm();

    AlarmChecking::StartupCatchUp();

    m_running = true;
    m_storedPos = pos();
    m_storedVisible = isVisible();
    m_refreshTimer.start();
    return true;
}

void MainForm::Form_Unload(int Cancel)
{
    const Settings::Values values{
        {Settings::LastCheck, QString::number(AlarmChecking::LastCheck)},
        {Settings::X, QString::number(LeftTwips())},
        {Settings::Y, QString::number(TopTwips())},
        {Settings::Visible, isVisible() ? QStringLiteral("True") : QStringLiteral("False")},
    };
    // The periodic save skips the disk when nothing changed since the last one.
    if (Cancel != 1 || values != m_savedSettings) {
        QString problem;
        if (Settings::Write(values, &problem))
            m_savedSettings = values;
        else
            reportSaveFailure(problem);
    }
    m_savedLastCheck = AlarmChecking::LastCheck;
    m_storedPos = pos();
    m_storedVisible = isVisible();
    if (Cancel == 1)
        return;

    m_running = false;
    m_refreshTimer.stop();
    m_saveTimer.stop();
    m_waker.Stop();
    if (BackDC.isActive())
        BackDC.end();
    m_unloaded = true;

    Shell().UnloadMenus();
    Forms().Unload<MissedForm>();
}

void MainForm::SaveTimer_Timer()
{
    Form_Unload(1);
}

void MainForm::reportSaveFailure(const QString &problem)
{
    qWarning("tockwise: the settings were not saved: %s", qPrintable(problem));
    if (m_saveFailureReported)
        return;
    m_saveFailureReported = true;
    // Shown from the event loop, not from inside a tick: the clock runs on
    // while the box is open.
    const QString text = QStringLiteral("Tockwise cannot save its settings.\n\n%1\n\n"
                                        "Until this is mended, alarms answered from now on will be reported again as "
                                        "missed at the next start, and the clock's position will not be kept.")
                             .arg(problem);
    QTimer::singleShot(0, this, [text] { Dialogs::ShowError(nullptr, text); });
}

void MainForm::InitSegmentPatterns()
{
    SegmentPatterns = {123, 18, 103, 55, 30, 61, 125, 19, 127, 31};
}

void MainForm::StepDigit(int p, int digit)
{
    const quint8 pattern = SegmentPatterns[static_cast<size_t>(digit)];
    for (int s = 0; s < 7; ++s) {
        const bool lit = (pattern >> s) & 1;
        quint8 &level = SegmentLevels[p][s];
        if (!lit && level > 0) {
            --level;
            m_levelsChanged = true;
        } else if (lit && level < 4) {
            ++level;
            m_levelsChanged = true;
        }
    }
}

void MainForm::DrawFace()
{
    BackDC.setCompositionMode(QPainter::CompositionMode_Source);
    BackDC.drawImage(0, 0, ClockPictures[PictureFace]);
}

void MainForm::DrawDigit(int p)
{
    // OR-ing works because the face interior and the images' backgrounds are
    // black: the seven segments lie side by side in one cell.
    BackDC.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    const int x = digitLeft(p);
    for (int s = 0; s < 7; ++s)
        BackDC.drawImage(QPoint(x, DigitTop), ClockPictures[static_cast<size_t>(5 * s + SegmentLevels[p][s])]);
}

void MainForm::DrawColon()
{
    BackDC.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    BackDC.drawImage(QPoint(ColonLeft, DigitTop), ClockPictures[PictureColon]);
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
        StepDigit(0, h / 10);
        StepDigit(1, h % 10);
        StepDigit(2, m / 10);
        StepDigit(3, m % 10);
        // The picture only changes when a segment level did; an unchanged
        // tick need not compose or send the same picture again.
        if (m_levelsChanged) {
            m_levelsChanged = false;
            DrawFace();
            for (int p = 0; p < 4; ++p)
                DrawDigit(p);
            DrawColon();
            repaint();
        }
        updateAccessibleTime(h, m);
        fading = !digitsSettled(h, m);
    }

    // One reading of the clock serves the display and the alarm check.
    const qint32 minute = TimingModule::MinuteOf(now);
    if (AlarmChecking::LiveCheck(minute)) {
        // An alarm that rang is on disk at once, so that a crash or a kill
        // now does not report it as missed at the next start.
        if (m_rang) {
            m_rang = false;
            Form_Unload(1);
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
    // until then, or until the clock is set or the computer wakes.
    if (busy) {
        m_refreshTimer.start(RefreshInterval);
        return;
    }
    m_waker.SleepUntilNextMinute(now);
    // The last check moves every minute, but a stale one on disk loses
    // nothing: a ring saves it, and the next start merely examines those
    // quiet minutes again. So it is not written every minute (two synced
    // writes, a dozen wake-ups and a disk kept awake), but with any other
    // change, at exit, and on its own at most once an hour, on a wake-up
    // that happens anyway; the save runs just after this tick, not inside it.
    const qint32 unsaved = AlarmChecking::LastCheck - m_savedLastCheck;
    if ((unsaved >= LastCheckSaveMinutes || unsaved < 0) && !m_saveTimer.isActive())
        m_saveTimer.start(0);
}

bool MainForm::digitsSettled(int hour, int minute) const
{
    // The tick that lights the last level is the last one the fade needs; the
    // clock need not wake once more to find nothing left to do.
    const int digits[4] = {hour / 10, hour % 10, minute / 10, minute % 10};
    for (int p = 0; p < 4; ++p) {
        const quint8 pattern = SegmentPatterns[static_cast<size_t>(digits[p])];
        for (int s = 0; s < 7; ++s) {
            if (SegmentLevels[p][s] != (((pattern >> s) & 1) ? 4 : 0))
                return false;
        }
    }
    return true;
}

void MainForm::tickSoon()
{
    if (m_running && !m_unloaded)
        m_refreshTimer.start(RefreshInterval);
}

void MainForm::settingsTouched()
{
    // The first change starts the wait; later ones ride on it, so a value that
    // keeps changing is never more than that old on disk.
    if (!m_running || m_unloaded || m_saveTimer.isActive())
        return;
    // The window system reports the place it was given at start-up as a move
    // too; only a real change is worth a wake-up.
    if (pos() != m_storedPos || isVisible() != m_storedVisible)
        m_saveTimer.start(SaveInterval);
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
    settingsTouched();
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
    settingsTouched();
    // Shown again after being hidden: fade to the present time at once.
    tickSoon();
}

void MainForm::updateAccessibleTime(int hour, int minute)
{
    const int shown = hour * 60 + minute;
    if (shown == m_accessibleMinute)
        return;
    m_accessibleMinute = shown;
    setAccessibleName(QStringLiteral("%1:%2").arg(hour, 2, 10, QLatin1Char('0')).arg(minute, 2, 10, QLatin1Char('0')));
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
    const QScreen *screen = QGuiApplication::screenAt(geometry().center());
    if (!screen)
        screen = this->screen();
    missed->move(WindowPositioning::MissedPanelPosition(geometry(), missed->size(),
                                                        screen ? screen->availableGeometry() : QRect()));
}

void MainForm::OpenNotification(const QString &name, const QString &dateText, qint32 dueMinute)
{
    MessageForm::Fire(name, dateText, dueMinute);
    TraceEvent("notification-shown");
    m_rang = true;
}

void MainForm::ShowMissedAlarms()
{
    Shell().CheckShowMissed(true);
    MissedForm *missed = Forms().Get<MissedForm>();
    missed->show();
    show();
    missed->UpdateMissedList();
}

int MainForm::LeftTwips() const
{
    return x() * TwipsPerPixel;
}

int MainForm::TopTwips() const
{
    return y() * TwipsPerPixel;
}

void MainForm::paintEvent(QPaintEvent *)
{
    // The picture is composed off screen and reaches the window in one copy.
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Only a fractional scale (1.5) resamples the double-resolution picture.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, FaceWidth, FaceHeight), m_backBuffer);
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
        Shell().PopupMainMenu();
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
    settingsTouched();
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
    Shell().PopupMainMenu(mapToGlobal(QPoint(width() / 2, height() / 2)));
}

void MainForm::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded)
        Form_Unload(0);
    event->accept();
}

void MainForm::loadPictures(qreal ratio)
{
    const int d = Settings::ReadThemeIndex(Settings::Digits);
    const int f = Settings::ReadThemeIndex(Settings::Face);
    const int b = Artwork::DigitSetBase(d);
    for (int i = 0; i <= 35; ++i)
        ClockPictures[static_cast<size_t>(i)] = Artwork::Bitmap(b + i, ratio).convertToFormat(QImage::Format_RGB32);
    ClockPictures[PictureFace] = Artwork::Bitmap(Artwork::FaceNumber(f), ratio).convertToFormat(QImage::Format_RGB32);
}
