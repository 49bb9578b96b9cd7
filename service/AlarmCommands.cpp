#include "service/AlarmCommands.h"

#include "engine/AlarmChecking.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWords.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "interchange/ICalendar.h"
#include "interchange/Recurrence.h"
#include "platform/WakeTimer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSet>
#include <QTimeZone>

namespace AlarmCommands {

namespace {

using AlarmWords::FirstDate;
using AlarmWords::LastDate;

NotificationActions &actions()
{
    static NotificationActions value;
    return value;
}

Reply fail(int status, const QString &why)
{
    Reply reply;
    reply.status = status;
    reply.err = QStringLiteral("tockwise: %1\n").arg(why).toUtf8();
    return reply;
}

// What --list and the messages show of an alarm whose rule the kinds cannot
// say: its time on its own clock, its rule in words.
QString ruleDay(const AlarmRule &rule)
{
    const QString city = AlarmWords::ZoneCity(rule.zone);
    return AlarmWords::RuleText(rule) + (city.isEmpty() ? QString() : QStringLiteral(", %1 time").arg(city));
}

QString describe(int index)
{
    const AlarmStore &store = AlarmStore::Instance();
    const AlarmRule &rule = store.RuleOf(index);
    if (rule.IsEmpty())
        return QStringLiteral("%1 %2").arg(index).arg(AlarmWords::Describe(store.At(index)));
    const AlarmRecord &a = store.At(index);
    return QStringLiteral("%1 \"%2\" (custom %3 %4%5)")
        .arg(index)
        .arg(a.TrimmedName(), AlarmWords::Time(rule.start.time().hour(), rule.start.time().minute()), ruleDay(rule),
             a.Disabled != 0 ? QStringLiteral(", disabled") : QString());
}

// The alarm number a word names, or 0: the placeholder is no alarm.
int alarmNumber(const QString &word)
{
    const int n = ParseNumber(word);
    return AlarmStore::Instance().Holds(n) ? n : 0;
}

Reply list()
{
    Reply reply;
    const AlarmStore &store = AlarmStore::Instance();
    for (int i = 1; i < store.Records().size(); ++i) {
        const AlarmRecord &a = store.At(i);
        const AlarmRule &rule = store.RuleOf(i);
        const QDateTime snoozed = Snoozes::EndFor(store.IdOf(i));
        const bool custom = !rule.IsEmpty();
        reply.out +=
            QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
                .arg(i)
                .arg(custom ? QStringLiteral("custom") : AlarmWords::KindName(a.AlarmType),
                     custom ? AlarmWords::Time(rule.start.time().hour(), rule.start.time().minute())
                            : AlarmWords::Time(a.Hour, a.Minute),
                     custom ? ruleDay(rule) : AlarmWords::DayText(a),
                     a.Disabled != 0 ? QStringLiteral("disabled") : QStringLiteral("enabled"), a.TrimmedName(),
                     snoozed.isValid() ? snoozed.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString())
                .toUtf8();
    }
    return reply;
}

// Why a name cannot be an alarm's; empty when it can.
QString nameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("an alarm needs a name");
    if (const QString control = AlarmRecord::ControlCharacterIn(name); !control.isEmpty())
        return QStringLiteral("the name holds a control character (%1), which an alarm name cannot hold").arg(control);
    if (name.size() > AlarmRecord::NameLength)
        return QStringLiteral("the name is longer than %1 characters").arg(AlarmRecord::NameLength);
    if (const QString stored = AlarmHandling::StorableName(name); stored != name) {
        qsizetype at = 0;
        while (at < name.size() && at < stored.size() && name.at(at) == stored.at(at))
            ++at;
        const char32_t c = name.at(at).isHighSurrogate() && at + 1 < name.size()
                               ? QChar::surrogateToUcs4(name.at(at), name.at(at + 1))
                               : name.at(at).unicode();
        return QStringLiteral("the name holds \"%1\" (U+%2), which an alarm name cannot hold: only letters of "
                              "Western European languages can be stored")
            .arg(QString::fromUcs4(&c, 1), QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    }
    return {};
}

// HH:MM as hour and minute; false for anything else.
bool parseTime(const QString &text, int *hour, int *minute)
{
    const QStringList time = text.split(QLatin1Char(':'));
    *hour = time.size() == 2 && time.at(0).size() <= 2 ? ParseNumber(time.at(0)) : -1;
    *minute = time.size() == 2 && time.at(1).size() == 2 ? ParseNumber(time.at(1)) : -1;
    return *hour >= 0 && *hour <= 23 && *minute >= 0 && *minute <= 59;
}

// YYYY-MM-DD in 2000-2050; a usage error otherwise.
QString parseDate(const QString &day, QDate *date)
{
    *date = QDate::fromString(day, QStringLiteral("yyyy-MM-dd"));
    const bool digits = day.size() == 10 && ParseNumber(day.left(4)) >= 0 && ParseNumber(day.mid(5, 2)) >= 0 &&
                        ParseNumber(day.right(2)) >= 0;
    if (!date->isValid() || !digits)
        return QStringLiteral("'%1' is no date YYYY-MM-DD").arg(day);
    if (*date < FirstDate || *date > LastDate)
        return QStringLiteral("the date %1 lies outside 2000-2050").arg(day);
    return {};
}

// The new alarm a command describes, or the usage error.
QString parseAlarm(const QStringList &words, AlarmRecord *alarm)
{
    if (words.size() != 6)
        return QStringLiteral("add needs a name, a kind, a time, a day and enabled or disabled");
    const QString &name = words.at(1);
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        return problem;
    const int kind = AlarmWords::KindOf(words.at(2));
    if (kind < 0)
        return QStringLiteral("no alarm kind '%1' (once, daily, weekly, weekdays)").arg(words.at(2));
    int hour = 0, minute = 0;
    if (!parseTime(words.at(3), &hour, &minute))
        return QStringLiteral("'%1' is no time of day HH:MM").arg(words.at(3));

    const QDate today = TimingModule::Now().date();
    AlarmRecord a;
    a.Name = AlarmRecord::FixedName(name);
    a.AlarmType = static_cast<quint8>(kind);
    a.Hour = static_cast<quint8>(hour);
    a.Minute = static_cast<quint8>(minute);
    a.Day = static_cast<quint8>(today.day());
    a.Month = static_cast<quint8>(today.month());
    a.Year = static_cast<qint16>(today.year());
    const QString &day = words.at(4);
    if (kind == AlarmRecord::OnceOnly) {
        QDate date;
        if (const QString problem = parseDate(day, &date); !problem.isEmpty())
            return problem;
        a.Day = static_cast<quint8>(date.day());
        a.Month = static_cast<quint8>(date.month());
        a.Year = static_cast<qint16>(date.year());
    } else if (kind == AlarmRecord::Weekly) {
        const int weekDay = ParseWeekDay(day);
        if (weekDay < 0)
            return QStringLiteral("'%1' is no day of the week (Monday ... Sunday, or 1 ... 7)").arg(day);
        a.WeekDay = static_cast<quint8>(weekDay);
    } else if (!day.isEmpty() && day != QLatin1String("-")) {
        return QStringLiteral("a %1 alarm has no day ('%2')").arg(words.at(2), day);
    }
    if (words.at(5) != QLatin1String("enabled") && words.at(5) != QLatin1String("disabled"))
        return QStringLiteral("'%1' is neither enabled nor disabled").arg(words.at(5));
    a.Disabled = words.at(5) == QLatin1String("disabled") ? -1 : 0;
    *alarm = a;
    return {};
}

// Appends alarms and saves them together: all of them are added, or, when
// the save fails, none. A command's change is noted with its minute, for a
// clock that starts later.
bool append(const QList<AlarmRecord> &added, QString *error)
{
    return AlarmStore::Instance().Add(added, TimingModule::CurrentMinute(), error);
}

Reply add(const QStringList &words)
{
    AlarmRecord alarm;
    const QString usage = parseAlarm(words, &alarm);
    if (!usage.isEmpty())
        return fail(2, usage);
    QString error;
    if (!append({alarm}, &error))
        return fail(1, QStringLiteral("the alarm was not added: %1").arg(error));
    const int index = static_cast<int>(AlarmStore::Instance().Records().size()) - 1;
    Reply reply;
    reply.out = QByteArray::number(index) + '\n';
    reply.err = QStringLiteral("tockwise: added alarm %1\n").arg(describe(index)).toUtf8();
    // Kept as asked (a user may be entering last week's alarms), but said.
    if (AlarmChecking::HasPassed(alarm, TimingModule::Now()))
        reply.err += QStringLiteral("tockwise: %1\n").arg(AlarmChecking::PassedText).toUtf8();
    reply.changed = true;
    return reply;
}

Reply remove(int index)
{
    const QString what = describe(index);
    QString error;
    if (!AlarmStore::Instance().Remove({index}, &error))
        return fail(1, QStringLiteral("alarm %1 was not removed: %2").arg(index).arg(error));
    Reply reply;
    reply.out = QStringLiteral("removed alarm %1\n").arg(what).toUtf8();
    reply.changed = true;
    return reply;
}

Reply setEnabled(int index, bool enabled)
{
    QString error;
    if (!AlarmStore::Instance().SetDisabled(index, !enabled, TimingModule::CurrentMinute(), &error))
        return fail(1, QStringLiteral("alarm %1 was not changed: %2").arg(index).arg(error));
    Reply reply;
    reply.out = QStringLiteral("%1 alarm %2\n")
                    .arg(enabled ? QStringLiteral("enabled") : QStringLiteral("disabled"), describe(index))
                    .toUtf8();
    reply.changed = true;
    return reply;
}

Reply exportAll()
{
    const AlarmStore &store = AlarmStore::Instance();
    const QList<AlarmRecord> alarms = store.Records().mid(1);
    QStringList uids;
    QList<AlarmRule> rules;
    for (int i = 1; i <= alarms.size(); ++i) {
        uids.append(store.IdOf(i));
        rules.append(store.RuleOf(i));
    }
    Reply reply;
    reply.out = ICalendar::Export(alarms, uids, rules);
    reply.err = QStringLiteral("tockwise: exported %1 alarms\n").arg(alarms.size()).toUtf8();
    return reply;
}

// The alarms an import mapped in the command's own process: the file itself
// never reaches the clock, so no file can hold it up. Those equal to an alarm
// of the table are left out here, where the table is.
Reply importMapped(const QByteArray &input)
{
    ICalendar::Import read;
    if (!DecodeImport(input, &read))
        return fail(2, QStringLiteral("the imported alarms could not be read"));
    QList<AlarmRecord> added;
    QList<AlarmRule> rules;
    QSet<QString> known;
    const AlarmStore &store = AlarmStore::Instance();
    for (int i = 1; i < store.Records().size(); ++i)
        known.insert(ICalendar::Key(store.At(i), store.RuleOf(i)));
    for (qsizetype i = 0; i < read.alarms.size(); ++i) {
        const QString key = ICalendar::Key(read.alarms.at(i), read.rules.value(i));
        if (known.contains(key)) {
            read.skipped.append(
                QStringLiteral("skipped %1: the same alarm is already there").arg(read.described.value(i)));
            continue;
        }
        known.insert(key);
        added.append(read.alarms.at(i));
        rules.append(read.rules.value(i));
    }
    Reply reply;
    for (const QString &line : std::as_const(read.skipped))
        reply.err += QStringLiteral("tockwise: %1\n").arg(line).toUtf8();
    for (const QString &line : std::as_const(read.warnings))
        reply.err += QStringLiteral("tockwise: warning: %1\n").arg(line).toUtf8();
    if (!added.isEmpty()) {
        QString error;
        AlarmStore::Change change;
        change.add = added;
        change.addRules = rules;
        change.changedAt = TimingModule::CurrentMinute();
        if (!AlarmStore::Instance().Apply(change, &error)) {
            Reply failed = fail(1, QStringLiteral("nothing imported: %1").arg(error));
            failed.err.prepend(reply.err);
            return failed;
        }
        reply.changed = true;
    }
    reply.out = QStringLiteral("imported %1 alarms, skipped %2\n").arg(added.size()).arg(read.skipped.size()).toUtf8();
    return reply;
}

// A rule the four kinds say exactly, at the local time, goes back to being
// that kind: Alarms.dat then says it all, for every copy of the program.
void plainWhereItCan(AlarmRule *rule, AlarmRecord *record)
{
    if (rule->ToKind(record))
        *rule = {};
}

// Today on the clock of a zone (the local one for none).
QDate todayIn(const QString &zone)
{
    return zone.isEmpty() ? TimingModule::Now().date()
                          : TimingModule::Now().toTimeZone(QTimeZone(zone.toUtf8())).date();
}

// add-rule NAME HH:MM RECUR|- START|- ZONE|- enabled|disabled: an alarm of
// any rule; RECUR - rings once, on START.
Reply addRule(const QStringList &words)
{
    if (words.size() != 7)
        return fail(2, QStringLiteral("add-rule needs a name, a time, a rule, a date, a zone and enabled or disabled"));
    const QString &name = words.at(1);
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        return fail(2, problem);
    int hour = 0, minute = 0;
    if (!parseTime(words.at(2), &hour, &minute))
        return fail(2, QStringLiteral("'%1' is no time of day HH:MM").arg(words.at(2)));
    AlarmRule rule;
    rule.recur = words.at(3) == QLatin1String("-") ? QString() : words.at(3).trimmed();
    rule.zone = words.at(5) == QLatin1String("-") ? QString() : words.at(5);
    if (!rule.zone.isEmpty() && !QTimeZone::isTimeZoneIdAvailable(rule.zone.toUtf8()))
        return fail(2, QStringLiteral("no time zone '%1' (a name such as Europe/Berlin or America/New_York)")
                           .arg(rule.zone.left(80)));
    if (!rule.recur.isEmpty()) {
        if (const QString refusal = Recurrence::Instance().Refusal(rule.recur); !refusal.isEmpty())
            return fail(2, QStringLiteral("the rule '%1' cannot be an alarm's: %2").arg(rule.recur.left(80), refusal));
    }
    QDate date = todayIn(rule.zone);
    if (words.at(4) != QLatin1String("-")) {
        if (const QString problem = parseDate(words.at(4), &date); !problem.isEmpty())
            return fail(2, problem);
    } else if (rule.recur.isEmpty()) {
        return fail(2, QStringLiteral("an alarm that rings once needs its date"));
    }
    if (words.at(6) != QLatin1String("enabled") && words.at(6) != QLatin1String("disabled"))
        return fail(2, QStringLiteral("'%1' is neither enabled nor disabled").arg(words.at(6)));
    rule.start = QDateTime(date, QTime(hour, minute), Qt::UTC);

    AlarmRecord record;
    record.Name = AlarmRecord::FixedName(name);
    record.Disabled = words.at(6) == QLatin1String("disabled") ? -1 : 0;
    const qint32 now = TimingModule::CurrentMinute();
    rule.StandIn(&record, now);
    plainWhereItCan(&rule, &record);
    AlarmStore::Change change;
    change.add = {record};
    change.addRules = {rule};
    change.changedAt = now;
    QString error;
    if (!AlarmStore::Instance().Apply(change, &error))
        return fail(1, QStringLiteral("the alarm was not added: %1").arg(error));
    const int index = static_cast<int>(AlarmStore::Instance().Records().size()) - 1;
    Reply reply;
    reply.out = QByteArray::number(index) + '\n';
    reply.err = QStringLiteral("tockwise: added alarm %1\n").arg(describe(index)).toUtf8();
    const bool rings = rule.IsEmpty() || rule.NextMinute(now) >= 0;
    if (!rings)
        reply.err += QStringLiteral("tockwise: %1\n").arg(AlarmChecking::PassedText).toUtf8();
    reply.changed = true;
    return reply;
}

// The rule an alarm of a kind rings by, for an alarm that is to skip a date.
AlarmRule ruleOfKind(const AlarmRecord &a)
{
    AlarmRule rule;
    rule.start = QDateTime(TimingModule::Now().date().addDays(-1), QTime(a.Hour, a.Minute), Qt::UTC);
    if (a.AlarmType == AlarmRecord::Daily)
        rule.recur = QStringLiteral("FREQ=DAILY");
    else if (a.AlarmType == AlarmRecord::EveryWeekday)
        rule.recur = QStringLiteral("FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR");
    else if (a.AlarmType == AlarmRecord::Weekly && a.WeekDay <= 6)
        rule.recur = QStringLiteral("FREQ=WEEKLY;BYDAY=") + AlarmWords::DayCode(a.WeekDay);
    else
        rule = {};
    return rule;
}

// skip N [DATE] and unskip N DATE: the alarm does not ring (or rings again)
// on a date of its own clock; with no date, its next ring is skipped.
Reply skip(const QStringList &words, bool skipping)
{
    AlarmStore &store = AlarmStore::Instance();
    const int index = alarmNumber(words.value(1));
    if (index == 0)
        return fail(2,
                    QStringLiteral("there is no alarm %1 ('tockwise --list' shows their numbers)").arg(words.value(1)));
    AlarmRecord record = store.At(index);
    AlarmRule rule = store.RuleOf(index);
    if (rule.IsEmpty())
        rule = ruleOfKind(record);
    if (rule.IsEmpty())
        return fail(2, QStringLiteral("alarm %1 rings once: disable it rather than skip it").arg(index));
    const qint32 now = TimingModule::CurrentMinute();
    QDate date;
    if (words.size() > 2 && words.at(2) != QLatin1String("-")) {
        if (const QString problem = parseDate(words.at(2), &date); !problem.isEmpty())
            return fail(2, problem);
    } else if (!skipping) {
        return fail(2, QStringLiteral("unskip needs the date to ring on again"));
    }
    QList<QDateTime> touched;
    if (skipping) {
        if (date.isValid()) {
            touched = rule.StartsOn(date);
        } else if (const QDateTime next = rule.NextStart(now); next.isValid()) {
            touched = {next};
            date = next.date();
        }
        if (touched.isEmpty())
            return fail(1, date.isValid() ? QStringLiteral("alarm %1 does not ring on %2")
                                                .arg(index)
                                                .arg(date.toString(QStringLiteral("yyyy-MM-dd")))
                                          : QStringLiteral("alarm %1 rings no more").arg(index));
        for (const QDateTime &start : std::as_const(touched))
            if (!rule.skipped.contains(start))
                rule.skipped.append(start);
    } else {
        for (qsizetype k = rule.skipped.size() - 1; k >= 0; --k) {
            if (rule.skipped.at(k).date() == date)
                touched.append(rule.skipped.takeAt(k));
        }
        if (touched.isEmpty())
            return fail(1, QStringLiteral("alarm %1 skips nothing on %2")
                               .arg(index)
                               .arg(date.toString(QStringLiteral("yyyy-MM-dd"))));
    }
    std::sort(rule.skipped.begin(), rule.skipped.end());
    rule.StandIn(&record, now);
    plainWhereItCan(&rule, &record);
    AlarmStore::Change change;
    change.replace = {{index, record}};
    change.rules = {{index, rule}};
    change.changedAt = now;
    QString error;
    if (!store.Apply(change, &error))
        return fail(1, QStringLiteral("alarm %1 was not changed: %2").arg(index).arg(error));
    Reply reply;
    reply.out = QStringLiteral("alarm %1 %2 %3\n")
                    .arg(index)
                    .arg(skipping ? QStringLiteral("skips") : QStringLiteral("rings again on"),
                         QLocale::c().toString(date, QStringLiteral("dddd d MMMM yyyy")))
                    .toUtf8();
    reply.changed = true;
    return reply;
}

} // namespace

int ParseNumber(const QString &text)
{
    // Digits only: no blank, sign or base that toInt() would let through.
    if (text.isEmpty() || text.size() > 9)
        return -1;
    int n = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        n = n * 10 + (c.unicode() - '0');
    }
    return n;
}

