#pragma once

#include <QObject>
#include <functional>

// The ways a desktop session ends a program: SIGTERM (systemd, most session
// managers), SIGHUP (the terminal or the session going away), SIGINT (Ctrl+C)
// and the session manager's request to save. Each reaches the event loop as a
// plain call, where the clock can save and close as it does from its menu.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    // onSignal: end the program; onSaveRequest: save and go on (the session
    // manager may still cancel the logout).
    SessionEnd(std::function<void()> onSignal, std::function<void()> onSaveRequest);
    ~SessionEnd() override;

private:
    std::function<void()> m_onSignal;
};
