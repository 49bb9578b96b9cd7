#include "shell/CommandHost.h"

#include "alarmui/AlarmForm.h"
#include "alarmui/ModifyForm.h"
#include "clockwindow/MainForm.h"
#include "notify/MessageForm.h"
#include "ui/Dialogs.h"
#include "ui/FormRegistry.h"

CommandHost::CommandHost()
{
    AlarmCommands::SetNotificationActions({&MessageForm::SnoozeAll, &MessageForm::DismissAll});
}

CommandHost::~CommandHost()
{
    AlarmCommands::SetNotificationActions({});
}

AlarmCommands::Reply CommandHost::Run(const QStringList &words, const QByteArray &input)
{
    static const QStringList changes{QStringLiteral("add"), QStringLiteral("remove"), QStringLiteral("enable"),
                                     QStringLiteral("disable"), QStringLiteral("import")};
    if (changes.contains(words.value(0))) {
        if (const QString busy = BusyReason(); !busy.isEmpty()) {
            AlarmCommands::Reply reply;
            reply.status = 1;
            reply.err = QStringLiteral("tockwise: %1\n").arg(busy).toUtf8();
            return reply;
        }
    }
    AlarmCommands::Reply reply = AlarmCommands::Execute(words, input);
    if (words.value(0) == QLatin1String("wake-from-suspend") && reply.status == 0 && !words.value(1).isEmpty()) {
        if (MainForm *clock = Forms().Find<MainForm>())
            clock->SetWakeFromSuspend(words.value(1) == QLatin1String("on"));
    }
    if (words.value(0) == QLatin1String("alarm-volume") && reply.status == 0 && !words.value(1).isEmpty())
        emit AlarmVolumeChanged(AlarmCommands::ParseAlarmVolume(words.value(1)));
    if (reply.changed)
        TableChanged();
    return reply;
}

QString CommandHost::BusyReason()
{
    // The editor's alarm or the one the removal question names must still be
    // there, at its number, when the user answers.
    if (Forms().Find<ModifyForm>())
        return QStringLiteral("the running clock's alarm editor is open: close it and try again");
    if (Dialogs::Asking())
        return QStringLiteral("the running clock is asking a question: answer it and try again");
    return {};
}

void CommandHost::TableChanged()
{
    if (AlarmForm *list = Forms().Find<AlarmForm>())
        list->UpdateAlarmList();
    emit AlarmsChanged();
}