int ParseAlarmVolume(const QString &text)
{
    if (text == QLatin1String("off"))
        return 0;
    const int percent = ParseNumber(text);
    return percent <= 100 ? percent : -1;
}

QByteArray EncodeImport(const ICalendar::Import &read)
{
    QByteArray records;
    for (const AlarmRecord &alarm : read.alarms)
        records += AlarmHandling::EncodeSlot(alarm);
    QJsonObject object;
    object.insert(QStringLiteral("slots"), QString::fromLatin1(records.toBase64()));
    QStringList rules;
    for (const AlarmRule &rule : read.rules)
        rules.append(rule.IsEmpty() ? QString() : rule.Encode());
    object.insert(QStringLiteral("rules"), QJsonArray::fromStringList(rules));
    object.insert(QStringLiteral("described"), QJsonArray::fromStringList(read.described));
    object.insert(QStringLiteral("skipped"), QJsonArray::fromStringList(read.skipped));
    object.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(read.warnings));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool DecodeImport(const QByteArray &data, ICalendar::Import *read)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QByteArray records = QByteArray::fromBase64(object.value(QStringLiteral("slots")).toString().toLatin1());
    if (records.size() % AlarmHandling::SlotSize != 0)
        return false;
    const auto strings = [&](const char *key) {
        QStringList list;
        for (const QJsonValue &value : object.value(QLatin1String(key)).toArray())
            list.append(value.toString());
        return list;
    };
    *read = {};
    read->ok = true;
    for (qsizetype at = 0; at < records.size(); at += AlarmHandling::SlotSize) {
        AlarmRecord alarm = AlarmHandling::DecodeSlot(records.constData() + at);
        alarm.Index = 0;
        read->alarms.append(alarm);
    }
    for (const QString &rule : strings("rules"))
        read->rules.append(rule.isEmpty() ? AlarmRule() : AlarmRule::Decode(rule));
    read->described = strings("described");
    read->skipped = strings("skipped");
    read->warnings = strings("warnings");
    return true;
}

