// Ardour 7's GUI as a real host of the plug-in's editor: Debian's `ardour`
// in a private X server (tests/support/with-xvfb.sh), JACK's dummy driver as
// its engine, a session prepared by `ardour7-lua` (ArdourGuiSession.lua)
// with the plug-in on a track and an automation ramp on Drive. The test
// opens the plug-in's window the way a user does (the mixer, a double click
// on the processor), keeps a picture of it, drags Knee in it and reads the
// value back from the session Ardour saves, then rolls the transport and
// watches the host's automation turn the Drive knob, pixel for pixel against
// the editor drawn off-screen (ambrel_editor_render).
//
// Skipped (77) where Ardour 7 or JACK is missing. Ardour's own start-up now
// and then fails on a busy machine (the engine is dropped, the window never
// comes): it is tried up to three times.
#include "tests/integration/IntegrationSupport.h"
#include "tests/integration/WindowTestSupport.h"

#include "editor/Layout.h"
#include "variants/Variant.h"

#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <unistd.h>

namespace ambrel::testing {
namespace {

namespace fs = std::filesystem;
using VSTGUI::CPoint;
using VSTGUI::CRect;

constexpr const char* kArdour = "/usr/bin/ardour";
constexpr const char* kArdourLua = "/usr/bin/ardour7-lua";
constexpr const char* kScanner = "/usr/lib/ardour7/ardour-vst-scanner";
constexpr int kRate = 48000;
constexpr int kAttempts = 3;


// The colours of a plug-in's entry in a mixer strip's processor box (Ardour
// 7's default theme: a dark red gradient, red about 2.15 times green and
// blue), found to double-click it.
bool isProcessorEntryColour(uint32_t p)
{
    const int r = static_cast<int>(p >> 16 & 255), g = static_cast<int>(p >> 8 & 255), b = static_cast<int>(p & 255);
    return g == b && r >= 70 && r <= 130 && g > 0 && r * 100 >= g * 200 && r * 100 <= g * 230;
}

struct Build {
    const char* name;
    const char* plugin;
    const Variant* variant;
};
const Build kBuilds[] = {{"NurAmbrel2", AMBREL2_PLUGIN, &variants::kAmbrel2},
                         {"NurAmbrel", AMBREL1_PLUGIN, &variants::kAmbrel}};

void PrintTo(const Build* build, std::ostream* os) { *os << build->name; }

bool haveProgram(const char* path) { return ::access(path, X_OK) == 0; }

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class ArdourGui : public ::testing::TestWithParam<const Build*> {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY") || !desktop().ok())
            GTEST_SKIP() << "no X display with XTest (run through tests/support/with-xvfb.sh)";
        for (const char* program : {kArdour, kArdourLua, kScanner})
            if (!haveProgram(program))
                GTEST_SKIP() << program << " is missing: install Debian's ardour";
        if (runCommand("command -v jackd").exitCode != 0)
            GTEST_SKIP() << "jackd is missing: install Debian's jackd2";
        dir_ = workDir(std::string("ardour-gui-") + GetParam()->name);
        // A fixed name: JACK keeps a small table of server names, and a
        // server that died without cleaning up keeps its slot until a
        // server of the same name takes it again.
        jackName_ = std::string("ambrel-gui-") + GetParam()->name;
    }
    void TearDown() override
    {
        ardour_.stop();
        // Time to unregister, so JACK's table of servers stays clean.
        jack_.stop(15000);
    }

    std::vector<std::pair<std::string, std::string>> environment() const
    {
        return {{"XDG_CONFIG_HOME", (dir_ / "config").string()},
                {"XDG_CACHE_HOME", (dir_ / "cache").string()},
                {"LXVST_PATH", (dir_ / "plugins").string()},
                {"JACK_DEFAULT_SERVER", jackName_},
                {"JACK_NO_AUDIO_RESERVATION", "1"},
                {"AMBREL_UI_SCALE", "1"}};
    }
    std::string shellEnvironment() const
    {
        std::string s = "env";
        for (const auto& [name, value] : environment())
            s += " " + name + "=" + shellQuote(value);
        return s;
    }
    fs::path pluginCopy() const { return dir_ / "plugins" / fs::path(GetParam()->plugin).filename(); }
    fs::path sessionFile() const { return dir_ / "session" / "ambrel.ardour"; }

