#include "shell/RingVolume.h"

#include "engine/StateFile.h"
#include "engine/Trace.h"
#include "platform/FileKind.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Each job talks to the server for this long at most.
constexpr int JobMs = 1500;
// The ring's last job and a raise still under way, at the program's end.
constexpr int EndingMs = 2 * JobMs + 500;
// A server rounds volumes it keeps in another unit (PipeWire stores 5 % as
// 3276, not 3277); a user's own change is never this small.
constexpr quint32 Rounding = OutputVolume::Norm / 100;
// The file holds a few outputs; anything larger is not ours.
constexpr qint64 FileBytes = 64 * 1024;
constexpr int ChannelsMax = 32; // the server's own limit

QJsonObject encodeState(const OutputVolume::State &state)
{
    QJsonArray volume;
    for (const quint32 v : state.volume)
        volume.append(qint64(v));
    return {{QStringLiteral("muted"), state.muted}, {QStringLiteral("volume"), volume}};
}

std::optional<OutputVolume::State> decodeState(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    const QJsonValue muted = object.value(QStringLiteral("muted"));
    const QJsonArray volume = object.value(QStringLiteral("volume")).toArray();
    if (!muted.isBool() || volume.isEmpty() || volume.size() > ChannelsMax)
        return std::nullopt;
    OutputVolume::State state;
    state.muted = muted.toBool();
    for (const QJsonValue &v : volume) {
        const double d = v.toDouble(-1);
        if (d < 0 || d > 0x7fffffff || d != double(qint64(d)))
            return std::nullopt;
        state.volume.append(quint32(d));
    }
    return state;
}

} // namespace

RingVolume::RingVolume(const QString &restoreFile, int percent, QObject *parent)
    : QObject(parent)
    , m_file(restoreFile)
    , m_percent(percent)
{
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(5000);
}

RingVolume::~RingVolume()
{
    // The jobs use this object's members: they end (each bounded) first.
    m_pool.waitForDone();
}

void RingVolume::Raise()
{
    if (m_ringing)
        return;
    m_ringing = true;
    if (m_percent > 0)
        m_pool.start([this, percent = m_percent] { raise(percent); });
}

void RingVolume::PutBack(bool programEnding)
{
    if (!m_ringing && !programEnding)
        return;
    m_ringing = false;
    m_pool.start([this] { putBack(); });
    if (programEnding)
        m_pool.waitForDone(EndingMs);
}

void RingVolume::PutBackLeftOver()
{
    // The usual start: nothing left, and no thread started to find that out.
    if (FileKind::OfEntry(m_file) == FileKind::Kind::Absent)
        return;
    m_pool.start([this] {
        if (m_leftOverRead)
            return;
        m_leftOverRead = true;
        if (FileKind::OfEntry(m_file) != FileKind::Kind::Regular)
            return;
        QFile file(m_file);
        if (file.size() > FileBytes || !file.open(QIODevice::ReadOnly)) {
            QFile::remove(m_file);
            return;
        }
        m_changes = Decode(file.read(FileBytes));
        file.close();
        putBack();
    });
}

void RingVolume::SetPercent(int percent)
{
    m_percent = percent;
    if (!m_ringing)
        return;
    if (percent == 0)
        m_pool.start([this] { putBack(); });
    else
        m_pool.start([this, percent] { raise(percent); });
}

std::optional<OutputVolume::State> RingVolume::Ringing(const OutputVolume::State &now, int percent)
{
    if (percent <= 0 || now.volume.isEmpty())
        return std::nullopt;
    const quint32 wanted = quint32((quint64(std::min(percent, 100)) * OutputVolume::Norm + 50) / 100);
    const quint32 loudest = now.Loudest();
    if (!now.muted && loudest + Rounding / 2 >= wanted)
        return std::nullopt;
    OutputVolume::State ringing = now;
    ringing.muted = false;
    if (loudest < wanted) {
        for (quint32 &v : ringing.volume) {
            // Channels keep their balance; all silent ones rise together.
            v = loudest == 0 ? wanted : quint32(quint64(v) * wanted / loudest);
        }
    }
    return ringing;
}

