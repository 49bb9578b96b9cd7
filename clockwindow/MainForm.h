#pragma once

#include "clockwindow/MinuteWaker.h"
#include "engine/AlarmWindows.h"
#include "ui/Settings.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <array>
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
    static constexpr int SaveInterval = 30000;
    // The longest the stored last check lags the one in memory at idle.
    static constexpr qint32 LastCheckSaveMinutes = 60;
    static inline const QString ToolTipText = QStringLiteral("Right-click for the menu; drag to move.");

    MainForm();
    ~MainForm() override;

    // Everything from emptying the missed list to the catch-up of missed
    // minutes. Returns false with a message when the alarms cannot be read.
    bool Form_Load(QString *error = nullptr);
    // Saves the settings; with Cancel 0 also releases the drawing resources
    // and unloads the menus and the missed panel.
    void Form_Unload(int Cancel);

    void RefreshTimer_Timer();
    void SaveTimer_Timer();

    void InitSegmentPatterns();
    void StepDigit(int p, int digit);
    void DrawFace();
    void DrawDigit(int p);
    void DrawColon();

    void PositionMissedForm();

    // AlarmWindows
    void OpenNotification(const QString &name, const QString &dateText, qint32 dueMinute) override;
    void ShowMissedAlarms() override;

    // Read by tests and by the accessibility of the clock.
    const QImage &BackBuffer() const { return m_backBuffer; }
    int SegmentLevel(int p, int s) const { return SegmentLevels[p][s]; }
    bool IsDragging() const { return Dragging; }
    QTimer *RefreshTimer() { return &m_refreshTimer; }
    QTimer *SaveTimer() { return &m_saveTimer; }
    MinuteWaker *Waker() { return &m_waker; }

    // Window position in twips, as stored under "X" and "Y".
    int LeftTwips() const;
    int TopTwips() const;

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

private:
    void endDrag();
    void reportSaveFailure(const QString &problem);
    void loadPictures(qreal ratio);
    void updateAccessibleTime(int hour, int minute);
    void scheduleNextTick(const QDateTime &now, bool busy);
    void tickSoon();
    bool digitsSettled(int hour, int minute) const;
    void settingsTouched();

    // Where the program last put the clock, and whether the window system's
    // first report after showing it is still to be checked against that.
    QPoint m_placed;
    bool m_confirmPlacement = false;

    std::array<QImage, 37> ClockPictures;
    std::array<quint8, 10> SegmentPatterns{};
    quint8 SegmentLevels[4][7] = {};
    QImage m_backBuffer;
    // Kept open on the back buffer from start-up to unload, so a tick creates
    // no drawing objects.
    QPainter BackDC;
    int DragX = 0;
    int DragY = 0;
    bool Dragging = false;
    std::unique_ptr<RegionData> WindowShape;
    QTimer m_refreshTimer;
    QTimer m_saveTimer;
    MinuteWaker m_waker;
    bool m_running = false;
    qint32 m_savedLastCheck = 0;
    QPoint m_storedPos;
    bool m_storedVisible = false;
    bool m_levelsChanged = true;
    bool m_unloaded = false;
    int m_accessibleMinute = -1;
    bool m_painted = false;
    Settings::Values m_savedSettings;
    bool m_rang = false;
    bool m_saveFailureReported = false;
};