    // The plug-in copied beside the session and scanned by Ardour's own
    // scanner; Ardour trusts a scan only when it is newer than the file.
    void scanPlugin()
    {
        fs::create_directories(dir_ / "plugins");
        fs::copy_file(GetParam()->plugin, pluginCopy(), fs::copy_options::overwrite_existing);
        fs::last_write_time(pluginCopy(), fs::file_time_type::clock::now() - std::chrono::minutes(1));
        const CommandResult scan = runCommand(shellEnvironment() + " LD_LIBRARY_PATH=/usr/lib/ardour7 " +
                                              shellQuote(kScanner) + " -f " + shellQuote(pluginCopy().string()));
        ASSERT_EQ(scan.exitCode, 0) << scan.output << scan.errors;
    }

    // Ardour's preferences for the run: JACK as the engine, started with
    // the session without asking; no first-run wizard; the plug-in folder.
    void writeConfiguration()
    {
        const fs::path config = dir_ / "config" / "ardour7";
        writeFile(config / ".a7", "");
        writeFile(config / "config",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<Ardour>\n"
                  "  <Config>\n"
                  "    <Option name=\"try-autostart-engine\" value=\"1\"/>\n"
                  "    <Option name=\"discover-plugins-on-start\" value=\"0\"/>\n"
                  "    <Option name=\"plugin-path-lxvst\" value=\"" +
                      (dir_ / "plugins").string() +
                      "\"/>\n"
                      "  </Config>\n"
                      "  <Extra>\n"
                      "    <AudioMIDISetup>\n"
                      "      <EngineStates>\n"
                      "        <State backend=\"JACK\" driver=\"\" device=\"\" input-device=\"\" output-device=\"\" "
                      "sample-rate=\"" +
                      std::to_string(kRate) +
                      "\" buffer-size=\"1024\" n-periods=\"0\" input-latency=\"0\" output-latency=\"0\" "
                      "lm-input=\"\" lm-output=\"\" active=\"1\" use-buffered-io=\"0\" midi-option=\"\" lru=\"1\">\n"
                      "          <MIDIDevices/>\n"
                      "        </State>\n"
                      "      </EngineStates>\n"
                      "    </AudioMIDISetup>\n"
                      "  </Extra>\n"
                      "</Ardour>\n");
    }

    // The session, made headless; it names the Dummy backend it was made
    // with, which would make the GUI warn about a changed device.
    void prepareSession()
    {
        CommandResult r;
        for (int attempt = 1; attempt <= kAttempts; ++attempt) {
            fs::remove_all(dir_ / "session");
            r = runCommand(shellEnvironment() + " TEST_SESSION_DIR=" + shellQuote((dir_ / "session").string()) +
                           " TEST_RATE=" + std::to_string(kRate) + " TEST_PLUGIN=" +
                           shellQuote(pluginCopy().string()) + " timeout 90 " + shellQuote(kArdourLua) + " " +
                           shellQuote(AMBREL_ARDOUR_GUI_SESSION_SCRIPT));
            if (r.exitCode == 0 && fs::exists(sessionFile()))
                break;
        }
        ASSERT_TRUE(fs::exists(sessionFile())) << r.output << r.errors;
        std::string xml = readFile(sessionFile());
        xml = std::regex_replace(xml, std::regex("[ \\t]*<EngineHints [^>]*/>\\n?"), "");
        writeFile(sessionFile(), xml);
    }

    bool startJack()
    {
        jack_.stop();
        // A generous client timeout: on a busy machine Ardour's process
        // callback may be late, and JACK would drop it.
        if (!jack_.start({"jackd", "-n", jackName_, "-r", "-t", "10000", "-d", "dummy", "-r",
                          std::to_string(kRate), "-p", "1024"},
                         environment(), dir_ / "jack.log"))
            return false;
        return waitFor([&] { return jack_.text().find("JACK server starting") != std::string::npos; }, 20000) &&
               jack_.running();
    }