bool RingVolume::AsRingLeftIt(const OutputVolume::State &now, const OutputVolume::State &set)
{
    if (now.muted != set.muted || now.volume.size() != set.volume.size())
        return false;
    for (qsizetype i = 0; i < now.volume.size(); ++i) {
        const quint32 a = now.volume[i], b = set.volume[i];
        if ((a > b ? a - b : b - a) > Rounding)
            return false;
    }
    return true;
}

QByteArray RingVolume::Encode(const QList<Change> &changes)
{
    QJsonArray outputs;
    for (const Change &change : changes) {
        outputs.append(QJsonObject{{QStringLiteral("output"), QString::fromUtf8(change.output)},
                                   {QStringLiteral("before"), encodeState(change.before)},
                                   {QStringLiteral("set"), encodeState(change.set)}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("outputs"), outputs}}).toJson();
}

QList<RingVolume::Change> RingVolume::Decode(const QByteArray &text)
{
    QList<Change> changes;
    const QJsonArray outputs = QJsonDocument::fromJson(text).object().value(QStringLiteral("outputs")).toArray();
    for (const QJsonValue &value : outputs) {
        const QJsonObject object = value.toObject();
        const QByteArray output = object.value(QStringLiteral("output")).toString().toUtf8();
        const auto before = decodeState(object.value(QStringLiteral("before")));
        const auto set = decodeState(object.value(QStringLiteral("set")));
        if (output.isEmpty() || !before || !set || before->volume.size() != set->volume.size())
            continue;
        changes.append({output, *before, *set});
    }
    return changes;
}

void RingVolume::raise(int percent)
{
    OutputVolume::Connection server(JobMs);
    if (!server.IsConnected())
        return;
    const QByteArray output = server.DefaultOutput();
    const std::optional<OutputVolume::State> now = server.Output(output);
    if (!now)
        return;
    const std::optional<OutputVolume::State> ringing = Ringing(*now, percent);
    if (!ringing)
        return;
    auto change =
        std::find_if(m_changes.begin(), m_changes.end(), [&output](const Change &c) { return c.output == output; });
    // Put back what the user had before the first change, unless the user
    // has changed the output since (then that is the user's).
    if (change == m_changes.end())
        change = m_changes.insert(m_changes.end(), {output, *now, *ringing});
    else if (!AsRingLeftIt(*now, change->set))
        change->before = *now;
    change->set = *ringing;
    // Written before the output changes: a copy killed right after still
    // finds what to put back.
    save();
    if (server.SetOutput(output, *ringing)) {
        TraceEvent("output-raised", QStringLiteral("%1 %2").arg(QString::fromUtf8(output)).arg(percent));
        return;
    }
    // Refused: the output is as it was, unless the server did half of it.
    const std::optional<OutputVolume::State> after = server.Output(output);
    if (after && AsRingLeftIt(*after, change->before)) {
        m_changes.erase(change);
        save();
    }
}

void RingVolume::putBack()
{
    if (m_changes.isEmpty()) {
        save();
        return;
    }
    OutputVolume::Connection server(JobMs);
    // No server now: kept, in memory and in the file, for the next try.
    if (!server.IsConnected())
        return;
    for (const Change &change : std::as_const(m_changes)) {
        const std::optional<OutputVolume::State> now = server.Output(change.output);
        if (now && AsRingLeftIt(*now, change.set) && server.SetOutput(change.output, change.before))
            TraceEvent("output-restored", QString::fromUtf8(change.output));
    }
    m_changes.clear();
    save();
}

bool RingVolume::save()
{
    if (m_file.isEmpty())
        return true;
    if (m_changes.isEmpty())
        return !QFile::exists(m_file) || QFile::remove(m_file);
    return StateFile::Replace(m_file, Encode(m_changes));
}
