#pragma once

#include "platform/OutputVolume.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <optional>

// Makes a ringing alarm heard: while the program rings, the output its sound
// plays on is unmuted and, where quieter than the alarm volume, raised to it.
// When the ring ends the user's own mute and volume are put back, unless the
// user changed them meanwhile (then theirs stay). What must be put back is
// written to a small file first, so a copy killed mid-ring has it put back
// at the next start. The sound server is talked to on a worker thread, one
// job at a time and each bounded, so a server that hangs never holds up the
// clock. No sound server: nothing changes and nothing is shown.
class RingVolume : public QObject
{
    Q_OBJECT

public:
    // percent: the alarm volume, 1-100, or 0 to leave the output alone.
    RingVolume(const QString &restoreFile, int percent, QObject *parent = nullptr);
    ~RingVolume() override;

    // The ring began.
    void Raise();
    // The ring ended. programEnding: put back before returning (a second or
    // two at most), as nothing runs after the program has ended.
    void PutBack(bool programEnding = false);
    // What a copy that ended mid-ring left to put back; once, at start.
    void PutBackLeftOver();
    // A new alarm volume, from now on; during a ring 0 puts back at once and
    // a louder one raises further.
    void SetPercent(int percent);

    // What an output is made while ringing at percent: unmuted and its
    // loudest channel at least percent, the balance kept. Nothing when it is
    // so already or percent is 0.
    static std::optional<OutputVolume::State> Ringing(const OutputVolume::State &now, int percent);
    // Whether the output is still as the ring set it (the server may round a
    // volume by a little), so that the user's own may be put back.
    static bool AsRingLeftIt(const OutputVolume::State &now, const OutputVolume::State &set);

    struct Change
    {
        QByteArray output;
        OutputVolume::State before, set;
    };
    static QByteArray Encode(const QList<Change> &changes);
    static QList<Change> Decode(const QByteArray &text);

private:
    void raise(int percent);
    void putBack();
    bool save();

    const QString m_file;
    int m_percent;
    bool m_ringing = false;
    // One thread at most, started for a job and gone a while after.
    QThreadPool m_pool;
    // Only the jobs touch these, and they run one after another.
    QList<Change> m_changes;
    bool m_leftOverRead = false;
};