    // Every check grabs the screen: a slower pace leaves Ardour the CPU.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs)
    {
        return ambrel::testing::waitFor(condition, timeoutMs, 20);
    }

    // Ardour up with the session, its mixer shown and the plug-in's entry
    // found in the track's strip; false (with the reason) when not.
    bool startArdour(std::string& why)
    {
        ardour_.stop();
        if (!startJack()) {
            why = "jackd did not start: " + jack_.text();
            return false;
        }
        const fs::path log = dir_ / ("ardour-" + std::to_string(++starts_) + ".log");
        if (!ardour_.start({kArdour, "--no-splash", "--no-announcements", sessionFile().string()}, environment(),
                           log)) {
            why = "cannot start ardour";
            return false;
        }
        bool ended = false;
        const bool opened = waitFor(
            [&] {
                ended = !ardour_.running();
                return ended ||
                       desktop().findWindowNamed("ambrel - Ardour", main_.h, main_.v, mainWidth_, mainHeight_);
            },
            90000);
        if (!opened || ended) {
            why = "no session window (" +
                  (ended ? "Ardour ended with " + std::to_string(ardour_.exitStatus()) : std::string("time out")) + ")";
            savePng(dir_ / ("ardour-" + std::to_string(starts_) + "-no-window.png"), desktop().grab(0, 0, 1280, 1024));
            return false;
        }
        // The mixer (Alt+M), with the pointer over Ardour's window, which
        // has the keyboard when no window manager runs.
        bool found = false;
        for (int tries = 0; tries < 5 && !found; ++tries) {
            desktop().move(main_.h + mainWidth_ / 2, main_.v + mainHeight_ - 60);
            sleepMs(300);
            desktop().key(XK_Alt_L, true);
            desktop().tap(XK_m);
            desktop().key(XK_Alt_L, false);
            found = waitFor([&] { return findProcessorEntry(entry_); }, 5000);
        }
        if (!found) {
            why = "no plug-in entry in the mixer";
            savePng(dir_ / ("ardour-" + std::to_string(starts_) + "-no-entry.png"), desktop().grab(0, 0, 1280, 1024));
            return false;
        }
        const std::string text = readFile(log);
        if (text.find("JACK HALTED") != std::string::npos || !ardour_.running()) {
            why = "the engine stopped";
            return false;
        }
        return true;
    }

    // The plug-in's entry in the processor box: the lowest band of rows
    // holding a long run of the entries' colour (the noise generator's
    // entry lies above it).
    bool findProcessorEntry(CPoint& where)
    {
        const int width = std::min(mainWidth_, 1280), height = std::min(mainHeight_, 1024);
        const Image screen = desktop().grab(main_.h, main_.v, width, height);
        struct Band {
            int top = -1, bottom = -1, left = 0, right = 0;
        };
        std::vector<Band> bands;
        for (int y = 0; y < screen.height; ++y) {
            int run = 0, bestRun = 0, bestEnd = 0;
            for (int x = 0; x < screen.width; ++x) {
                run = isProcessorEntryColour(screen.at(x, y)) ? run + 1 : 0;
                if (run > bestRun) {
                    bestRun = run;
                    bestEnd = x;
                }
            }
            if (bestRun < 40)
                continue;
            if (!bands.empty() && bands.back().bottom == y - 1)
                bands.back().bottom = y;
            else
                bands.push_back(Band{y, y, bestEnd - bestRun + 1, bestEnd});
        }
        // Both entries, each a few rows high.
        std::erase_if(bands, [](const Band& b) { return b.bottom - b.top < 3; });
        if (bands.size() < 2)
            return false;
        const Band& ours = bands.back();
        where = CPoint(main_.h + (ours.left + ours.right) / 2, main_.v + (ours.top + ours.bottom) / 2);
        return true;
    }