int ParseWeekDay(const QString &text)
{
    if (const int n = ParseNumber(text); n >= 0)
        return n >= 1 && n <= 7 ? n - 1 : -1;
    if (!text.isEmpty() && text.at(0).isDigit())
        return -1;
    if (text.size() < 3)
        return -1;
    for (int day = 0; day < 7; ++day) {
        if (AlarmWords::WeekDayName(day).startsWith(text, Qt::CaseInsensitive))
            return day;
    }
    return -1;
}

void SetNotificationActions(const NotificationActions &value)
{
    actions() = value;
}

// Stored with the other settings; a running clock is told by its command host.
Reply wakeFromSuspend(const QString &value)
{
    Reply reply;
    if (value.isEmpty()) {
        reply.out = Settings::ReadWakeFromSuspend() ? "on\n" : "off\n";
        return reply;
    }
    if (value != QLatin1String("on") && value != QLatin1String("off"))
        return fail(2, QStringLiteral("--wake-from-suspend takes on or off"));
    const bool on = value == QLatin1String("on");
    QString problem;
    if (!Settings::Write(Settings::WakeFromSuspend, on ? QStringLiteral("True") : QStringLiteral("False"), &problem))
        return fail(1, QStringLiteral("the setting could not be saved: %1").arg(problem));
    reply.out =
        on ? "wake from suspend on: a sleeping computer is woken for the next alarm\n" : "wake from suspend off\n";
    if (on && !WakeTimer::Supported())
        reply.out += "this system cannot wake the computer for an alarm: the setting has no effect here\n";
    return reply;
}

