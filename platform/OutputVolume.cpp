#include "platform/OutputVolume.h"

#include "platform/SoundServer.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <functional>
#include <limits>

#if defined(TOCKWISE_HAVE_PULSE)
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/volume.h>
#endif

namespace OutputVolume {

quint32 State::Loudest() const
{
    return volume.isEmpty() ? 0 : *std::max_element(volume.begin(), volume.end());
}

#if defined(TOCKWISE_HAVE_PULSE)

struct Connection::Private
{
    QDeadlineTimer deadline;
    pa_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    bool ready = false;

    ~Private()
    {
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop)
            pa_mainloop_free(loop);
    }

    // Runs the loop until done says so, the connection breaks or time is up.
    bool runUntil(const std::function<bool()> &done)
    {
        while (!done()) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
                return false;
            const qint64 left = deadline.remainingTime();
            if (left == 0)
                return false;
            const int usec = left < 0 ? -1 : int(std::min<qint64>(left, std::numeric_limits<int>::max() / 1000) * 1000);
            if (pa_mainloop_prepare(loop, usec) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
                return false;
        }
        return true;
    }

    // Waits for an operation; one still running when time is up is dropped.
    bool wait(pa_operation *operation)
    {
        if (!operation)
            return false;
        const bool finished =
            runUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        if (!finished)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return finished;
    }
};

Connection::Connection(int timeoutMs)
    : d(std::make_unique<Private>())
{
    d->deadline = QDeadlineTimer(timeoutMs);
    if (!SoundServer::MayBeUp())
        return;
    d->loop = pa_mainloop_new();
    if (!d->loop)
        return;
    d->context = pa_context_new(pa_mainloop_get_api(d->loop), "Tockwise");
    if (!d->context)
        return;
    // Never start a sound server of our own: without one there is nothing
    // to make audible.
    if (pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return;
    d->ready = d->runUntil([this] { return pa_context_get_state(d->context) == PA_CONTEXT_READY; });
}

Connection::~Connection() = default;

bool Connection::IsConnected() const
{
    return d->ready;
}

QByteArray Connection::DefaultOutput()
{
    if (!d->ready)
        return {};
    QByteArray name;
    const auto answer = [](pa_context *, const pa_server_info *info, void *into) {
        if (info && info->default_sink_name)
            *static_cast<QByteArray *>(into) = info->default_sink_name;
    };
    if (!d->wait(pa_context_get_server_info(d->context, answer, &name)))
        return {};
    return name;
}

std::optional<State> Connection::Output(const QByteArray &name)
{
    if (!d->ready || name.isEmpty())
        return std::nullopt;
    std::optional<State> state;
    const auto answer = [](pa_context *, const pa_sink_info *info, int eol, void *into) {
        if (eol || !info)
            return;
        State found;
        found.muted = info->mute != 0;
        for (int channel = 0; channel < info->volume.channels; ++channel)
            found.volume.append(info->volume.values[channel]);
        *static_cast<std::optional<State> *>(into) = found;
    };
    if (!d->wait(pa_context_get_sink_info_by_name(d->context, name.constData(), answer, &state)))
        return std::nullopt;
    return state;
}

bool Connection::SetOutput(const QByteArray &name, const State &state)
{
    if (!d->ready || name.isEmpty() || state.volume.isEmpty() || state.volume.size() > PA_CHANNELS_MAX)
        return false;
    pa_cvolume volume;
    pa_cvolume_init(&volume);
    volume.channels = static_cast<uint8_t>(state.volume.size());
    for (int channel = 0; channel < volume.channels; ++channel)
        volume.values[channel] = std::min<quint32>(state.volume[channel], PA_VOLUME_MAX);
    bool accepted = true;
    const auto answer = [](pa_context *, int success, void *into) {
        if (!success)
            *static_cast<bool *>(into) = false;
    };
    // Unmuted only once the volume is set: a muted output made audible
    // never sounds at the level it was muted at.
    const bool volumeSet =
        d->wait(pa_context_set_sink_volume_by_name(d->context, name.constData(), &volume, answer, &accepted));
    const bool muteSet = d->wait(
        pa_context_set_sink_mute_by_name(d->context, name.constData(), state.muted ? 1 : 0, answer, &accepted));
    return volumeSet && muteSet && accepted;
}

#else

struct Connection::Private
{};

Connection::Connection(int)
    : d(std::make_unique<Private>())
{}

Connection::~Connection() = default;

bool Connection::IsConnected() const
{
    return false;
}

QByteArray Connection::DefaultOutput()
{
    return {};
}

std::optional<State> Connection::Output(const QByteArray &)
{
    return std::nullopt;
}

bool Connection::SetOutput(const QByteArray &, const State &)
{
    return false;
}

#endif

} // namespace OutputVolume