    Image render(const std::vector<std::pair<int, double>>& params, int idles = 20)
    {
        const fs::path out = dir_ / ("render-" + std::to_string(++renders_) + ".png");
        std::string command = shellEnvironment() + " " + shellQuote(AMBREL_EDITOR_RENDER) + " " +
                              (GetParam()->variant->hasFat ? "ambrel2 " : "ambrel ") + shellQuote(out.string()) +
                              " --rate " + std::to_string(kRate) + " --idles " + std::to_string(idles);
        char value[64];
        for (const auto& [i, v] : params) {
            std::snprintf(value, sizeof(value), " --param %d=%.6f", i, v);
            command += value;
        }
        const CommandResult r = runCommand(command);
        Image image;
        EXPECT_EQ(r.exitCode, 0) << r.output << r.errors;
        EXPECT_TRUE(loadPng(out, image));
        return image;
    }

    // A parameter of the plug-in as the saved session holds it.
    std::optional<double> sessionValue(int index)
    {
        const std::string xml = readFile(sessionFile());
        std::smatch m;
        if (!std::regex_search(xml, m, std::regex("param-" + std::to_string(index) + "=\"([^\"]*)\"")))
            return std::nullopt;
        return std::atof(m[1].str().c_str());
    }

    Image pluginArea(const CRect& r)
    {
        return desktop().grab(editor_.h + r.left, editor_.v + r.top, r.width(), r.height());
    }

