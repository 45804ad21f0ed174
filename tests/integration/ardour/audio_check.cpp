// Test signal and audio comparisons for the Ardour integration test.
//
//   audio_check signal OUT.wav RATE
//       Writes the stereo test signal (32-bit float) at RATE and prints its
//       length in frames.
//   audio_check align INPUT.wav RENDER.wav MAXLAG [MINCORR]
//       Cross-correlates the render with the input over lags -MAXLAG..MAXLAG
//       (both channels together) and passes when the peak is at lag 0 and the
//       normalised correlation there is at least MINCORR (default 0.9).
//   audio_check compare A.wav B.wav TOLERANCE
//       Passes when both files have the same rate, channels and length and no
//       sample differs by more than TOLERANCE.
//   audio_check differ A.wav B.wav MINIMUM
//       Passes when both files have the same shape and some sample differs
//       by at least MINIMUM.
//
// Exit status: 0 pass, 1 fail, 2 usage or file error.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Audio {
    int rate = 0;
    int channels = 0;
    std::vector<std::vector<double>> ch; // one vector per channel
    size_t frames() const { return ch.empty() ? 0 : ch[0].size(); }
};

bool readWav(const char* path, Audio& audio)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (!f) {
        std::fprintf(stderr, "cannot read %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    std::vector<double> interleaved(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_double(f, interleaved.data(), info.frames);
    sf_close(f);
    if (got != info.frames) {
        std::fprintf(stderr, "short read from %s\n", path);
        return false;
    }
    audio.rate = info.samplerate;
    audio.channels = info.channels;
    audio.ch.assign(static_cast<size_t>(info.channels), std::vector<double>(static_cast<size_t>(info.frames)));
    for (size_t i = 0; i < static_cast<size_t>(info.frames); ++i)
        for (size_t c = 0; c < audio.ch.size(); ++c)
            audio.ch[c][i] = interleaved[i * audio.ch.size() + c];
    return true;
}

// Small deterministic generator, so the signal is the same on every machine
// and in every run.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed) {}
    double next() // uniform in [-1, 1)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

constexpr double kPi = 3.14159265358979323846;
constexpr double kSeconds = 3.0;

// About three seconds: silence, noise bursts with hard onsets, tone bursts,
// a loud passage that makes a compressor work, single clicks, a quiet
// passage and silence at the end for tails. The channels differ everywhere,
// so a swapped or duplicated channel shows. Peak stays below 0.8.
int writeSignal(const char* path, int rate)
{
    const size_t n = static_cast<size_t>(kSeconds * rate);
    std::vector<float> out(n * 2, 0.0f);
    Noise noiseL(0x1234567u), noiseR(0x89abcdefu);
    auto at = [rate](double seconds) { return static_cast<size_t>(seconds * rate); };
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double nl = noiseL.next();
        const double nr = noiseR.next();
        double l = 0.0, r = 0.0;
        if (t >= 0.20 && t < 0.50)
            l += 0.30 * nl * std::exp(-(t - 0.20) * 6.0);
        if (t >= 0.27 && t < 0.55)
            r += 0.25 * nr * std::exp(-(t - 0.27) * 4.0);
        if (t >= 0.60 && t < 1.20) {
            l += 0.25 * std::sin(2.0 * kPi * 220.0 * (t - 0.60)) + 0.10 * std::sin(2.0 * kPi * 3000.0 * (t - 0.60));
            r += 0.30 * std::sin(2.0 * kPi * 330.0 * (t - 0.60));
        }
        if (t >= 1.30 && t < 1.80) {
            l += 0.55 * nl + 0.2 * std::sin(2.0 * kPi * 110.0 * (t - 1.30));
            r += 0.45 * nr + 0.25 * std::sin(2.0 * kPi * 7000.0 * (t - 1.30));
        }
        if (i == at(1.90) || i == at(2.00))
            l += 0.75;
        if (i == at(1.95))
            r -= 0.70;
        if (t >= 2.10 && t < 2.60) {
            l += 0.01 * nl + 0.05 * std::sin(2.0 * kPi * 1000.0 * (t - 2.10)) * std::exp(-(t - 2.10) * 5.0);
            r += 0.01 * nr;
        }
        out[2 * i] = static_cast<float>(l);
        out[2 * i + 1] = static_cast<float>(r);
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path, SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "cannot write %s: %s\n", path, sf_strerror(nullptr));
        return 2;
    }
    const sf_count_t written = sf_writef_float(f, out.data(), static_cast<sf_count_t>(n));
    sf_close(f);
    if (written != static_cast<sf_count_t>(n))
        return 2;
    std::printf("%zu\n", n);
    return 0;
}

bool sameShape(const Audio& a, const Audio& b)
{
    if (a.rate != b.rate || a.channels != b.channels || a.frames() != b.frames()) {
        std::printf("shape differs: %d Hz %d ch %zu frames against %d Hz %d ch %zu frames\n", a.rate, a.channels,
                    a.frames(), b.rate, b.channels, b.frames());
        return false;
    }
    return true;
}

void fft(std::vector<std::complex<double>>& x, bool inverse)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = 2.0 * kPi / static_cast<double>(len) * (inverse ? 1.0 : -1.0);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = x[i + k];
                const std::complex<double> v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
    if (inverse)
        for (auto& v : x)
            v /= static_cast<double>(n);
}

