#pragma once

#include <QList>
#include <QPair>
#include <QPoint>
#include <QString>
#include <QVariant>

#include <functional>

// The per-user settings: application "hqz", group "Digital Clock" (the calendar
// server's in a group of their own, "Sync"). Every key with its group and
// default lives in the table in Settings.cpp.
class Settings
{
public:
    enum Key {
        Digits,
        Face,
        LastCheck,
        X,
        Y,
        Visible,
        WakeFromSuspend,
        SyncUrl,
        SyncUser,
        SyncPasswordFile,
        AlarmVolume
    };

    // The stored text, or the default text when the key is absent. Keys whose
    // default depends on the moment or the screen take it from the caller.
    static QString Read(Key key, const QString &defaultText = QString());
    // False, with the file and the reason in problem, when the values could
    // not be stored. Never waits long: a lock it cannot take fails the save.
    using Values = QList<QPair<Key, QString>>;
    static bool Write(const Values &values, QString *problem = nullptr);
    static bool Write(Key key, const QString &text, QString *problem = nullptr);
    // The keys are removed from the file (they read as their defaults again).
    static bool Remove(const QList<Key> &keys, QString *problem = nullptr);
    // Why the settings file cannot be used at all (it is not a plain file),
    // or empty. Then every key reads as its default and nothing is written.
    static QString Unusable();

    // The longest leading decimal number of the text, 0 when there is none:
    // " 12abc" is 12, "-3.5" is -3.5, "abc" is 0. Found tells whether the
    // text held a finite number at all.
    static double LenientNumber(const QString &text, bool *found = nullptr);

    // A stored minute count ("Last Check"): one with no number, or none a
    // minute count can be, is damage and reads as the fallback.
    static qint32 ReadMinute(Key key, qint32 fallback);
    // A stored position in twips ("X", "Y") as pixels. One no window can have
    // (beyond the 16-bit range window systems place windows in) is damage and
    // reads as the default; one merely off the screens is kept (a monitor may
    // be unplugged right now).
    static QPoint ReadPosition(const QPoint &defaultTwips, int twipsPerPixel);

    // A save that failed: a line on standard error each time, and the first
    // time in a run the report through the handler below (the shell's
    // "Tockwise" box, shown from the event loop so the clock runs on).
    static void ReportWriteFailure(const QString &problem);
    // Where the one report of a failed save is shown to the user (the shell
    // puts it in a box); without one it goes to standard error only.
    static void SetWriteFailureHandler(std::function<void(const QString &)> show);

    // A stored "Digits" or "Face" outside 0-3 names no pictures: it counts as 0.
    static int ReadThemeIndex(Key key);
    // "True"/"False" or a number, non-zero meaning true; anything else is true.
    static bool ReadVisible();
    // "Wake From Suspend": only "True" or a non-zero number turns it on.
    static bool ReadWakeFromSuspend();
    // "Alarm Volume": the percentage 1-100 a ringing alarm's output is raised
    // to, 0 when that is turned off. Anything else stored reads as the default.
    static constexpr int DefaultAlarmVolume = 70;
    static int ReadAlarmVolume();

private:
    static bool write(const Values &values, bool remove, QString *problem);
};
