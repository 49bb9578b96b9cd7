// The alarm chime: two struck bell notes, a third apart, each a handful of
// decaying partials. Pure arithmetic, so every build writes the same file.

#include "tools/ArtworkGenerator.h"

#include "resources/ArtworkConstants.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ArtworkGenerator {
namespace {

constexpr double kTwoPi = 6.28318530717958647692;

struct Partial
{
    double ratio;     // to the note's pitch
    double amplitude; // at the strike
    double decay;     // seconds to fall to 1/e
};

// A small bell: the hum below, the strike note, a minor third, a fifth, the octave
// and two short metallic overtones that give the attack its ring.
constexpr Partial kBell[] = {
    {0.5, 0.18, 1.10}, {1.0, 1.00, 0.80},  {1.19, 0.30, 0.55}, {1.5, 0.22, 0.45},
    {2.0, 0.35, 0.35}, {2.74, 0.14, 0.18}, {4.07, 0.07, 0.08},
};

struct Strike
{
    double start;     // seconds
    double frequency; // Hz
    double loudness;
};

constexpr Strike kStrikes[] = {{0.0, 1318.51, 1.0}, {0.30, 1046.50, 0.85}};

void PutLe32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void PutLe16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

} // namespace

QByteArray ChimeWav()
{
    const int rate = Artwork::kChimeSampleRate;
    const int frames = int(Artwork::kChimeSeconds * rate);
    std::vector<double> wave(size_t(frames), 0.0);
    for (const Strike &strike : kStrikes) {
        const int first = int(strike.start * rate);
        for (int i = first; i < frames; ++i) {
            const double t = double(i - first) / rate;
            const double attack = std::min(1.0, t / 0.003); // no click at the strike
            double v = 0;
            for (const Partial &p : kBell) {
                // A slightly detuned twin of each partial makes the bell shimmer.
                const double f = strike.frequency * p.ratio;
                v += p.amplitude * std::exp(-t / p.decay) *
                     (0.7 * std::sin(kTwoPi * f * t) + 0.3 * std::sin(kTwoPi * f * 1.0023 * t));
            }
            wave[size_t(i)] += strike.loudness * attack * v;
        }
    }
    // Fade the tail to silence and leave some headroom.
    const int fade = rate / 10;
    for (int i = 0; i < fade; ++i)
        wave[size_t(frames - fade + i)] *= 1.0 - double(i) / fade;
    double peak = 0;
    for (double v : wave)
        peak = std::max(peak, std::abs(v));
    const double gain = 0.7 * 32767 / peak;

    QByteArray data;
    data.reserve(frames * 2);
    for (double v : wave)
        PutLe16(data, quint16(qint16(std::lround(v * gain))));

    QByteArray wav;
    wav.append("RIFF");
    PutLe32(wav, quint32(36 + data.size()));
    wav.append("WAVE");
    wav.append("fmt ");
    PutLe32(wav, 16);
    PutLe16(wav, 1); // PCM
    PutLe16(wav, 1); // mono
    PutLe32(wav, quint32(rate));
    PutLe32(wav, quint32(rate * 2));
    PutLe16(wav, 2);
    PutLe16(wav, 16);
    wav.append("data");
    PutLe32(wav, quint32(data.size()));
    wav.append(data);
    return wav;
}

} // namespace ArtworkGenerator
