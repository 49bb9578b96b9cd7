#include "service/AlarmCommands.h"

#include "engine/AlarmChecking.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmStore.h"
#include "engine/AlarmWords.h"
#include "engine/Settings.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "interchange/ICalendar.h"
#include "platform/WakeTimer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

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

QString describe(int index)
{
    return QStringLiteral("%1 %2").arg(index).arg(AlarmWords::Describe(AlarmStore::Instance().At(index)));
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
        const QDateTime snoozed = Snoozes::EndFor(store.IdOf(i));
        reply.out +=
            QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
                .arg(i)
                .arg(AlarmWords::KindName(a.AlarmType), AlarmWords::Time(a.Hour, a.Minute), AlarmWords::DayText(a),
                     a.Disabled != 0 ? QStringLiteral("disabled") : QStringLiteral("enabled"), a.TrimmedName(),
                     snoozed.isValid() ? snoozed.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString())
                .toUtf8();
    }
    return reply;
}

// The new alarm a command describes, or the usage error.
QString parseAlarm(const QStringList &words, AlarmRecord *alarm)
{
    if (words.size() != 6)
        return QStringLiteral("add needs a name, a kind, a time, a day and enabled or disabled");
    const QString &name = words.at(1);
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
    const int kind = AlarmWords::KindOf(words.at(2));
    if (kind < 0)
        return QStringLiteral("no alarm kind '%1' (once, daily, weekly, weekdays)").arg(words.at(2));
    const QStringList time = words.at(3).split(QLatin1Char(':'));
    const int hour = time.size() == 2 && time.at(0).size() <= 2 ? ParseNumber(time.at(0)) : -1;
    const int minute = time.size() == 2 && time.at(1).size() == 2 ? ParseNumber(time.at(1)) : -1;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
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
        const QDate date = QDate::fromString(day, QStringLiteral("yyyy-MM-dd"));
        const bool digits = day.size() == 10 && ParseNumber(day.left(4)) >= 0 && ParseNumber(day.mid(5, 2)) >= 0 &&
                            ParseNumber(day.right(2)) >= 0;
        if (!date.isValid() || !digits)
            return QStringLiteral("'%1' is no date YYYY-MM-DD").arg(day);
        if (date < FirstDate || date > LastDate)
            return QStringLiteral("the date %1 lies outside 2000-2050").arg(day);
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
    for (int i = 1; i <= alarms.size(); ++i)
        uids.append(store.IdOf(i));
    Reply reply;
    reply.out = ICalendar::Export(alarms, uids);
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
    QSet<QString> known;
    for (const AlarmRecord &alarm : AlarmStore::Instance().Records().mid(1))
        known.insert(ICalendar::Key(alarm));
    for (qsizetype i = 0; i < read.alarms.size(); ++i) {
        if (known.contains(ICalendar::Key(read.alarms.at(i)))) {
            read.skipped.append(
                QStringLiteral("skipped %1: the same alarm is already there").arg(read.described.value(i)));
            continue;
        }
        known.insert(ICalendar::Key(read.alarms.at(i)));
        added.append(read.alarms.at(i));
    }
    Reply reply;
    for (const QString &line : std::as_const(read.skipped))
        reply.err += QStringLiteral("tockwise: %1\n").arg(line).toUtf8();
    for (const QString &line : std::as_const(read.warnings))
        reply.err += QStringLiteral("tockwise: warning: %1\n").arg(line).toUtf8();
    if (!added.isEmpty()) {
        QString error;
        if (!append(added, &error)) {
            Reply failed = fail(1, QStringLiteral("nothing imported: %1").arg(error));
            failed.err.prepend(reply.err);
            return failed;
        }
        reply.changed = true;
    }
    reply.out = QStringLiteral("imported %1 alarms, skipped %2\n").arg(added.size()).arg(read.skipped.size()).toUtf8();
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
