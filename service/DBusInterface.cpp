#include "service/DBusInterface.h"

#include "engine/AlarmStore.h"
#include "engine/AlarmWords.h"
#include "service/CommandHost.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMetaType>

namespace {
const QString ServiceName = QStringLiteral("example.varnod.Tockwise");
const QString ObjectPath = QStringLiteral("/example/varnod/Tockwise");
} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const DBusAlarm &alarm)
{
    argument.beginStructure();
    argument << alarm.number << alarm.name << alarm.kind << alarm.hour << alarm.minute << alarm.day << alarm.enabled;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusAlarm &alarm)
{
    argument.beginStructure();
    argument >> alarm.number >> alarm.name >> alarm.kind >> alarm.hour >> alarm.minute >> alarm.day >> alarm.enabled;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusRule &rule)
{
    argument.beginStructure();
    argument << rule.number << rule.rule;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusRule &rule)
{
    argument.beginStructure();
    argument >> rule.number >> rule.rule;
    argument.endStructure();
    return argument;
}

DBusInterface::DBusInterface(CommandHost *host, QObject *parent)
    : QObject(parent)
    , m_host(host)
{
    qDBusRegisterMetaType<DBusAlarm>();
    qDBusRegisterMetaType<QList<DBusAlarm>>();
    qDBusRegisterMetaType<DBusRule>();
    qDBusRegisterMetaType<QList<DBusRule>>();
    connect(host, &CommandHost::AlarmsChanged, this, &DBusInterface::AlarmsChanged);
}

bool DBusInterface::Register()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qWarning("Tockwise: no session bus, so the alarms are not offered on D-Bus");
        return false;
    }
    if (!bus.registerObject(ObjectPath, this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals) ||
        !bus.registerService(ServiceName)) {
        qWarning("Tockwise: %s could not be registered on the session bus: %s", qPrintable(ServiceName),
                 qPrintable(bus.lastError().message()));
        return false;
    }
    return true;
}

bool DBusInterface::run(const QStringList &words, QByteArray *out)
{
    const AlarmCommands::Reply reply = m_host->Run(words);
    if (reply.status != 0) {
        if (calledFromDBus())
            sendErrorReply(reply.status == 2 ? QDBusError::InvalidArgs : QDBusError::Failed,
                           QString::fromUtf8(reply.err).remove(QStringLiteral("tockwise: ")).trimmed());
        return false;
    }
    if (out)
        *out = reply.out;
    return true;
}

QList<DBusAlarm> DBusInterface::List()
{
    QList<DBusAlarm> list;
    const AlarmStore &store = AlarmStore::Instance();
    const QList<AlarmRecord> &alarms = store.Records();
    for (int i = 1; i < alarms.size(); ++i) {
        const AlarmRecord &a = alarms.at(i);
        const AlarmRule &rule = store.RuleOf(i);
        if (rule.IsEmpty())
            list.append({i, a.TrimmedName(), AlarmWords::KindName(a.AlarmType), a.Hour, a.Minute,
                         AlarmWords::DayText(a), a.Disabled == 0});
        else
            list.append({i, a.TrimmedName(), QStringLiteral("custom"), uchar(rule.start.time().hour()),
                         uchar(rule.start.time().minute()), AlarmWords::RuleText(rule), a.Disabled == 0});
    }
    return list;
}

qint32 DBusInterface::AddRule(const QString &name, const QString &at, const QString &rrule, const QString &zone)
{
    QByteArray out;
    if (!run({QStringLiteral("add-rule"), name, at, rrule.isEmpty() ? QStringLiteral("-") : rrule, QStringLiteral("-"),
              zone.isEmpty() ? QStringLiteral("-") : zone, QStringLiteral("enabled")},
             &out))
        return 0;
    return out.trimmed().toInt();
}

void DBusInterface::Skip(qint32 number, const QString &date)
{
    run({QStringLiteral("skip"), QString::number(number), date.isEmpty() ? QStringLiteral("-") : date});
}

void DBusInterface::Unskip(qint32 number, const QString &date)
{
    run({QStringLiteral("unskip"), QString::number(number), date});
}

QList<DBusRule> DBusInterface::Rules()
{
    QList<DBusRule> rules;
    const AlarmStore &store = AlarmStore::Instance();
    for (int i = 1; i < store.Records().size(); ++i)
        if (!store.RuleOf(i).IsEmpty())
            rules.append({i, store.RuleOf(i).recur});
    return rules;
}

qint32 DBusInterface::Add(const QString &name, const QString &kind, uchar hour, uchar minute,
                          const QString &dateOrWeekday)
{
    QByteArray out;
    const QString time = AlarmWords::Time(hour, minute);
    if (!run({QStringLiteral("add"), name, kind, time, dateOrWeekday.isEmpty() ? QStringLiteral("-") : dateOrWeekday,
              QStringLiteral("enabled")},
             &out))
        return 0;
    return out.trimmed().toInt();
}

void DBusInterface::Remove(qint32 number)
{
    run({QStringLiteral("remove"), QString::number(number)});
}

void DBusInterface::SetEnabled(qint32 number, bool enabled)
{
    run({enabled ? QStringLiteral("enable") : QStringLiteral("disable"), QString::number(number)});
}

void DBusInterface::SnoozeAll(qint32 minutes)
{
    run({QStringLiteral("snooze-all"), QString::number(minutes)});
}

void DBusInterface::DismissAll()
{
    run({QStringLiteral("dismiss-all")});
}

void DBusInterface::ShowClock()
{
    emit ShowClockRequested();
}
