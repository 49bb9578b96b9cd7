#pragma once

#include <QObject>

class QSocketNotifier;

// The signals with which a session ends a program: SIGTERM (systemd, most
// session managers), SIGHUP (the terminal or the session going away) and
// SIGINT (Ctrl+C). Each arrives as `received` in the event loop, where the
// program can save and close as from its menu. Where there are no such
// signals it never fires.
class EndSignals : public QObject
{
    Q_OBJECT

public:
    explicit EndSignals(QObject *parent = nullptr);
    ~EndSignals() override;

    // A write past the file size limit fails like a full disk (the save
    // reports it and keeps the old file) instead of ending the program.
    static void IgnoreFileSizeLimit();

signals:
    void received();

private:
    QSocketNotifier *m_notifier = nullptr;
};
