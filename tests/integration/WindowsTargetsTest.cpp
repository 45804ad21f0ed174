// The Windows builds, checked from the Linux build: the Windows `ambrel` runs
// under Wine, loads each DLL through its entry point and must give exactly
// the answers the Linux plug-in gives, texts and numbers alike; the DLLs
// must need no runtime library beside them and export only the entry point.
#include "IntegrationSupport.h"

#include "tools/ambrel/DemoSignal.h"
#include "tools/ambrel/WavFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

using namespace ambrel;
using namespace ambrel::testing;
namespace fs = std::filesystem;

namespace {

struct WindowsTarget {
    const char* label;
    const char* buildDir;
    const char* objdump;
};

const WindowsTarget kWin32{"win32", AMBREL_WIN32_DIR, AMBREL_OBJDUMP_WIN32};
const WindowsTarget kWin64{"win64", AMBREL_WIN64_DIR, AMBREL_OBJDUMP_WIN64};

struct Case {
    const WindowsTarget* target;
    const BuildExpectation* build;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.target->label << " " << c.build->label;
}

std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    return std::string(info.param.target->label) + "_" + info.param.build->label;
}

class WindowsTargetTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        if (std::string(target().buildDir).empty())
            GTEST_SKIP() << "no " << target().label << " build folder configured (AMBREL_WIN32_DIR / AMBREL_WIN64_DIR)";
        ASSERT_TRUE(fs::exists(dll())) << dll();
        ASSERT_TRUE(fs::exists(tool())) << tool();
    }

    // Whether this machine can run the target's programs at all: a kernel
    // without 32-bit support cannot start the 32-bit Wine loader, and the
    // Wine wrapper then answers 77. Asked once per target.
    bool wineRunsTarget() const
    {
        static std::map<std::string, bool> known;
        auto it = known.find(target().label);
        if (it == known.end())
            it = known.emplace(target().label, wineAmbrel("presets " + windowsPath(dll())).exitCode != 77).first;
        return it->second;
    }

    const WindowsTarget& target() const { return *GetParam().target; }
    const BuildExpectation& build() const { return *GetParam().build; }
    fs::path dll() const { return fs::path(target().buildDir) / (std::string(build().label) + ".dll"); }
    fs::path tool() const { return fs::path(target().buildDir) / "tools" / "ambrel.exe"; }

    // Runs the Windows tool under Wine: a private prefix, no display, no
    // installer prompts. Paths are given through Wine's Z: drive.
    CommandResult wineAmbrel(const std::string& arguments) const
    {
        if (std::string(AMBREL_WINE).empty())
            return {127, "", "wine not found"};
        const std::string env = "env -u DISPLAY WINEPREFIX=" + shellQuote(AMBREL_WINEPREFIX) +
                                " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
        return runCommand(env + shellQuote(AMBREL_WINE) + " " + shellQuote(tool().string()) + " " + arguments);
    }

    static std::string windowsPath(const fs::path& path) { return shellQuote("Z:" + fs::absolute(path).string()); }
};

// Lines of two texts side by side where they first differ.
std::string firstDifference(const std::string& a, const std::string& b)
{
    std::istringstream sa(a), sb(b);
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool ha = static_cast<bool>(std::getline(sa, la));
        const bool hb = static_cast<bool>(std::getline(sb, lb));
        if (!ha && !hb)
            return "";
        if (!ha || !hb || la != lb)
            return "line " + std::to_string(line) + ":\n  linux:   " + (ha ? la : "<end>") +
                   "\n  windows: " + (hb ? lb : "<end>");
    }
}

// The tests that run the Windows tool skip where Wine cannot run the target.
#define SKIP_UNLESS_WINE_RUNS_TARGET()                                                                               \
    if (!wineRunsTarget())                                                                                          \
    GTEST_SKIP() << "Wine cannot run " << target().label << " programs on this machine (see tests/support/wine.sh)"

TEST_P(WindowsTargetTest, InfoMatchesTheLinuxPluginExactly)
{
    SKIP_UNLESS_WINE_RUNS_TARGET();
    for (const char* rate : {"44100", "96000", "192000"}) {
        const CommandResult linux = runCommand(shellQuote(AMBREL_TOOL) + " info --json --rate " + rate + " " +
                                               shellQuote(build().pluginPath));
        ASSERT_EQ(linux.exitCode, 0) << linux.errors;
        const CommandResult windows = wineAmbrel(std::string("info --json --rate ") + rate + " " + windowsPath(dll()));
        ASSERT_EQ(windows.exitCode, 0) << windows.errors;
        EXPECT_EQ(firstDifference(linux.output, windows.output), "") << "at " << rate << " Hz";
        EXPECT_NE(windows.output.find("\"effClose\": 1"), std::string::npos);
    }
    // The same after a preset and a few values the displays must format alike.
    const std::string values = " --preset 'Mix Finalize 2' --param drive=0.123456 --param 13=0.987 --param 11=0.3";
    const CommandResult linux =
        runCommand(shellQuote(AMBREL_TOOL) + " info --json " + shellQuote(build().pluginPath) + values);
    ASSERT_EQ(linux.exitCode, 0) << linux.errors;
    const CommandResult windows = wineAmbrel("info --json " + windowsPath(dll()) + values);
    ASSERT_EQ(windows.exitCode, 0) << windows.errors;
    EXPECT_EQ(firstDifference(linux.output, windows.output), "");
}

