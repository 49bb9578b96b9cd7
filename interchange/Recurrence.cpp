#include "interchange/Recurrence.h"

#include <QStringList>

#include <libical/ical.h>

namespace {

icaltimetype icalOf(const QDateTime &wall)
{
    icaltimetype t = icaltime_null_time();
    t.year = wall.date().year();
    t.month = wall.date().month();
    t.day = wall.date().day();
    t.hour = wall.time().hour();
    t.minute = wall.time().minute();
    t.second = 0;
    t.is_date = 0;
    return t;
}

QDateTime wallOf(const icaltimetype &t)
{
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute), Qt::UTC);
}

bool isNumber(const QString &text, qlonglong *value)
{
    bool ok = false;
    *value = text.trimmed().toLongLong(&ok);
    return ok;
}

// The parts RFC 5545 gives a rule.
const QStringList Parts = {QStringLiteral("FREQ"),      QStringLiteral("UNTIL"),    QStringLiteral("COUNT"),
                           QStringLiteral("INTERVAL"),  QStringLiteral("BYSECOND"), QStringLiteral("BYMINUTE"),
                           QStringLiteral("BYHOUR"),    QStringLiteral("BYDAY"),    QStringLiteral("BYMONTHDAY"),
                           QStringLiteral("BYYEARDAY"), QStringLiteral("BYWEEKNO"), QStringLiteral("BYMONTH"),
                           QStringLiteral("BYSETPOS"),  QStringLiteral("WKST")};

// An occurrence more than this many years after the one asked from is none:
// a rule that can never fall due (30 February) ends the search.
constexpr int SearchYears = 30;

} // namespace

const Recurrence &Recurrence::Instance()
{
    static const Recurrence recurrence;
    return recurrence;
}

void Recurrence::Install()
{
    AlarmRule::SetExpander(&Instance());
}

QString Recurrence::Refusal(const QString &recur) const
{
    if (recur.trimmed().isEmpty())
        return QStringLiteral("the rule is empty");
    for (const QString &part : recur.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0).trimmed().toUpper();
        const QString value = part.section(QLatin1Char('='), 1);
        qlonglong number = 0;
        if (!Parts.contains(key))
            return QStringLiteral("the rule has a part %1, which no calendar knows").arg(key.left(40));
        if (key == QLatin1String("COUNT") && (!isNumber(value, &number) || number < 1))
            return QStringLiteral("COUNT=%1 is no number of times from 1 up").arg(value.left(40));
        if (key == QLatin1String("INTERVAL") && (!isNumber(value, &number) || number < 1 || number > 1000))
            return QStringLiteral("INTERVAL=%1 is no interval from 1 to 1000").arg(value.left(40));
        if (key == QLatin1String("UNTIL")) {
            const QString until = value.trimmed();
            const bool date = until.size() >= 8 && until.left(8).toInt() > 0 &&
                              QDate::fromString(until.left(8), QStringLiteral("yyyyMMdd")).isValid();
            if (!date)
                return QStringLiteral("UNTIL=%1 is no date").arg(value.left(40));
        }
    }
    const QByteArray text = recur.toUtf8();
    const icalrecurrencetype rule = icalrecurrencetype_from_string(text.constData());
    icalerror_clear_errno();
    switch (rule.freq) {
    case ICAL_DAILY_RECURRENCE:
    case ICAL_WEEKLY_RECURRENCE:
    case ICAL_MONTHLY_RECURRENCE:
    case ICAL_YEARLY_RECURRENCE:
        return {};
    case ICAL_SECONDLY_RECURRENCE:
    case ICAL_MINUTELY_RECURRENCE:
    case ICAL_HOURLY_RECURRENCE:
        return QStringLiteral("the rule repeats more often than daily");
    default:
        return QStringLiteral("the rule %1 cannot be read").arg(recur.left(80));
    }
}

QList<QDateTime> Recurrence::Starts(const QString &recur, const QDateTime &start, const QDateTime &from,
                                    int count) const
{
    QList<QDateTime> starts;
    const QByteArray text = recur.toUtf8();
    icalrecurrencetype rule = icalrecurrencetype_from_string(text.constData());
    icalerror_clear_errno();
    if (rule.freq == ICAL_NO_RECURRENCE || count <= 0 || !start.isValid())
        return starts;
    // An end given as a date takes in the whole of that day, as a person
    // means it (a time of day rule ends at the day's first moment otherwise).
    if (!icaltime_is_null_time(rule.until) && rule.until.is_date) {
        rule.until.is_date = 0;
        rule.until.hour = 23;
        rule.until.minute = 59;
        rule.until.second = 59;
    }
    icalrecur_iterator *iterator = icalrecur_iterator_new(rule, icalOf(start));
    if (!iterator)
        return starts;
    // A rule without COUNT starts at the moment asked from; one with COUNT is
    // counted from its first occurrence.
    if (rule.count == 0 && from > start && !icalrecur_iterator_set_start(iterator, icalOf(from))) {
        icalrecur_iterator_free(iterator);
        return starts;
    }
    const int lastYear = qMax(from.date().year(), start.date().year()) + SearchYears;
    for (int steps = 0; steps < 1000000; ++steps) {
        const icaltimetype next = icalrecur_iterator_next(iterator);
        if (icaltime_is_null_time(next) || next.year > lastYear)
            break;
        const QDateTime wall = wallOf(next);
        if (wall < from)
            continue;
        starts.append(wall);
        if (starts.size() >= count)
            break;
    }
    icalrecur_iterator_free(iterator);
    return starts;
}
