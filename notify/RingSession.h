#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

// The program's ring: from the first chime of a due alarm until the last open
// notification closes (X, Dismiss, a snooze, the time-out) or the program ends.
// Several notifications may be open at once; the ring is "at least one rings".
// What must hold while the program rings (the computer kept awake, players
// paused, the output made audible, a bubble on the desktop) connects to
// Started and Ended here rather than to each window.
class RingSession : public QObject
{
    Q_OBJECT

public:
    static RingSession &Instance();

    // A notification started ringing; the first one starts the ring. The ring
    // of a notification ends when End is called for it or it is destroyed.
    void Begin(QObject *notification, const QString &alarmName);
    void End(QObject *notification);
    // The program ends: whatever rings stops with it.
    void EndAll();

    bool Ringing() const { return !m_ringing.isEmpty(); }

signals:
    // The first notification began to ring; alarmName is that alarm's.
    void Started(const QString &alarmName);
    // The last one stopped; programEnding when the program quits with it, so
    // that what must be put back is put back before the event loop is gone.
    void Ended(bool programEnding);
    // One notification began to ring, and its ring ended (closed, whatever
    // closed it, or destroyed); what belongs to each window follows these.
    void NotificationStarted(QObject *notification);
    void NotificationEnded(QObject *notification);

private:
    RingSession() = default;
    void forget(QObject *notification);

    QList<QObject *> m_ringing;
};
