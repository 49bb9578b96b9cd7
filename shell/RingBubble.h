#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class MessageForm;

// Shows each ringing notification on the desktop's notification server as
// well (org.freedesktop.Notifications on the session bus), so that an alarm
// behind a full-screen program or on another workspace is still seen, with
// its Snooze and Dismiss. The bubble follows the window: it goes whenever the
// window closes, while the server taking the bubble away on its own leaves the
// window ringing. Every call is asynchronous; no server: the window alone.
class RingBubble : public QObject
{
    Q_OBJECT

public:
    explicit RingBubble(QObject *parent = nullptr);

    // A notification window began ringing, and its ring ended (the window
    // closed, whatever closed it).
    void Show(QObject *notification);
    void Withdraw(QObject *notification);
    // The program ends: the bubbles still up go now, waiting for each at most
    // half a second, as no event loop is left to send later.
    void WithdrawAll();

    // The keys of the bubble's two actions.
    static inline const QString SnoozeKey = QStringLiteral("snooze");
    static inline const QString DismissKey = QStringLiteral("dismiss");

private slots:
    void actionInvoked(uint id, const QString &key);

private:
    struct Bubble
    {
        const QObject *window = nullptr; // matched even while it is being destroyed
        QPointer<MessageForm> form;
        quint32 id = 0;         // the server's, once it answered
        bool withdrawn = false; // the window closed before the server answered
    };
    void notify(const std::shared_ptr<Bubble> &bubble, const QStringList &capabilities);
    void close(quint32 id, bool wait = false);

    QDBusConnection m_session{QString()}; // connected at the first ring
    bool m_listening = false;
    QList<std::shared_ptr<Bubble>> m_bubbles;
};