// Stored with the other settings; a running clock is told by its command host.
Reply alarmVolume(const QString &value)
{
    Reply reply;
    if (value.isEmpty()) {
        const int percent = Settings::ReadAlarmVolume();
        reply.out = percent == 0 ? "off\n" : QByteArray::number(percent) + '\n';
        return reply;
    }
    const int percent = ParseAlarmVolume(value);
    if (percent < 0)
        return fail(2, QStringLiteral("--alarm-volume takes 1 to 100, or 0 or off, not '%1'").arg(value));
    QString problem;
    if (!Settings::Write(Settings::AlarmVolume, QString::number(percent), &problem))
        return fail(1, QStringLiteral("the setting could not be saved: %1").arg(problem));
    reply.out = percent == 0 ? QByteArray("alarm volume off: a ringing alarm leaves the sound output as it is\n")
                             : QStringLiteral("alarm volume %1: a ringing alarm's sound output is unmuted and "
                                              "raised to at least %1 %\n")
                                   .arg(percent)
                                   .toUtf8();
    return reply;
}

Reply Execute(const QStringList &words, const QByteArray &input)
{
    const QString command = words.value(0);
    if (command == QLatin1String("list"))
        return list();
    if (command == QLatin1String("add"))
        return add(words);
    if (command == QLatin1String("add-rule"))
        return addRule(words);
    if (command == QLatin1String("skip") || command == QLatin1String("unskip"))
        return skip(words, command == QLatin1String("skip"));
    if (command == QLatin1String("remove") || command == QLatin1String("enable") ||
        command == QLatin1String("disable")) {
        const int index = alarmNumber(words.value(1));
        if (index == 0)
            return fail(
                2, QStringLiteral("there is no alarm %1 ('tockwise --list' shows their numbers)").arg(words.value(1)));
        if (command == QLatin1String("remove"))
            return remove(index);
        return setEnabled(index, command == QLatin1String("enable"));
    }
    if (command == QLatin1String("export"))
        return exportAll();
    if (command == QLatin1String("import-alarms"))
        return importMapped(input);
    if (command == QLatin1String("snooze-all") || command == QLatin1String("dismiss-all")) {
        if (!actions().snoozeAll || !actions().dismissAll)
            return fail(1, QStringLiteral("no clock is running, so no notification is open"));
        Reply reply;
        if (command == QLatin1String("snooze-all")) {
            const int minutes = ParseNumber(words.value(1));
            if (minutes < 1 || minutes > 1440)
                return fail(2, QStringLiteral("a snooze lasts 1 to 1440 minutes"));
            const int count = actions().snoozeAll(minutes);
            reply.out = QStringLiteral("snoozed %1 notifications for %2 minutes\n").arg(count).arg(minutes).toUtf8();
        } else {
            reply.out = QStringLiteral("dismissed %1 notifications\n").arg(actions().dismissAll()).toUtf8();
        }
        return reply;
    }
    if (command == QLatin1String("wake-from-suspend"))
        return wakeFromSuspend(words.value(1));
    if (command == QLatin1String("alarm-volume"))
        return alarmVolume(words.value(1));
    return fail(2, QStringLiteral("no command '%1'").arg(command));
}

