#include "clockwindow/ClockSaving.h"

ClockSaving::ClockSaving(std::function<void()> write)
    : m_write(std::move(write))
{
    // Armed only when a saved value changed, so an idle clock is not woken
    // by it.
    m_timer.setSingleShot(true);
    m_timer.setInterval(SaveInterval);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { m_write(); });
}

void ClockSaving::When(Cause cause, const State &now)
{
    switch (cause) {
    case Cause::Rang:
    case Cause::AlarmsSaved:
        m_write();
        return;
    case Cause::PlaceOrVisibility:
        // The window system reports the place given at start-up as a move
        // too; only a real change is worth a wake-up.
        if (!m_timer.isActive() && (now.pos != m_storedPos || now.visible != m_storedVisible))
            m_timer.start(SaveInterval);
        return;
    case Cause::MinuteChecked: {
        // Just after this tick rather than inside it.
        const qint32 unsaved = now.lastCheck - m_savedLastCheck;
        if ((unsaved >= LastCheckSaveMinutes || unsaved < 0) && !m_timer.isActive())
            m_timer.start(0);
        return;
    }
    }
}

void ClockSaving::Save(const State &now, bool force)
{
    const Settings::Values values{
        {Settings::LastCheck, QString::number(now.lastCheck)},
        {Settings::X, QString::number(now.twips.x())},
        {Settings::Y, QString::number(now.twips.y())},
        {Settings::Visible, now.visible ? QStringLiteral("True") : QStringLiteral("False")},
    };
    if (force || values != m_saved) {
        QString problem;
        if (Settings::Write(values, &problem))
            m_saved = values;
        else
            Settings::ReportWriteFailure(problem);
    }
    m_savedLastCheck = now.lastCheck;
    m_storedPos = now.pos;
    m_storedVisible = now.visible;
}
