#include "tools/ambrel/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ambrel {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTempo = 120.0; // beats per minute

// A small deterministic noise source (xorshift), uniform in [-1, 1).
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed) {}
    double next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_;
};

double midiToHz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// A band-limited-enough sawtooth from a few harmonics (no aliasing to speak of
// at these pitches), phase in cycles.
double softSaw(double phase, int harmonics)
{
    double s = 0.0;
    for (int h = 1; h <= harmonics; ++h)
        s += std::sin(2.0 * kPi * h * phase) / h;
    return s * (2.0 / kPi);
}

} // namespace

AudioData synthesizeDemo(double sampleRate, double seconds)
{
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    AudioData out;
    out.sampleRate = sampleRate;
    out.channels = 2;
    out.samples.assign(frames * 2, 0.0);

    const double beat = 60.0 / kTempo;          // seconds per beat
    const double sixteenth = beat / 4.0;
    // Chord roots per bar (A minor, F, C, G) and their triads as MIDI notes.
    const int roots[4] = {45, 41, 48, 43};
    const int triads[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};

    Noise snareNoise(0x1234567u);
    Noise hatNoise(0x89ABCDEu);
    double hatHp = 0.0, hatPrev = 0.0;
    double bassLp = 0.0;
    double kickPhase = 0.0;
    double bassPhase = 0.0;
    double chordPhase[3][2] = {};

    for (size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / sampleRate;
        const int bar = static_cast<int>(t / (4.0 * beat)) % 4;
        const double inBeat = std::fmod(t, beat);
        const double inSixteenth = std::fmod(t, sixteenth);
        const int step = static_cast<int>(t / sixteenth) % 16;

        // Kick on every beat: a sine falling from 150 Hz to 50 Hz.
        const double kickFreq = 50.0 + 100.0 * std::exp(-inBeat * 30.0);
        kickPhase += kickFreq / sampleRate;
        const double kick = std::sin(2.0 * kPi * kickPhase) * std::exp(-inBeat * 7.0);

        // Snare on beats 2 and 4: a noise burst over a 185 Hz body.
        const int beatInBar = static_cast<int>(t / beat) % 4;
        double snare = 0.0;
        const double sn = snareNoise.next();
        if (beatInBar == 1 || beatInBar == 3)
            snare = (0.8 * sn * std::exp(-inBeat * 18.0) + 0.5 * std::sin(2.0 * kPi * 185.0 * inBeat) *
                                                               std::exp(-inBeat * 25.0));

        // Closed hi-hat on eighth notes: high-passed noise, short decay.
        const double hn = hatNoise.next();
        hatHp = 0.6 * (hatHp + hn - hatPrev);
        hatPrev = hn;
        const double hat = (step % 2 == 0) ? hatHp * std::exp(-inSixteenth * 60.0) : 0.0;

        // Bass: the bar's root on eighth notes, one octave jump on the off-beats,
        // through a one-pole low-pass.
        const int bassNote = roots[bar] + ((step % 4 == 2) ? 12 : 0);
        bassPhase += midiToHz(bassNote) / sampleRate;
        bassPhase -= std::floor(bassPhase);
        const double bassEnv = std::exp(-std::fmod(t, beat / 2.0) * 4.0);
        const double bassRaw = softSaw(bassPhase, 12) * bassEnv;
        bassLp += (bassRaw - bassLp) * (1.0 - std::exp(-2.0 * kPi * 900.0 / sampleRate));

        // Chords: three slightly detuned saws per note pair, spread left and right,
        // swelling on each bar.
        const double inBar = std::fmod(t, 4.0 * beat);
        const double chordEnv = std::min(1.0, inBar * 8.0) * (0.6 + 0.4 * std::exp(-inBar * 1.5));
        double chordL = 0.0, chordR = 0.0;
        for (int v = 0; v < 3; ++v) {
            const double f = midiToHz(triads[bar][v]);
            chordPhase[v][0] += f * 0.9985 / sampleRate;
            chordPhase[v][1] += f * 1.0015 / sampleRate;
            chordPhase[v][0] -= std::floor(chordPhase[v][0]);
            chordPhase[v][1] -= std::floor(chordPhase[v][1]);
            chordL += softSaw(chordPhase[v][0], 8);
            chordR += softSaw(chordPhase[v][1], 8);
        }
        chordL *= chordEnv / 3.0;
        chordR *= chordEnv / 3.0;

        const double centre = 0.9 * kick + 0.55 * bassLp + 0.45 * snare;
        out.samples[2 * n] = centre + 0.18 * hat + 0.22 * chordL;
        out.samples[2 * n + 1] = centre + 0.10 * hat + 0.22 * chordR;
    }

    // Short fades so the file starts and ends without a click, then the peak.
    const size_t fade = std::min(frames / 2, static_cast<size_t>(0.005 * sampleRate));
    for (size_t i = 0; i < fade; ++i) {
        const double g = static_cast<double>(i) / static_cast<double>(fade);
        for (int c = 0; c < 2; ++c) {
            out.samples[2 * i + c] *= g;
            out.samples[2 * (frames - 1 - i) + c] *= g;
        }
    }
    double peak = 0.0;
    for (const double s : out.samples)
        peak = std::max(peak, std::fabs(s));
    if (peak > 0.0)
        for (double& s : out.samples)
            s *= kDemoPeak / peak;
    return out;
}

} // namespace ambrel