// The same sound through the Windows DLL as through the Linux plug-in.
TEST_P(WindowsTargetTest, RenderMatchesTheLinuxPlugin)
{
    SKIP_UNLESS_WINE_RUNS_TARGET();
    const fs::path dir = workDir(std::string("wine-render-") + target().label + "-" + build().label);
    std::string error;
    ASSERT_TRUE(writeWavFile((dir / "in.wav").string(), synthesizeDemo(44100.0, 1.0), error)) << error;
    const std::string values =
        " --compensate --preset 'Mastering First Aid' --param drive=0.7" + std::string(build().numParams == 42 ? " --param fat=1" : "");
    const CommandResult linux = runCommand(shellQuote(AMBREL_TOOL) + " render " + shellQuote(build().pluginPath) +
                                           " " + shellQuote((dir / "in.wav").string()) + " " +
                                           shellQuote((dir / "linux.wav").string()) + values);
    ASSERT_EQ(linux.exitCode, 0) << linux.errors;
    const CommandResult windows = wineAmbrel("render " + windowsPath(dll()) + " " + windowsPath(dir / "in.wav") + " " +
                                             windowsPath(dir / "windows.wav") + values);
    ASSERT_EQ(windows.exitCode, 0) << windows.errors;

    AudioData a, b;
    ASSERT_TRUE(readWavFile((dir / "linux.wav").string(), a, error)) << error;
    ASSERT_TRUE(readWavFile((dir / "windows.wav").string(), b, error)) << error;
    ASSERT_EQ(a.samples.size(), b.samples.size());
    // The builds keep one order of arithmetic on every target (no contraction,
    // SSE2 on 32-bit x86), so the sound is the same to the last bit.
    double worst = 0.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        worst = std::max(worst, std::fabs(a.samples[i] - b.samples[i]));
        differing += a.samples[i] != b.samples[i];
    }
    EXPECT_EQ(differing, 0u) << "largest difference " << worst;
}

// Each load places the effect object somewhere else on the heap; a fault that
// depends on where (an over-aligned member, say) shows up in one run of a few.
TEST_P(WindowsTargetTest, ManyLoadsRenderWithoutFault)
{
    SKIP_UNLESS_WINE_RUNS_TARGET();
    const fs::path dir = workDir(std::string("wine-loads-") + target().label + "-" + build().label);
    std::string error;
    ASSERT_TRUE(writeWavFile((dir / "in.wav").string(), synthesizeDemo(44100.0, 0.1), error)) << error;
    for (int run = 0; run < 8; ++run) {
        const CommandResult r = wineAmbrel("render " + windowsPath(dll()) + " " + windowsPath(dir / "in.wav") + " " +
                                           windowsPath(dir / "out.wav") + " --param 26=1 --double");
        ASSERT_EQ(r.exitCode, 0) << "run " << run << ": " << r.errors;
    }
}

// Only Windows' own libraries: the C and C++ runtimes and threads are linked in.
TEST_P(WindowsTargetTest, NeedsOnlySystemLibraries)
{
    static const std::set<std::string> system = {
        "kernel32.dll", "user32.dll",  "gdi32.dll",   "advapi32.dll", "msvcrt.dll",  "comdlg32.dll",
        "ole32.dll",    "oleaut32.dll", "shell32.dll", "msimg32.dll",  "gdiplus.dll", "comctl32.dll",
        "shlwapi.dll",  "winmm.dll",   "version.dll", "uxtheme.dll"};
    for (const fs::path& binary : {dll(), tool()}) {
        const CommandResult dump = runCommand(shellQuote(target().objdump) + " -p " + shellQuote(binary.string()));
        ASSERT_EQ(dump.exitCode, 0) << dump.errors;
        std::istringstream lines(dump.output);
        std::string line;
        int imports = 0;
        while (std::getline(lines, line)) {
            const size_t at = line.find("DLL Name: ");
            if (at == std::string::npos)
                continue;
            std::string name = line.substr(at + 10);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            ++imports;
            EXPECT_TRUE(system.count(name)) << binary.filename() << " needs " << name;
        }
        EXPECT_GT(imports, 0) << dump.output;
    }
}

TEST_P(WindowsTargetTest, ExportsOnlyTheEntryPointUnderBothNames)
{
    const CommandResult dump = runCommand(shellQuote(target().objdump) + " -p " + shellQuote(dll().string()));
    ASSERT_EQ(dump.exitCode, 0) << dump.errors;
    std::istringstream lines(dump.output);
    std::string line;
    std::vector<std::string> rvas;
    std::vector<std::string> names;
    enum { None, Addresses, Names } section = None;
    while (std::getline(lines, line)) {
        if (line.find("Export Address Table -- Ordinal Base") != std::string::npos) {
            section = Addresses;
            continue;
        }
        if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
            section = Names;
            continue;
        }
        if (line.find('[') == std::string::npos || line.find(']') == std::string::npos) {
            if (section != None && !line.empty() && line.find_first_not_of(" \t") != std::string::npos)
                section = None;
            continue;
        }
        if (section == Addresses) {
            // "[   0] +base[   1] 14b0 Export RVA"
            std::istringstream fields(line.substr(line.rfind(']') + 1));
            std::string rva;
            fields >> rva;
            rvas.push_back(rva);
        } else if (section == Names) {
            std::istringstream fields(line.substr(line.find(']') + 1));
            std::string name;
            fields >> name;
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"VSTPluginMain", "main"})) << dump.output;
    ASSERT_EQ(rvas.size(), 2u) << dump.output;
    EXPECT_EQ(rvas[0], rvas[1]);
}

INSTANTIATE_TEST_SUITE_P(AllTargets, WindowsTargetTest,
                         ::testing::Values(Case{&kWin32, &kAmbrel2}, Case{&kWin32, &kAmbrel1},
                                           Case{&kWin64, &kAmbrel2}, Case{&kWin64, &kAmbrel1}),
                         caseName);

} // namespace
