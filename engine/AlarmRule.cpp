#include "engine/AlarmRule.h"

#include "engine/AlarmWords.h"
#include "engine/TimingModule.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace {

const AlarmRule::Expander *expander = nullptr;

// Wall-clock readings are written as "YYYY-MM-DDTHH:MM", nothing finer.
QString wallText(const QDateTime &wall)
{
    return wall.toString(QStringLiteral("yyyy-MM-ddTHH:mm"));
}

QDateTime wallOf(const QJsonValue &value)
{
    QDateTime wall = QDateTime::fromString(value.toString(), QStringLiteral("yyyy-MM-ddTHH:mm"));
    wall.setTimeSpec(Qt::UTC);
    return wall;
}

QJsonArray wallArray(const QList<QDateTime> &walls)
{
    QJsonArray array;
    for (const QDateTime &wall : walls)
        array.append(wallText(wall));
    return array;
}

QList<QDateTime> wallsOf(const QJsonValue &value)
{
    QList<QDateTime> walls;
    for (const QJsonValue &item : value.toArray()) {
        const QDateTime wall = wallOf(item);
        if (wall.isValid())
            walls.append(wall);
    }
    return walls;
}

// Zones are read once: a zone's file is parsed on construction.
QTimeZone zoneNamed(const QString &name)
{
    static QHash<QString, QTimeZone> zones;
    auto found = zones.find(name);
    if (found == zones.end())
        found = zones.insert(name, QTimeZone(name.toUtf8()));
    return found.value();
}

bool takenAway(const AlarmRule &rule, const QDateTime &wall)
{
    if (rule.skipped.contains(wall))
        return true;
    for (const auto &[original, to] : rule.moved) {
        Q_UNUSED(to);
        if (original == wall)
            return true;
    }
    return false;
}

// The first occurrence at or after `from`, on the rule's wall clock; invalid
// for none.
QDateTime firstFrom(const AlarmRule &rule, const QDateTime &from)
{
    QDateTime best;
    const auto take = [&](const QDateTime &wall) {
        if (wall.isValid() && wall >= from && (!best.isValid() || wall < best) && !rule.skipped.contains(wall))
            best = wall;
    };
    for (const QDateTime &wall : rule.added)
        take(wall);
    for (const auto &[original, to] : rule.moved) {
        Q_UNUSED(original);
        take(to);
    }
    if (rule.recur.isEmpty()) {
        if (!takenAway(rule, rule.start))
            take(rule.start);
        return best;
    }
    if (!expander)
        return best;
    // Asked a few at a time: skipped dates may come first.
    constexpr int Batch = 8;
    QDateTime cursor = from < rule.start ? rule.start : from;
    for (int round = 0; round < 64; ++round) {
        if (best.isValid() && cursor >= best)
            break;
        const QList<QDateTime> starts = expander->Starts(rule.recur, rule.start, cursor, Batch);
        for (const QDateTime &wall : starts) {
            if (!takenAway(rule, wall)) {
                take(wall);
                return best;
            }
        }
        if (starts.size() < Batch)
            break;
        cursor = starts.constLast().addSecs(60);
    }
    return best;
}

} // namespace

