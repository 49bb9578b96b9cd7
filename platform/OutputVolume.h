#pragma once

#include <QByteArray>
#include <QList>

#include <memory>
#include <optional>

// The mute and volume of the desktop's sound outputs, through the sound
// server's own client library (PulseAudio, and PipeWire's PulseAudio server
// alike). Synchronous and bounded: every call waits at most until the
// connection's deadline, so it belongs on a worker thread, never on the
// clock's. No sound server (or a system without this library): not connected,
// and every call does nothing.
namespace OutputVolume {

// The server's volume unit: Norm is 100 %.
constexpr quint32 Norm = 0x10000U;

// An output's mute and the volume of each of its channels.
struct State
{
    bool muted = false;
    QList<quint32> volume;

    quint32 Loudest() const;
    bool operator==(const State &) const = default;
};

class Connection
{
public:
    // Connects to the user's sound server, never starting one; everything
    // done on this connection must be over within timeoutMs from now.
    explicit Connection(int timeoutMs);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool IsConnected() const;
    // The output sounds play on when they name none; empty when unknown.
    QByteArray DefaultOutput();
    std::optional<State> Output(const QByteArray &name);
    // Sets mute and volume (one value per channel, as read); false when the
    // server refused either or did not answer in time.
    bool SetOutput(const QByteArray &name, const State &state);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace OutputVolume