    fs::path dir_;
    std::string jackName_;
    ChildProcess jack_, ardour_;
    CPoint main_, entry_, editor_;
    int mainWidth_ = 0, mainHeight_ = 0;
    int starts_ = 0, renders_ = 0;
};

TEST_P(ArdourGui, PluginWindowFollowsDragsAndHostAutomation)
{
    const Variant& variant = *GetParam()->variant;
    const int drive = variant.index(ParamId::Drive), knee = variant.index(ParamId::Knee);
    ASSERT_NO_FATAL_FAILURE(scanPlugin());
    writeConfiguration();
    ASSERT_NO_FATAL_FAILURE(prepareSession());

    // Ardour up, the mixer shown, the plug-in's window opened by a double
    // click on its entry in the track's strip.
    bool open = false;
    std::string why;
    for (int attempt = 1; attempt <= kAttempts && !open; ++attempt) {
        if (!startArdour(why)) {
            std::printf("  Ardour attempt %d: %s; trying again\n", attempt, why.c_str());
            continue;
        }
        for (int click = 0; click < 2 && !open; ++click) {
            desktop().move(entry_.h, entry_.v);
            sleepMs(200);
            for (int i = 0; i < 2; ++i) {
                desktop().button(true);
                sleepMs(30);
                desktop().button(false);
                sleepMs(60);
            }
            open = waitFor([&] { return desktop().findWindowOfSize(layout::kWindowWidth, layout::kWindowHeight,
                                                                   editor_.h, editor_.v) != 0; },
                           10000);
        }
        if (!open)
            std::printf("  Ardour attempt %d: the plug-in's window did not open; trying again\n", attempt);
    }
    ASSERT_TRUE(open) << "Ardour did not open the plug-in's window in " << kAttempts << " attempts: " << why;

    // The window as Ardour shows it: a picture of the screen for people,
    // and the editor against the off-screen render of the session's values
    // at 48 kHz. Left out: the readout, which follows the pointer, the
    // Drive knob, which stands where Ardour evaluates the automation ramp
    // near its start, and the meters, which show the noise.
    const std::vector<CRect> leftOut{controlRect("Readout"), controlRect("Drive"), controlRect("MeterLeft"),
                                     controlRect("MeterRight")};
    auto sameAsRender = [&](const Image& shown, const Image& expected, Difference& d) {
        Image a = shown, b = expected;
        for (const CRect& r : leftOut)
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    a.px[static_cast<size_t>(y) * a.width + x] = b.px[static_cast<size_t>(y) * b.width + x] = 0;
        d = compareImages(a, b);
        return d.pixels == 0;
    };
    const Image atStart = render({{drive, 0.0}});
    Image shown;
    Difference d;
    const bool same = waitFor(
        [&] {
            shown = pluginArea(CRect(0, 0, layout::kWindowWidth, layout::kWindowHeight));
            return sameAsRender(shown, atStart, d);
        },
        10000);
    savePng(dir_ / "ardour-screen.png", desktop().grab(0, 0, 1280, 1024));
    savePng(dir_ / "plugin-window.png", shown);
    savePng(dir_ / "plugin-window-render.png", atStart);
    if (!same)
        savePng(dir_ / "plugin-window-difference.png", differenceImage(shown, atStart));
    EXPECT_TRUE(same) << "the plug-in's window in Ardour differs from the off-screen render: " << d.describe();

    // A drag in the window: Knee 100 pixels up, a third of its range, which
    // Ardour keeps and saves (Ctrl+S over its main window).
    const CRect kneeRect = controlRect("Knee");
    const CPoint kneeCentre(editor_.h + (kneeRect.left + kneeRect.right) / 2,
                            editor_.v + (kneeRect.top + kneeRect.bottom) / 2);
    desktop().move(kneeCentre.h, kneeCentre.v);
    sleepMs(100);
    desktop().button(true);
    sleepMs(80);
    for (int i = 1; i <= 10; ++i) {
        desktop().move(kneeCentre.h, kneeCentre.v - 10 * i);
        sleepMs(30);
    }
    sleepMs(80);
    desktop().button(false);
    sleepMs(300);
    const auto savedBefore = fs::last_write_time(sessionFile());
    const CPoint outside(std::max(editor_.h + layout::kWindowWidth + 40, main_.h + mainWidth_ / 2),
                         main_.v + mainHeight_ - 60);
    desktop().move(outside.h, outside.v);
    sleepMs(200);
    desktop().key(XK_Control_L, true);
    desktop().tap(XK_s);
    desktop().key(XK_Control_L, false);
    EXPECT_TRUE(waitFor([&] { return fs::last_write_time(sessionFile()) != savedBefore; }, 15000))
        << "Ardour did not save the session";
    sleepMs(500);
    const std::optional<double> saved = sessionValue(knee);
    ASSERT_TRUE(saved) << "no value of parameter " << knee << " in " << sessionFile();
    EXPECT_NEAR(*saved, 1.0 / 3.0, 1e-5) << "Knee as Ardour saved it";
    EXPECT_TRUE(waitFor([&] { return pluginArea(kneeRect) == render({{knee, 1.0 / 3.0}}, 5).crop(kneeRect); }, 5000))
        << "the Knee knob does not show a third of its range";

    // The host's automation turns the knob: the transport rolls (space) and
    // the ramp takes Drive from 0 to 1 in four seconds.
    const CRect driveRect = controlRect("Drive");
    const Image driveAtEnd = render({{drive, 1.0}}, 5).crop(driveRect);
    const Image silentAtEnd = render({{drive, 1.0}}, 20);
    std::set<std::vector<uint32_t>> driveFrames;
    desktop().move(outside.h, outside.v);
    sleepMs(200);
    desktop().tap(XK_space);
    const bool reachedEnd = waitFor(
        [&] {
            const Image now = pluginArea(driveRect);
            driveFrames.insert(now.px);
            return now == driveAtEnd;
        },
        30000);
    // The meters show the audio: with the noise driven 24 dB into the curve
    // the gain-reduction needles stand well away from where silence puts them.
    for (const char* meter : {"MeterLeft", "MeterRight"})
        EXPECT_FALSE(pluginArea(controlRect(meter)) == silentAtEnd.crop(controlRect(meter)))
            << meter << " shows no gain reduction";
    savePng(dir_ / "plugin-window-after-automation.png",
            pluginArea(CRect(0, 0, layout::kWindowWidth, layout::kWindowHeight)));
    desktop().move(outside.h, outside.v);
    desktop().tap(XK_space);
    EXPECT_TRUE(reachedEnd) << "the Drive knob did not reach the end of the automation ramp";
    EXPECT_GE(driveFrames.size(), 5u) << "the Drive knob did not move through the ramp";
    std::printf("  Drive showed %zu different images while the automation played\n", driveFrames.size());
}

std::vector<const Build*> builds()
{
    std::vector<const Build*> out;
    for (const Build& b : kBuilds)
        out.push_back(&b);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Builds, ArdourGui, ::testing::ValuesIn(builds()),
                         [](const ::testing::TestParamInfo<const Build*>& info) { return info.param->name; });

} // namespace
} // namespace ambrel::testing
