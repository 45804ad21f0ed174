#include "tests/effect/RenderChecksums.h"

#include "effect/Ambrel.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace renderChecksums {
namespace {

// Settings survive nothing: the renders neither read nor write the user's.
class NullStore : public SettingsStore {
public:
    std::optional<Values> read(const std::string&, const std::vector<std::string>&) override { return std::nullopt; }
    long write(const std::string&, const Values&) override { return 0; }
};

struct Setting {
    ParamId id;
    float value;
};

// A scene: host rate, editor open (metering) or not, the controls set after
// the kernel is chosen, and the controls moved halfway through.
struct Scene {
    const char* name;
    float rate;
    bool editorOpen;
    std::vector<Setting> settings;
    std::vector<Setting> halfway;
};

const std::vector<Scene>& scenes()
{
    using P = ParamId;
    static const std::vector<Scene> all = {
        // Hard driving with everything that branches per sample switched on;
        // the one-channel kernels process the left channel.
        {"a",
         44100.0f,
         true,
         {{P::Brickwall, 1}, {P::Auto, 1}, {P::Long, 0}, {P::Knee, 0.6f}, {P::Speed, 0.3f}, {P::Release, 0.4f},
          {P::Drive, 0.8f}, {P::Ceiling, 0.4f}, {P::Output, 0.55f}, {P::Mix, 1}, {P::LR, 0.5f}, {P::Meters, 0.5f},
          {P::MeterType, 1}, {P::PpmIntegr, 0.3f}, {P::PpmReturn, 0.6f}, {P::OverIndic, 0}, {P::LowSat, 0.3f},
          {P::HighSat, 0.8f}, {P::MidRel, 0.2f}},
         {{P::Speed, 0.05f}, {P::Drive, 0.9f}}},
        // Everything off that can be; tone and band controls away from their
        // centres; the right channel processed.
        {"b",
         44100.0f,
         true,
         {{P::Brickwall, 0}, {P::Auto, 0}, {P::Long, 1}, {P::Knee, 0.1f}, {P::Speed, 0.9f}, {P::Release, 0.7f},
          {P::Drive, 0.7f}, {P::Mix, 0.7f}, {P::HighAdjust, 0.7f}, {P::LowAdjust, 0.3f}, {P::LowFreq, 0.6f},
          {P::HighFreq, 0.4f}, {P::LR, 1}, {P::Meters, 1}, {P::MeterType, 0}, {P::VuIntegr, 0.2f},
          {P::VuRefer, 0.7f}, {P::LowRel, 0.8f}, {P::HighRel, 0.1f}, {P::MidSat, 0.2f}},
         {{P::Speed, 0.6f}, {P::Release, 0.2f}}},
        // Defaults at 96 kHz with the editor closed.
        {"c", 96000.0f, false, {{P::Drive, 0.75f}}, {{P::Drive, 0.6f}}},
        // 192 kHz, where FAT stays off whatever it is set to.
        {"d",
         192000.0f,
         true,
         {{P::Auto, 1}, {P::Brickwall, 1}, {P::Drive, 0.7f}, {P::Meters, 0}, {P::MeterType, 1}, {P::Knee, 0.2f}},
         {{P::Speed, 0.5f}}},
        // FineTune scaling, gain-reduction VU, soft knee of the second family.
        {"e",
         44100.0f,
         true,
         {{P::FineTune, 0.4f}, {P::Drive, 0.9f}, {P::Ceiling, 0.3f}, {P::Output, 0.7f}, {P::Knee, 0.3f},
          {P::Auto, 1}, {P::Brickwall, 0}, {P::Meters, 0.5f}, {P::MeterType, 0}, {P::HighAdjust, 0.2f}},
         {{P::Brickwall, 1}, {P::Auto, 0}}},
    };
    return all;
}

// Noise from a linear congruential generator, so that the input is the
// same on every target without a library function in its way.
struct Noise {
    uint32_t state;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) * (2.0 / 16777216.0) - 1.0;
    }
};

// Band-limited noise in segments of different levels, from near silence to
// 7 dB over full scale, and a triangle wave on the right.
void signal(size_t n, std::vector<double>& l, std::vector<double>& r)
{
    static const double levels[] = {0.05, 0.6, 2.2, 0.3, 1.0, 0.002, 1.6};
    l.resize(n);
    r.resize(n);
    Noise a{1}, b{2};
    double la = 0.0, lb = 0.0, ra = 0.0;
    double tri = 0.0, step = 0.013;
    for (size_t i = 0; i < n; ++i) {
        const double level = levels[(i / 1100) % 7];
        la = 0.92 * la + 0.25 * a.next();
        lb = 0.6 * lb + 0.4 * la;
        ra = 0.7 * ra + 0.3 * b.next();
        tri += step;
        if (tri > 1.0 || tri < -1.0)
            step = -step;
        l[i] = level * lb * 2.0;
        r[i] = level * (0.5 * ra + 0.5 * tri);
    }
}

struct Hash {
    uint64_t h = 14695981039346656037ull;
    void add(const void* data, size_t size)
    {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            h ^= p[i];
            h *= 1099511628211ull;
        }
    }
};

