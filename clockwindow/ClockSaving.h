#pragma once

#include "engine/Settings.h"

#include <QPoint>
#include <QTimer>
#include <functional>

// When the clock's four settings reach the disk: the one place that decides.
// A ring and a save of the alarms write at once (after a crash a rung alarm
// must not come back as missed, nor one just added for a minute already
// past); a move, a show or a hide waits at most SaveInterval, later changes
// riding on the first wait; the last check alone, which moves every minute,
// is written at most once an hour on a wake-up the clock has anyway (a stale
// one loses nothing: the next start merely examines quiet minutes again).
class ClockSaving
{
public:
    enum class Cause { Rang, AlarmsSaved, PlaceOrVisibility, MinuteChecked };

    static constexpr int SaveInterval = 30000;
    static constexpr qint32 LastCheckSaveMinutes = 60;

    // What is to be stored (the last check, the place in twips, whether
    // shown), and where the clock stands and whether it shows.
    struct State
    {
        qint32 lastCheck;
        QPoint twips;
        QPoint pos;
        bool visible;
    };

    // write runs a save (at once, or from the timer).
    explicit ClockSaving(std::function<void()> write);

    // The clock stands where it was stored: only changes from here count.
    void Loaded(const State &now)
    {
        m_storedPos = now.pos;
        m_storedVisible = now.visible;
    }
    void When(Cause cause, const State &now);
    // Writes the state; unless forced, skips the disk when nothing changed
    // since the last write.
    void Save(const State &now, bool force);
    void Stop() { m_timer.stop(); }

    QTimer *Timer() { return &m_timer; }

private:
    QTimer m_timer;
    std::function<void()> m_write;
    Settings::Values m_saved;
    qint32 m_savedLastCheck = 0;
    QPoint m_storedPos;
    bool m_storedVisible = false;
};