QString AlarmRule::Encode() const
{
    QJsonObject object;
    object.insert(QStringLiteral("start"), wallText(start));
    if (!recur.isEmpty())
        object.insert(QStringLiteral("recur"), recur);
    if (!zone.isEmpty())
        object.insert(QStringLiteral("zone"), zone);
    if (!skipped.isEmpty())
        object.insert(QStringLiteral("skipped"), wallArray(skipped));
    if (!added.isEmpty())
        object.insert(QStringLiteral("added"), wallArray(added));
    if (!moved.isEmpty()) {
        QJsonArray pairs;
        for (const auto &[original, to] : moved)
            pairs.append(QJsonArray{wallText(original), wallText(to)});
        object.insert(QStringLiteral("moved"), pairs);
    }
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

AlarmRule AlarmRule::Decode(const QString &text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return {};
    const QJsonObject object = document.object();
    AlarmRule rule;
    rule.start = wallOf(object.value(QStringLiteral("start")));
    if (!rule.start.isValid())
        return {};
    rule.recur = object.value(QStringLiteral("recur")).toString();
    rule.zone = object.value(QStringLiteral("zone")).toString();
    rule.skipped = wallsOf(object.value(QStringLiteral("skipped")));
    rule.added = wallsOf(object.value(QStringLiteral("added")));
    for (const QJsonValue &pair : object.value(QStringLiteral("moved")).toArray()) {
        const QJsonArray both = pair.toArray();
        const QDateTime original = wallOf(both.at(0));
        const QDateTime to = wallOf(both.at(1));
        if (original.isValid() && to.isValid())
            rule.moved.append({original, to});
    }
    return rule;
}

QDateTime AlarmRule::MomentOf(const QDateTime &wall) const
{
    const QTimeZone tz = zone.isEmpty() ? QTimeZone::systemTimeZone() : zoneNamed(zone);
    for (int step = 0; step < 180; ++step) {
        const QDateTime shifted = wall.addSecs(60 * step);
        const QDateTime moment = zone.isEmpty() ? QDateTime(shifted.date(), shifted.time(), Qt::LocalTime)
                                                : QDateTime(shifted.date(), shifted.time(), tz);
        if (moment.isValid())
            return moment;
    }
    return {};
}

namespace {

// The first occurrence that rings after local minute `after`: its start on the
// rule's clock and the local minute it rings in.
std::pair<QDateTime, qint32> nextRing(const AlarmRule &rule, qint32 after)
{
    if (rule.IsEmpty())
        return {{}, -1};
    if (rule.zone.isEmpty()) {
        const QDateTime wall = firstFrom(rule, TimingModule::MinuteMoment(after + 1));
        return {wall, wall.isValid() ? TimingModule::MinuteOf(wall) : -1};
    }
    // Another zone's clock: looked at from a day before, its occurrences are
    // turned into the local wall-clock minutes they ring in.
    const QTimeZone tz = zoneNamed(rule.zone);
    if (!tz.isValid())
        return {{}, -1};
    const QDateTime localWall = TimingModule::MinuteMoment(after + 1);
    const QDateTime real = QDateTime(localWall.date(), localWall.time(), Qt::LocalTime).toTimeZone(tz);
    QDateTime cursor =
        real.isValid() ? QDateTime(real.date(), real.time(), Qt::UTC).addDays(-1) : localWall.addDays(-2);
    for (int tries = 0; tries < 200; ++tries) {
        const QDateTime wall = firstFrom(rule, cursor);
        if (!wall.isValid())
            return {{}, -1};
        const QDateTime moment = rule.MomentOf(wall);
        const qint32 minute = moment.isValid() ? TimingModule::MinuteOf(moment.toLocalTime()) : -1;
        if (minute > after)
            return {wall, minute};
        cursor = wall.addSecs(60);
    }
    return {{}, -1};
}

} // namespace

qint32 AlarmRule::NextMinute(qint32 after) const
{
    return nextRing(*this, after).second;
}

QDateTime AlarmRule::NextStart(qint32 after) const
{
    return nextRing(*this, after).first;
}

QList<QDateTime> AlarmRule::StartsOn(const QDate &date) const
{
    QList<QDateTime> starts;
    QDateTime cursor(date, QTime(0, 0), Qt::UTC);
    for (int k = 0; k < 48; ++k) {
        const QDateTime wall = firstFrom(*this, cursor);
        if (!wall.isValid() || wall.date() != date)
            break;
        starts.append(wall);
        cursor = wall.addSecs(60);
    }
    return starts;
}

bool AlarmRule::ToKind(AlarmRecord *record) const
{
    int weekDay = 0;
    const int kind = zone.isEmpty() && skipped.isEmpty() && added.isEmpty() && moved.isEmpty()
                         ? AlarmWords::KindOfRule(recur, &weekDay)
                         : -1;
    if (kind < 0)
        return false;
    record->AlarmType = static_cast<quint8>(kind);
    record->Hour = static_cast<quint8>(start.time().hour());
    record->Minute = static_cast<quint8>(start.time().minute());
    record->WeekDay = static_cast<quint8>(weekDay);
    return true;
}

void AlarmRule::StandIn(AlarmRecord *record, qint32 after) const
{
    const qint32 next = NextMinute(after);
    // A rule that rings no more stands in as a day long gone, which no copy
    // rings or reports missed.
    const QDateTime local = TimingModule::MinuteMoment(next >= 0 ? next : 0);
    record->AlarmType = AlarmRecord::OnceOnly;
    record->Hour = static_cast<quint8>(local.time().hour());
    record->Minute = static_cast<quint8>(local.time().minute());
    record->WeekDay = 0;
    record->Day = static_cast<quint8>(local.date().day());
    record->Month = static_cast<quint8>(local.date().month());
    record->Year = static_cast<qint16>(local.date().year());
}

void AlarmRule::SetExpander(const Expander *e)
{
    expander = e;
}

const AlarmRule::Expander *AlarmRule::CurrentExpander()
{
    return expander;
}
