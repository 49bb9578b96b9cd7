#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// The per-user settings: application "hqz", group "Digital Clock". Every key
// with its default lives in the table in Settings.cpp.
class Settings
{
public:
    enum Key { Digits, Face, LastCheck, X, Y, Visible };

    static QString KeyName(Key key);

    // The stored text, or the default text when the key is absent. Keys whose
    // default depends on the moment or the screen take it from the caller.
    static QString Read(Key key, const QString &defaultText = QString());
    static void Write(Key key, const QString &text);
    // Several keys in one pass over the file. False, with the file and the
    // reason in problem, when they could not be stored.
    using Values = QList<QPair<Key, QString>>;
    static bool Write(const Values &values, QString *problem = nullptr);

    // The longest leading decimal number of the text, 0 when there is none:
    // " 12abc" is 12, "-3.5" is -3.5, "abc" is 0. Found tells whether the
    // text held a finite number at all.
    static double LenientNumber(const QString &text, bool *found = nullptr);

    // A stored "Digits" or "Face" outside 0-3 names no pictures: it counts as 0.
    static int ReadThemeIndex(Key key);
    // "True"/"False" or a number, non-zero meaning true; anything else is true.
    static bool ReadVisible();
};
