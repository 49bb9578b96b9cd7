#pragma once

#include <QString>
#include <QtGlobal>

// One alarm as it lives in the table and in a slot of Alarms.dat.
// Flags hold -1 for true and 0 for false, as stored in the file.
struct AlarmRecord
{
    static constexpr int NameLength = 100;

    enum Type : quint8 { OnceOnly = 0, Daily = 1, Weekly = 2, EveryWeekday = 3 };

    qint32 Index = 0;
    // Always NameLength characters: blank-padded by FixedName(); the all-zero
    // placeholder keeps NUL characters, which is what a zeroed slot decodes to.
    QString Name = QString(NameLength, QChar(0));
    quint8 AlarmType = 0;
    quint8 Hour = 0;
    quint8 Minute = 0;
    quint8 WeekDay = 0;
    quint8 Day = 0;
    quint8 Month = 0;
    qint16 Year = 0;
    qint16 Deleted = 0;
    qint16 Disabled = 0;

    bool operator==(const AlarmRecord &) const = default;

    // A name as stored: cut to, or blank-padded up to, NameLength characters.
    static QString FixedName(const QString &name)
    {
        QString fixed = name.left(NameLength);
        fixed.resize(NameLength, QLatin1Char(' '));
        return fixed;
    }

    // The name as every window shows it: leading and trailing blanks removed.
    QString TrimmedName() const
    {
        qsizetype begin = 0;
        qsizetype end = Name.size();
        while (begin < end && Name.at(begin) == QLatin1Char(' '))
            ++begin;
        while (end > begin && Name.at(end - 1) == QLatin1Char(' '))
            --end;
        return Name.mid(begin, end - begin);
    }
};
