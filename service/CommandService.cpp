#include "service/CommandService.h"

#include "service/DBusInterface.h"
#include "service/SingleInstance.h"

CommandService::CommandService()
{
    connect(&m_sync, &SyncService::TableChanged, &m_host, &CommandHost::TableChanged);
}

CommandService::~CommandService() = default;

void CommandService::Start(SingleInstance &instance)
{
    instance.OnCommandAnswerLater(
        [this](const QByteArray &request, SingleInstance::Answerer answer) { Answer(request, answer); });
    m_sync.StartSchedule([this] { return m_host.BusyReason(); });
    // Made only now, so that whoever follows the host's changes was told first.
    m_bus = std::make_unique<DBusInterface>(&m_host);
    connect(m_bus.get(), &DBusInterface::ShowClockRequested, this, &CommandService::ShowClockRequested);
    m_bus->Register();
}

void CommandService::Answer(const QByteArray &request, const std::function<void(const QByteArray &)> &answer)
{
    QStringList words;
    QByteArray input;
    if (!AlarmCommands::DecodeRequest(request, &words, &input)) {
        AlarmCommands::Reply refused;
        refused.status = 2;
        refused.err = "tockwise: the running clock did not understand the command\n";
        return answer(AlarmCommands::EncodeReply(refused));
    }
    if (words.value(0) == QLatin1String("sync-now")) {
        m_sync.SyncNow([answer](const Synchronizer::Report &report) {
            answer(AlarmCommands::EncodeReply(AlarmCommands::SyncReply(report)));
        });
        return;
    }
    answer(AlarmCommands::EncodeReply(m_host.Run(words, input)));
}
