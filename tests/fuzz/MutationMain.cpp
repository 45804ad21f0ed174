// A driver for fuzz targets where libFuzzer is not at hand (GCC builds, the
// sanitizer build): runs every seed of the corpus, then a seeded loop of
// random mutations of them, for a number of runs or seconds. It takes the
// libFuzzer options it understands, so both drivers run from one command:
//   fuzz_presets [-runs=N] [-max_total_time=S] [-seed=K] CORPUS_DIR_OR_FILE...
// A failed check or a sanitizer report ends the program; the same seed
// repeats the same inputs.
#include "FuzzTarget.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Input = std::vector<uint8_t>;

void addSeeds(const std::filesystem::path& path, std::vector<Input>& pool)
{
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        pool.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
}

// Bytes that often matter: the format's own marks, text separators, and
// floats at and beyond the edges of a parameter's range.
void writeInteresting(Input& input, std::mt19937& rng)
{
    static const float floats[] = {0.0f, 1.0f, 0.5f, -1.0f, 2.0f, 1e30f, -1e30f, 1e-40f,
                                   std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity()};
    static const char* const texts[] = {"BARN", "NRAB", "7", "!", "\t", "\n", "\r\n", "binary\t", "string\t",
                                        "NurwerkSettings 1\n", "\0"};
    const size_t at = input.empty() ? 0 : rng() % input.size();
    if (rng() % 2) {
        uint8_t bytes[4];
        std::memcpy(bytes, &floats[rng() % std::size(floats)], 4);
        const size_t aligned = at & ~size_t(3);
        for (size_t i = 0; i < 4 && aligned + i < input.size(); ++i)
            input[aligned + i] = bytes[i];
    } else {
        const char* text = texts[rng() % std::size(texts)];
        const size_t length = std::max<size_t>(std::strlen(text), 1);
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), text, text + length);
    }
}

void mutate(Input& input, const std::vector<Input>& pool, std::mt19937& rng)
{
    const int steps = 1 + static_cast<int>(rng() % 4);
    for (int s = 0; s < steps; ++s) {
        const size_t size = input.size();
        const size_t at = size ? rng() % size : 0;
        switch (rng() % 8) {
        case 0: // flip a bit
            if (size)
                input[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case 1: // a random byte
            if (size)
                input[at] = static_cast<uint8_t>(rng());
            break;
        case 2: // insert random bytes
            for (size_t n = 1 + rng() % 16; n > 0; --n)
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(rng()));
            break;
        case 3: // erase a range
            if (size)
                input.erase(input.begin() + static_cast<std::ptrdiff_t>(at),
                            input.begin() + static_cast<std::ptrdiff_t>(std::min(size, at + 1 + rng() % 64)));
            break;
        case 4: { // repeat a range
            const size_t length = std::min(size - at, static_cast<size_t>(1 + rng() % 256));
            const Input copy(input.begin() + static_cast<std::ptrdiff_t>(at),
                             input.begin() + static_cast<std::ptrdiff_t>(at + length));
            input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), copy.begin(), copy.end());
            break;
        }
        case 5: { // the head of this input, the tail of another
            const Input& other = pool[rng() % pool.size()];
            const size_t from = other.empty() ? 0 : rng() % other.size();
            input.resize(at);
            input.insert(input.end(), other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
            break;
        }
        case 6: // cut short
            input.resize(at);
            break;
        default:
            writeInteresting(input, rng);
            break;
        }
    }
}

bool option(const char* arg, const char* name, long& value)
{
    const size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0)
        return false;
    value = std::strtol(arg + length, nullptr, 10);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    long runs = -1, seconds = 0, seed = 1;
    std::vector<Input> pool;
    for (int i = 1; i < argc; ++i) {
        if (option(argv[i], "-runs=", runs) || option(argv[i], "-max_total_time=", seconds) ||
            option(argv[i], "-seed=", seed))
            continue;
        if (argv[i][0] == '-')
            continue; // a libFuzzer option this driver has no use for
        addSeeds(argv[i], pool);
    }
    if (pool.empty())
        pool.emplace_back();
    // libFuzzer never passes a null pointer, not even for no bytes.
    static const uint8_t none = 0;
    const auto run = [](const Input& input) {
        LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
    };
    for (const Input& input : pool)
        run(input);
    const size_t seeds = pool.size();

    std::mt19937 rng(static_cast<uint32_t>(seed));
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] { return std::chrono::steady_clock::now() - start; };
    if (runs < 0 && seconds <= 0)
        runs = 10000;
    long done = 0;
    while ((runs < 0 || done < runs) && (seconds <= 0 || elapsed() < std::chrono::seconds(seconds))) {
        Input input = pool[rng() % pool.size()];
        mutate(input, pool, rng);
        if (input.size() > (1u << 20))
            input.resize(1u << 20);
        run(input);
        // Some mutants become seeds, so that mutations pile up.
        if (pool.size() < 512 && rng() % 8 == 0)
            pool.push_back(std::move(input));
        ++done;
    }
    std::printf("%zu seeds and %ld mutations (seed %ld) in %.1f s: no failure\n", seeds, done, seed,
                std::chrono::duration<double>(elapsed()).count());
    return 0;
}
