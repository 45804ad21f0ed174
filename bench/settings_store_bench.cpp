// Cost of the per-user settings file where an instance meets it: the read of
// the six editor settings at construction and the merge that saves them when
// it closes, for key files of about 1 MB of different kinds, and the whole
// construction of an effect (the entry point's work) over such a file. The
// "names" series shows how the read grows with the number of values.
//
// Run:
//   build/linux/bench/settings_store_bench --benchmark_min_time=0.2
#include "effect/Ambrel.h"
#include "platform/FileAccess.h"
#include "platform/linux/FileSettingsStore.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

constexpr size_t kFileSize = 1000000;

const std::vector<std::string> kSettingNames = {"vuintegration", "vureference", "ppmintegration",
                                                "ppmreturn",     "overcounter", "knobmode"};

enum Kind { kDistinctNames, kOneNameRepeated, kOneLongValue, kRandomBytes, kEmptyLines, kNoHeader };
const char* const kKindNames[] = {"distinctNames", "oneNameRepeated", "oneLongValue",
                                  "randomBytes",   "emptyLines",      "noHeader"};

std::string header()
{
    return std::string(FileSettingsStore::kHeader) + "\n";
}

// About `size` bytes of one-byte values with `names` distinct names (0: as
// many as fit, some 59,000 in 1 MB).
std::string distinctNames(size_t size, size_t names)
{
    std::string text = header();
    char line[64];
    for (size_t i = 0; text.size() < size && (names == 0 || i < names); ++i) {
        std::snprintf(line, sizeof(line), "binary\tn%05zu\t3f\n", i);
        text += line;
    }
    return text;
}

std::string contents(Kind kind)
{
    std::string text;
    switch (kind) {
    case kDistinctNames:
        return distinctNames(kFileSize, 0);
    case kOneNameRepeated:
        text = header();
        while (text.size() < kFileSize)
            text += "binary\tknobmode\t0000003f\n";
        return text;
    case kOneLongValue:
        text = header() + "binary\tknobmode\t";
        text.resize(kFileSize - 2, 'a'); // an even number of digits
        return text + "\n";
    case kRandomBytes:
    case kNoHeader: {
        text = kind == kRandomBytes ? header() : std::string();
        std::mt19937 rng(1);
        while (text.size() < kFileSize)
            text += static_cast<char>(rng() & 0xFF);
        return text;
    }
    case kEmptyLines:
        text = header();
        text.resize(kFileSize, '\n');
        return text;
    }
    return text;
}

// A configuration folder of its own holding one key file.
class ConfigHome {
public:
    explicit ConfigHome(const std::string& text)
    {
        char pattern[] = "/tmp/ambrel-settings-bench-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        home_ = pattern;
        fs::create_directories(home_ / "Nurwerk/Ambrel20");
        if (!writeFileAtomically(file(), std::vector<uint8_t>(text.begin(), text.end())))
            std::abort();
    }
    ~ConfigHome() { fs::remove_all(home_); }
    std::string path() const { return home_.string(); }
    std::string file() const { return (home_ / "Nurwerk/Ambrel20/values").string(); }

private:
    fs::path home_;
};

// The read an instance makes at construction: six names from the root key.
void BM_ReadSettings(benchmark::State& state)
{
    const ConfigHome home(contents(static_cast<Kind>(state.range(0))));
    FileSettingsStore store(home.path());
    for (auto _ : state)
        benchmark::DoNotOptimize(store.read("", kSettingNames));
    state.SetLabel(kKindNames[state.range(0)]);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(home.file())));
}
BENCHMARK(BM_ReadSettings)->DenseRange(kDistinctNames, kNoHeader)->Unit(benchmark::kMillisecond);

// The same read for files of a growing number of distinct names.
void BM_ReadSettingsNames(benchmark::State& state)
{
    const ConfigHome home(distinctNames(kFileSize, static_cast<size_t>(state.range(0))));
    FileSettingsStore store(home.path());
    for (auto _ : state)
        benchmark::DoNotOptimize(store.read("", kSettingNames));
    state.counters["names"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_ReadSettingsNames)->Arg(5000)->Arg(10000)->Arg(20000)->Arg(40000)->Arg(58000)->Unit(
    benchmark::kMillisecond);

// The save an instance makes when it closes: read, merge six values, replace
// the file (flushed to disk).
void BM_SaveSettings(benchmark::State& state)
{
    const ConfigHome home(contents(static_cast<Kind>(state.range(0))));
    FileSettingsStore store(home.path());
    SettingsStore::Values values;
    for (const std::string& name : kSettingNames)
        values.emplace_back(name, SettingsStore::binaryFloat(0.25f));
    for (auto _ : state)
        benchmark::DoNotOptimize(store.write("", values));
    state.SetLabel(kKindNames[state.range(0)]);
}
BENCHMARK(BM_SaveSettings)->Arg(kDistinctNames)->Arg(kRandomBytes)->Unit(benchmark::kMillisecond);

// A whole effect constructed over such a file, as the entry point does; the
// destructor's save, which rewrites the file, and the file's restoration are
// left out of the time.
void BM_ConstructEffect(benchmark::State& state)
{
    const std::string text = contents(static_cast<Kind>(state.range(0)));
    const ConfigHome home(text);
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    for (auto _ : state) {
        auto effect = std::make_unique<Ambrel>(nullptr, variants::kAmbrel2);
        state.PauseTiming();
        effect.reset();
        if (!writeFileAtomically(home.file(), std::vector<uint8_t>(text.begin(), text.end())))
            std::abort();
        state.ResumeTiming();
    }
    ::unsetenv("XDG_CONFIG_HOME");
    state.SetLabel(kKindNames[state.range(0)]);
}
BENCHMARK(BM_ConstructEffect)->DenseRange(kDistinctNames, kNoHeader)->Unit(benchmark::kMillisecond);

} // namespace
