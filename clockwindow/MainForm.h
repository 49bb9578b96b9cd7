#pragma once

#include "clockwindow/ClockFace.h"
#include "clockwindow/ClockSaving.h"
#include "clockwindow/WakeScheduler.h"
#include "engine/AlarmWindows.h"
#include "engine/Settings.h"
#include "engine/TimingModule.h"
#include "platform/MinuteWaker.h"

#include <QTimer>
#include <QWidget>
#include <memory>

class RegionData;

// The clock window and the program's start-up object: loading it starts the
// program, unloading it (closing) ends it.
class MainForm : public QWidget, public AlarmWindows
{
    Q_OBJECT

public:
    static constexpr int FaceWidth = 200;
    static constexpr int FaceHeight = 70;
    static constexpr int TwipsPerPixel = 15;
    static constexpr int RefreshInterval = 100;
    // The longest a changed position or visibility waits for the disk.
    static constexpr int SaveInterval = ClockSaving::SaveInterval;
    // The longest the stored last check lags the one in memory at idle.
    static constexpr qint32 LastCheckSaveMinutes = ClockSaving::LastCheckSaveMinutes;
    static inline const QString ToolTipText = QStringLiteral("Right-click for the menu; drag to move.");

    MainForm();
    ~MainForm() override;

    // Everything from emptying the missed list to the catch-up of missed
    // minutes. Returns false with a message when the alarms cannot be read.
    bool Form_Load(QString *error = nullptr);
    // Saves the settings now (the disk is left alone when nothing changed).
    void SaveNow();
    // Saves the settings, releases the drawing resources and unloads the
    // menus and the missed panel.
    void Form_Unload();
    // Loaded and not yet unloaded: the clock runs and has settings to keep.
    bool IsRunning() const { return m_running; }
    // Whether the computer is woken from sleep for the next alarm.
    void SetWakeFromSuspend(bool on);
    const WakeScheduler &Wake() const { return m_wake; }

    void RefreshTimer_Timer();
    void SaveTimer_Timer();

    // Something happened that the settings on disk may lag behind.
    void SaveWhenDue(ClockSaving::Cause cause);

    void PositionMissedForm();

    // AlarmWindows
    void OpenNotification(const QString &name, const QString &dateText, qint32 dueMinute,
                          const QString &alarmId) override;
    void ShowMissedAlarms() override;
    void MissedAlarmsChanged() override;

    // Read by tests and by the accessibility of the clock.
    const QImage &BackBuffer() const { return m_face.BackBuffer(); }
    int SegmentLevel(int p, int s) const { return m_face.SegmentLevel(p, s); }
    bool IsDragging() const { return Dragging; }
    QTimer *RefreshTimer() { return &m_refreshTimer; }
    QTimer *SaveTimer() { return m_saving.Timer(); }
    MinuteWaker *Waker() { return &m_waker; }

    // Window position in twips, as stored under "X" and "Y".
    int LeftTwips() const { return x() * TwipsPerPixel; }
    int TopTwips() const { return y() * TwipsPerPixel; }

protected:
    bool event(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

signals:
    // The clock runs: its menus and tray icon are wanted; and it stopped.
    void loaded();
    void unloaded();
    // The right button or the menu key asks for the main menu at a point.
    void mainMenuRequested(const QPoint &at);
    // Once a minute, as the clock goes back to sleep after examining it, and
    // after the table was saved: what shows the next alarm looks again.
    void minuteChecked();

private:
    void endDrag();
    void updateAccessibleTime(int hour, int minute);
    void scheduleNextTick(const QDateTime &now, bool busy);
    void tickSoon();
    ClockSaving::State savingState() const;

    // Where the program last put the clock, and whether the window system's
    // first report after showing it is still to be checked against that.
    QPoint m_placed;
    bool m_confirmPlacement = false;

    ClockFace m_face;
    WakeScheduler m_wake;
    int DragX = 0;
    int DragY = 0;
    bool Dragging = false;
    std::unique_ptr<RegionData> WindowShape;
    QTimer m_refreshTimer;
    ClockSaving m_saving{[this] { SaveTimer_Timer(); }};
    MinuteWaker m_waker{TimingModule::Now};
    bool m_running = false;
    bool m_unloaded = false;
    int m_accessibleMinute = -1;
    bool m_painted = false;
    bool m_rang = false;
    bool m_quickTicks = false;
};