int align(const char* inputPath, const char* renderPath, long maxLag, double minCorr)
{
    Audio in, out;
    if (!readWav(inputPath, in) || !readWav(renderPath, out))
        return 2;
    if (!sameShape(in, out))
        return 1;
    const size_t frames = in.frames();
    size_t size = 1;
    while (size < frames + static_cast<size_t>(maxLag) + 1)
        size <<= 1;

    // r(lag) = sum over channels and n of render[n + lag] * input[n].
    std::vector<std::complex<double>> cross(size);
    double energyIn = 0.0, energyOut = 0.0, maxDiff = 0.0;
    for (int c = 0; c < in.channels; ++c) {
        std::vector<std::complex<double>> a(size), b(size);
        for (size_t i = 0; i < frames; ++i) {
            a[i] = in.ch[c][i];
            b[i] = out.ch[c][i];
            energyIn += in.ch[c][i] * in.ch[c][i];
            energyOut += out.ch[c][i] * out.ch[c][i];
            maxDiff = std::max(maxDiff, std::fabs(out.ch[c][i] - in.ch[c][i]));
        }
        fft(a, false);
        fft(b, false);
        for (size_t k = 0; k < size; ++k)
            cross[k] += b[k] * std::conj(a[k]);
    }
    fft(cross, true);
    long peakLag = 0;
    double peak = -1e300;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        const double r = cross[static_cast<size_t>(lag < 0 ? static_cast<long>(size) + lag : lag)].real();
        if (r > peak) {
            peak = r;
            peakLag = lag;
        }
    }
    const double r0 = cross[0].real();
    const double corr = energyIn > 0.0 && energyOut > 0.0 ? r0 / std::sqrt(energyIn * energyOut) : 0.0;
    const double gainDb = 10.0 * std::log10(energyOut / energyIn);
    std::printf("correlation peak at lag %ld (searched +-%ld), normalised correlation at lag 0 %.6f, "
                "level change %+.3f dB, max |render - input| %.3g%s\n",
                peakLag, maxLag, corr, gainDb, maxDiff, maxDiff == 0.0 ? " (identical)" : "");
    if (peakLag < 0) {
        std::printf("FAIL: the render leads the input by %ld samples (latency compensated that the plug-in "
                    "does not introduce)\n",
                    -peakLag);
        return 1;
    }
    if (peakLag > 0) {
        std::printf("FAIL: the render lags the input by %ld samples (delay the plug-in does not report, or "
                    "latency left uncompensated)\n",
                    peakLag);
        return 1;
    }
    if (!(corr >= minCorr)) {
        std::printf("FAIL: correlation at lag 0 below %.3f\n", minCorr);
        return 1;
    }
    return 0;
}

// Largest sample difference between two renders of the same shape, and
// where it is; a NaN on either side counts as an infinite difference.
struct Difference {
    double max = 0.0;
    size_t frame = 0;
    int channel = 0;
};

Difference largestDifference(const Audio& a, const Audio& b)
{
    Difference worst;
    for (int c = 0; c < a.channels; ++c)
        for (size_t i = 0; i < a.frames(); ++i) {
            const double d = std::fabs(a.ch[c][i] - b.ch[c][i]);
            if (d > worst.max || std::isnan(d))
                worst = {std::isnan(d) ? INFINITY : d, i, c};
        }
    return worst;
}

int compare(const char* pathA, const char* pathB, double tolerance)
{
    Audio a, b;
    if (!readWav(pathA, a) || !readWav(pathB, b))
        return 2;
    if (!sameShape(a, b))
        return 1;
    const Difference worst = largestDifference(a, b);
    std::printf("max difference %.3g (frame %zu, channel %d), tolerance %.3g\n", worst.max, worst.frame,
                worst.channel, tolerance);
    if (!(worst.max <= tolerance)) {
        std::printf("FAIL: renders differ\n");
        return 1;
    }
    return 0;
}

int differ(const char* pathA, const char* pathB, double minimum)
{
    Audio a, b;
    if (!readWav(pathA, a) || !readWav(pathB, b))
        return 2;
    if (!sameShape(a, b))
        return 1;
    const double maxDiff = largestDifference(a, b).max;
    std::printf("max difference %.3g, at least %.3g wanted\n", maxDiff, minimum);
    if (!(maxDiff >= minimum)) {
        std::printf("FAIL: the renders do not differ\n");
        return 1;
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: audio_check signal OUT.wav RATE\n"
                         "       audio_check align INPUT.wav RENDER.wav MAXLAG [MINCORR]\n"
                         "       audio_check compare A.wav B.wav TOLERANCE\n"
                         "       audio_check differ A.wav B.wav MINIMUM\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "signal" && argc == 4)
        return writeSignal(argv[2], std::atoi(argv[3]));
    if (command == "align" && (argc == 5 || argc == 6))
        return align(argv[2], argv[3], std::atol(argv[4]), argc == 6 ? std::atof(argv[5]) : 0.9);
    if (command == "compare" && argc == 5)
        return compare(argv[2], argv[3], std::atof(argv[4]));
    if (command == "differ" && argc == 5)
        return differ(argv[2], argv[3], std::atof(argv[4]));
    return usage();
}
