#pragma once

#include "engine/AlarmRule.h"

// The occurrences of an alarm's rule, as libical expands RFC 5545 rules: the
// engine asks through AlarmRule::Expander, which this installs.
class Recurrence : public AlarmRule::Expander
{
public:
    static const Recurrence &Instance();
    // Makes Instance() the engine's expander.
    static void Install();

    // Refused: no frequency, one more often than daily, COUNT below 1 or no
    // number, an UNTIL that is no date, an INTERVAL below 1, a part no
    // calendar knows.
    QString Refusal(const QString &recur) const override;
    QList<QDateTime> Starts(const QString &recur, const QDateTime &start, const QDateTime &from,
                            int count) const override;
};