QByteArray EncodeRequest(const QStringList &words, const QByteArray &input)
{
    QJsonObject object;
    object.insert(QStringLiteral("words"), QJsonArray::fromStringList(words));
    object.insert(QStringLiteral("input"), QString::fromLatin1(input.toBase64()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool DecodeRequest(const QByteArray &line, QStringList *words, QByteArray *input)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    words->clear();
    for (const QJsonValue &word : object.value(QStringLiteral("words")).toArray())
        words->append(word.toString());
    *input = QByteArray::fromBase64(object.value(QStringLiteral("input")).toString().toLatin1());
    return !words->isEmpty();
}

QByteArray EncodeReply(const Reply &reply)
{
    QJsonObject object;
    object.insert(QStringLiteral("status"), reply.status);
    object.insert(QStringLiteral("out"), QString::fromLatin1(reply.out.toBase64()));
    object.insert(QStringLiteral("err"), QString::fromLatin1(reply.err.toBase64()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool DecodeReply(const QByteArray &line, Reply *reply)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    reply->status = object.value(QStringLiteral("status")).toInt(1);
    reply->out = QByteArray::fromBase64(object.value(QStringLiteral("out")).toString().toLatin1());
    reply->err = QByteArray::fromBase64(object.value(QStringLiteral("err")).toString().toLatin1());
    return true;
}

Reply SyncReply(const Synchronizer::Report &report)
{
    Reply reply;
    for (const QString &line : report.changes)
        reply.out += (line + QLatin1Char('\n')).toUtf8();
    for (const QString &line : report.skipped)
        reply.out += (line + QLatin1Char('\n')).toUtf8();
    if (!report.summary.isEmpty())
        reply.out += (report.summary + QLatin1Char('\n')).toUtf8();
    reply.changed = report.tableChanged;
    if (!report.error.isEmpty()) {
        reply.status = 1;
        reply.err = QStringLiteral("tockwise: the alarms were not synced: %1\n").arg(report.error).toUtf8();
    }
    return reply;
}

} // namespace AlarmCommands
