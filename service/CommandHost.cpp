#include "service/CommandHost.h"

CommandHost::CommandHost() = default;

CommandHost::~CommandHost()
{
    AlarmCommands::SetNotificationActions({});
}

void CommandHost::SetBusyCheck(BusyCheck busy)
{
    m_busy = std::move(busy);
}

void CommandHost::SetNotificationActions(const AlarmCommands::NotificationActions &actions)
{
    AlarmCommands::SetNotificationActions(actions);
}

AlarmCommands::Reply CommandHost::Run(const QStringList &words, const QByteArray &input)
{
    static const QStringList changes{QStringLiteral("add"),    QStringLiteral("remove"),
                                     QStringLiteral("enable"), QStringLiteral("disable"),
                                     QStringLiteral("import"), QStringLiteral("import-alarms")};
    if (changes.contains(words.value(0))) {
        if (const QString busy = BusyReason(); !busy.isEmpty()) {
            AlarmCommands::Reply reply;
            reply.status = 1;
            reply.err = QStringLiteral("tockwise: %1\n").arg(busy).toUtf8();
            return reply;
        }
    }
    AlarmCommands::Reply reply = AlarmCommands::Execute(words, input);
    if (words.value(0) == QLatin1String("wake-from-suspend") && reply.status == 0 && !words.value(1).isEmpty())
        emit WakeFromSuspendChanged(words.value(1) == QLatin1String("on"));
    if (words.value(0) == QLatin1String("alarm-volume") && reply.status == 0 && !words.value(1).isEmpty())
        emit AlarmVolumeChanged(AlarmCommands::ParseAlarmVolume(words.value(1)));
    if (reply.changed)
        TableChanged();
    return reply;
}

QString CommandHost::BusyReason() const
{
    return m_busy ? m_busy() : QString();
}

void CommandHost::TableChanged()
{
    emit AlarmsChanged();
}
