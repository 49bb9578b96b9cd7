#pragma once

#include "engine/AlarmRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <utility>

// When an alarm rings, where its Alarms.dat record cannot say: any days, every
// N days or weeks, monthly, yearly, an end, skipped, moved and added dates, a
// time zone of its own. A rule is kept with the alarm's identity; an alarm
// without one rings by its record's kind, as ever.
//
// Times of a rule are readings of its own wall clock (the zone's, or the
// user's local one when it has none), held as QDateTime in UTC so that no
// reading falls into a daylight-saving gap; MomentOf() turns one into a real
// moment.
struct AlarmRule
{
    QString recur;            // RFC 5545 RECUR text ("FREQ=WEEKLY;BYDAY=MO,WE"); empty: rings once, at start
    QDateTime start;          // the first occurrence, on the rule's wall clock
    QString zone;             // an IANA zone; empty: the user's local time
    QList<QDateTime> skipped; // occurrences that do not ring (their original start)
    QList<QDateTime> added;   // occurrences beyond the rule's own
    QList<std::pair<QDateTime, QDateTime>> moved; // an occurrence's original start, and where it rings instead

    bool operator==(const AlarmRule &) const = default;
    bool IsEmpty() const { return !start.isValid(); }

    // One line of compact JSON (no tab, no line break), and back; a damaged
    // text gives an empty rule.
    QString Encode() const;
    static AlarmRule Decode(const QString &text);

    // The real moment of a reading of the rule's wall clock; for a reading the
    // clock skips, the moment it jumps past it.
    QDateTime MomentOf(const QDateTime &wall) const;

    // The first local wall-clock minute (TimingModule's) after `after` in
    // which the rule rings, or -1 when it never will again.
    qint32 NextMinute(qint32 after) const;
    // The start of that occurrence on the rule's own clock; invalid for none.
    QDateTime NextStart(qint32 after) const;
    // The starts of the occurrences on a date of the rule's own clock.
    QList<QDateTime> StartsOn(const QDate &date) const;

    // What Alarms.dat holds for an alarm of this rule: a one-off record at its
    // next ring after minute `after`, so that a copy of the program that knows
    // no rules rings it, if at all, at a moment the rule has; at its start,
    // long gone, when it rings no more. Name and Disabled are left as they are.
    void StandIn(AlarmRecord *record, qint32 after) const;
    // Whether one of the four kinds says the rule exactly (the local clock, no
    // date skipped, added or moved): then the record is given that kind, time
    // and day, and needs no rule.
    bool ToKind(AlarmRecord *record) const;

    // Where the rule's occurrences come from: libical, which the engine does
    // not link; the program and the tests install it.
    class Expander
    {
    public:
        virtual ~Expander() = default;
        // Why RECUR text cannot be an alarm's rule; empty when it can.
        virtual QString Refusal(const QString &recur) const = 0;
        // The starts of up to `count` occurrences at or after `from` of a rule
        // that begins at `start`, in order, on the rule's wall clock.
        virtual QList<QDateTime> Starts(const QString &recur, const QDateTime &start, const QDateTime &from,
                                        int count) const = 0;
    };
    static void SetExpander(const Expander *expander);
    static const Expander *CurrentExpander();
};