template <typename T> void process(Ambrel& fx, T** in, T** out, int n);
template <> void process<float>(Ambrel& fx, float** in, float** out, int n)
{
    fx.processReplacing(in, out, n);
}
template <> void process<double>(Ambrel& fx, double** in, double** out, int n)
{
    fx.processDoubleReplacing(in, out, n);
}

template <typename T> uint64_t renderOne(const Variant& variant, int kernel, bool fat, const Scene& scene)
{
    auto fx = std::make_unique<Ambrel>(nullptr, variant);
    fx->setSettingsStore(std::make_unique<NullStore>());
    auto set = [&](ParamId id, float v) { fx->setParameter(variant.index(id), v); };
    // The editor settings as a fresh machine has them.
    for (ParamId id : {ParamId::VuIntegr, ParamId::VuRefer, ParamId::PpmIntegr, ParamId::PpmReturn,
                       ParamId::OverIndic, ParamId::KnobMode})
        set(id, 0.5f);
    fx->setSampleRate(scene.rate);
    fx->resume();
    set(ParamId::Fat, fat ? 1.0f : 0.0f);
    set(ParamId::Process, kernel == 0 ? 0.0f : 1.0f);
    set(ParamId::MonoStereo, (kernel == 1 || kernel == 2) ? 0.0f : 1.0f);
    set(ParamId::Link, (kernel == 3 || kernel == 4) ? 1.0f : 0.0f);
    set(ParamId::Mode, (kernel == 2 || kernel == 4 || kernel == 6) ? 1.0f : 0.0f);
    for (const Setting& s : scene.settings)
        set(s.id, s.value);
    fx->setEditorOpen(scene.editorOpen);

    const size_t frames = scene.rate < 50000.0f ? 6000 : (scene.rate < 100000.0f ? 12000 : 20000);
    std::vector<double> l, r;
    signal(frames, l, r);
    std::vector<T> il(l.begin(), l.end()), ir(r.begin(), r.end()), ol(frames), orr(frames);

    // Host blocks of uneven lengths, so that partial engine blocks occur.
    static const int blocks[] = {512, 37, 64, 1, 300, 128, 100};
    Hash hash;
    size_t pos = 0;
    bool moved = false;
    for (int call = 0; pos < frames; ++call) {
        if (!moved && pos >= frames / 2) {
            for (const Setting& s : scene.halfway)
                set(s.id, s.value);
            moved = true;
        }
        const int n = static_cast<int>(std::min<size_t>(blocks[call % 7], frames - pos));
        T* in[2] = {il.data() + pos, ir.data() + pos};
        T* out[2] = {ol.data() + pos, orr.data() + pos};
        process<T>(*fx, in, out, n);
        hash.add(out[0], sizeof(T) * n);
        hash.add(out[1], sizeof(T) * n);
        const float meters[2] = {fx->getMeterValue(0), fx->getMeterValue(1)};
        hash.add(meters, sizeof meters);
        const unsigned char overs[2] = {fx->takeOverFlag(0), fx->takeOverFlag(1)};
        hash.add(overs, sizeof overs);
        pos += static_cast<size_t>(n);
    }
    return hash.h;
}

} // namespace

std::vector<std::string> render()
{
    std::vector<std::string> lines;
    for (const Variant* variant : {&variants::kAmbrel2, &variants::kAmbrel})
        for (int kernel = 0; kernel < 7; ++kernel)
            for (int fat = 0; fat < 2; ++fat)
                for (int precision = 0; precision < 2; ++precision)
                    for (const Scene& scene : scenes()) {
                        const uint64_t h = precision == 0 ? renderOne<float>(*variant, kernel, fat, scene)
                                                          : renderOne<double>(*variant, kernel, fat, scene);
                        char line[160];
                        std::snprintf(line, sizeof line, "%s kernel=%d fat=%d %s scene=%s rate=%d %016llx",
                                      variant == &variants::kAmbrel2 ? "NurAmbrel2" : "NurAmbrel", kernel, fat,
                                      precision == 0 ? "float" : "double", scene.name, static_cast<int>(scene.rate),
                                      static_cast<unsigned long long>(h));
                        lines.push_back(line);
                    }
    return lines;
}

std::vector<std::string> readFile(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    }
    return lines;
}

bool writeFile(const std::string& path, const std::vector<std::string>& lines)
{
    std::ofstream file(path, std::ios::binary);
    file << "# Checksums of the reference renders (tests/effect/RenderChecksums.cpp).\n"
            "# Regenerate only for an intended change of sound:\n"
            "#   AMBREL_WRITE_RENDER_CHECKSUMS=$PWD/tests/effect/render-checksums.txt \\\n"
            "#       build/linux/tests/ambrel_tests --gtest_filter='*RenderChecksums*'\n";
    for (const std::string& line : lines)
        file << line << '\n';
    return static_cast<bool>(file);
}

std::string compare(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    std::ostringstream out;
    if (expected.size() != actual.size())
        out << expected.size() << " checksums expected, " << actual.size() << " rendered\n";
    int shown = 0;
    for (size_t i = 0; i < std::min(expected.size(), actual.size()) && shown < 8; ++i)
        if (expected[i] != actual[i]) {
            out << "  expected " << expected[i] << "\n  rendered " << actual[i] << '\n';
            ++shown;
        }
    return out.str();
}

} // namespace renderChecksums
