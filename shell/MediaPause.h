#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

// Pauses the media players that are playing when the program starts to ring
// (MPRIS, org.mpris.MediaPlayer2.* on the session bus) and plays them again
// when the ring ends. A player is played again only if it is still "Paused" as
// the ring left it: one the user started again or stopped meanwhile is the
// user's, and stays as it is. Players are told apart by their unique bus name,
// so a player that quit and came back under the same name is not touched.
// Asynchronous throughout; no session bus or no player: nothing happens.
class MediaPause : public QObject
{
    Q_OBJECT

public:
    explicit MediaPause(QObject *parent = nullptr);

    void PausePlaying();
    // programEnding: asked and played while waiting (half a second each at
    // most), as no event loop is left to hear the answers.
    void PlayPaused(bool programEnding = false);

private:
    void pauseIfPlaying(const QString &name, quint64 round);
    void playNow(const QStringList &players);

    QDBusConnection m_session{QString()}; // connected at the first ring
    quint64 m_round = 0;
    bool m_ringing = false;
    QStringList m_paused;   // unique names of the players this program paused
    QStringList m_resuming; // asked whether to play again, not answered yet
};
