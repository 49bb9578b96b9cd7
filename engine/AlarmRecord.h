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

    // The characters no name may hold (C0 and C1 controls and DEL): a tab or
    // line break would forge lines of --list, an escape reach a terminal raw,
    // and calendars refuse them.
    static bool IsControl(QChar c)
    {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7f && u <= 0x9f);
    }

    // "U+0009" for the first control character of text; empty when it has none.
    static QString ControlCharacterIn(const QString &text)
    {
        for (const QChar c : text) {
            if (IsControl(c))
                return QStringLiteral("U+") +
                       QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        }
        return {};
    }

    // The name as every window shows it and every copy is sent: a control
    // character that an older copy stored becomes a space, so nothing is
    // dropped unseen; leading and trailing blanks removed.
    QString TrimmedName() const
    {
        QString shown = Name;
        for (QChar &c : shown) {
            if (IsControl(c))
                c = QLatin1Char(' ');
        }
        qsizetype begin = 0;
        qsizetype end = shown.size();
        while (begin < end && shown.at(begin) == QLatin1Char(' '))
            ++begin;
        while (end > begin && shown.at(end - 1) == QLatin1Char(' '))
            --end;
        return shown.mid(begin, end - begin);
    }
};
