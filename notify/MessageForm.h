#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QMenu;
class QTimer;

// The notification of one due alarm: a borderless 400 x 100 window in the middle
// of the screen that chimes for its first minute and, left alone for five
// minutes, closes itself and reports the alarm as missed. Every due alarm gets a
// window of its own; each deletes itself when closed.
class MessageForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int FormWidth = 400;
    static constexpr int FormHeight = 100;
    static constexpr int DefaultAlertInterval = 5000;
    static constexpr int ChimeRounds = 12;     // rounds 1-12 chime: 0 s to 55 s
    static constexpr int UnansweredRound = 61; // the 60th timer tick: 300 s

    // Opens the notification of an alarm: loads the window (first chime at
    // once), sets the name, the time text and the due minute, shows it centred
    // (further down and right while others are open) and raises it once,
    // without taking the keyboard focus.
    // The alarm's identity goes with a snooze, so that removing the alarm
    // cancels it.
    static MessageForm *Fire(const QString &name, const QString &dateText, qint32 dueMinute,
                             const QString &alarmId = QString());

    // What a command does to every open notification: snoozed for that many
    // minutes, or closed. Each returns how many it closed.
    static int SnoozeAll(int minutes);
    static int DismissAll();

    // Tests (and TOCKWISE_ALERT_INTERVAL) shorten the 5000 ms of windows
    // created afterwards; 0 or less restores it.
    static void SetAlertInterval(int milliseconds);

    // Creating the window loads it: AlertTicks 0 and the first round of the
    // alert handler, which chimes.
    explicit MessageForm(QWidget *parent = nullptr);

    void AlertTimer_Timer();
    void CloseButton_Click();
    // Puts the alarm off for that many real minutes: the window closes, its
    // chime stops at once, and no missed line is written; when the time is up
    // a notification of the same alarm opens again.
    void Snooze(int minutes);

    static inline const QString ToolTipText = QStringLiteral("Right-click to snooze. X to dismiss.");
    // "S" (once the user has clicked or switched to it) snoozes this long.
    static constexpr int SnoozeKeyMinutes = 10;
    // The right button's menu: the snooze lengths, a line, "Dismiss".
    QMenu *SnoozeMenu = nullptr;

    // The minute in which the alarm fell due, as decimal text.
    QString Tag() const { return m_tag; }
    void SetTag(const QString &tag) { m_tag = tag; }

    // Rounds of the alert handler so far, the one at load included.
    qint32 AlertTicks = 0;

    QLabel *Label1 = nullptr;
    QLabel *CloseButton = nullptr;
    QFrame *Line1 = nullptr;
    QLabel *DateLabel = nullptr;
    QLabel *MessageLabel = nullptr;
    QTimer *AlertTimer = nullptr;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void PlaceAmongOpenNotifications();

    QPixmap m_background;
    QString m_tag;
    QString m_alarmId;
    int m_cascadeStep = 0; // how many steps down and right of the middle it opened
    bool m_closeButtonPressed = false;
    // Escape and Enter close the window only once the user clicked it, or
    // switched to it after it had opened.
    bool m_reachedByUser = false;
    QElapsedTimer m_shown;
    // Sooner than this after showing, an activation is the window manager's.
    static constexpr qint64 ActivationGraceMs = 500;
};
