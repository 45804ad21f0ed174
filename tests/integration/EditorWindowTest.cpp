// The product editor driven end to end, as a user drives it: the plug-in is
// opened by a real host process (`ambrel edit`, or the Windows `ambrel.exe
// edit` under Wine), the window gets real mouse and key events (XTest) in a
// private X server (tests/support/with-xvfb.sh), and the test checks what the
// host hears (automation, begin and end of edits, printed by `--verbose`) and
// what the screen shows, pixel for pixel against the editor drawn off-screen
// in the same state (ambrel_editor_render).
//
// Timing: `--trace-idles` makes the host print "editor idle N" before its
// N-th idle request. A picture grabbed after reading N and before the host
// printed N + 1 shows what idles up to N drew; the checks of the hover
// readout and the over lights name the idle at which a change must appear
// and hold the screen to it, whatever the machine's load.
//
// One CTest entry per build and platform (--gtest_filter=*/TARGET); the
// program exits 77 when every test it ran was skipped.
#include "tests/integration/IntegrationSupport.h"
#include "tests/integration/WindowTestSupport.h"

#include "editor/Layout.h"
#include "platform/software/SoftwareRaster.h"
#include "resources/SkinIds.h"
#include "variants/Variant.h"

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <thread>

namespace ambrel::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using VSTGUI::CPoint;
using VSTGUI::CRect;

// The number of the idle request the host made last (0 before the first).
int lastIdle(const ChildProcess& host)
{
    const std::vector<std::string> all = host.lines();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->rfind("editor idle ", 0) == 0)
            return std::atoi(it->c_str() + 12);
    return 0;
}

// --- What the host heard -----------------------------------------------------------

struct HostCall {
    enum Kind { kAutomate, kBegin, kEnd } kind;
    int index;
    double value;
};

std::vector<HostCall> hostCalls(const std::vector<std::string>& lines, size_t from)
{
    std::vector<HostCall> calls;
    for (size_t i = from; i < lines.size(); ++i) {
        int index = 0;
        double value = 0.0;
        if (std::sscanf(lines[i].c_str(), "automate %d=%lf", &index, &value) == 2)
            calls.push_back({HostCall::kAutomate, index, value});
        else if (std::sscanf(lines[i].c_str(), "begin edit %d", &index) == 1)
            calls.push_back({HostCall::kBegin, index, 0.0});
        else if (std::sscanf(lines[i].c_str(), "end edit %d", &index) == 1)
            calls.push_back({HostCall::kEnd, index, 0.0});
    }
    return calls;
}

int countCalls(const std::vector<HostCall>& calls, HostCall::Kind kind, int index)
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const HostCall& c) {
        return c.kind == kind && c.index == index;
    }));
}

std::optional<double> lastValue(const std::vector<HostCall>& calls, int index)
{
    std::optional<double> value;
    for (const HostCall& c : calls)
        if (c.kind == HostCall::kAutomate && c.index == index)
            value = c.value;
    return value;
}

// Whether every automation of `index` lies between a begin and an end edit
// of it.
bool automationInsideEdits(const std::vector<HostCall>& calls, int index)
{
    int open = 0;
    for (const HostCall& c : calls) {
        if (c.index != index)
            continue;
        if (c.kind == HostCall::kBegin)
            ++open;
        else if (c.kind == HostCall::kEnd)
            --open;
        else if (open <= 0)
            return false;
    }
    return open == 0;
}

std::string describeCalls(const std::vector<HostCall>& calls)
{
    std::ostringstream s;
    for (const HostCall& c : calls) {
        if (c.kind == HostCall::kAutomate)
            s << "automate " << c.index << "=" << c.value << "; ";
        else
            s << (c.kind == HostCall::kBegin ? "begin " : "end ") << c.index << "; ";
    }
    return s.str();
}

// --- Builds and platforms ------------------------------------------------------------

struct Target {
    const char* name;     // test name: Linux_NurAmbrel2, Win64_NurAmbrel, ...
    const char* platform; // "linux", "win64", "win32"
    const char* buildDir; // Windows build folder; empty for Linux
    const Variant* variant;
    const char* file; // plug-in file name without extension
};

const Target kTargets[] = {
    {"Linux_NurAmbrel2", "linux", "", &variants::kAmbrel2, "NurAmbrel2"},
    {"Linux_NurAmbrel", "linux", "", &variants::kAmbrel, "NurAmbrel"},
    {"Win64_NurAmbrel2", "win64", AMBREL_WIN64_DIR, &variants::kAmbrel2, "NurAmbrel2"},
    {"Win64_NurAmbrel", "win64", AMBREL_WIN64_DIR, &variants::kAmbrel, "NurAmbrel"},
    {"Win32_NurAmbrel2", "win32", AMBREL_WIN32_DIR, &variants::kAmbrel2, "NurAmbrel2"},
    {"Win32_NurAmbrel", "win32", AMBREL_WIN32_DIR, &variants::kAmbrel, "NurAmbrel"},
};

void PrintTo(const Target* target, std::ostream* os) { *os << target->name; }

CPoint centre(const CRect& r) { return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2); }
CPoint centre(const char* name) { return centre(controlRect(name)); }

// Text drawn by the platform's font engine: GDI under Wine anti-aliases it
// differently on screen and off-screen, so these areas get a tolerance
// there. Everything else (the skin's bitmaps, and the glyphs of our own
// raster on Linux) must match exactly.
std::vector<CRect> textAreas()
{
    std::vector<CRect> areas{controlRect("LatencyMs"), controlRect("LatencySamples")};
    for (const layout::StripControlSpec& s : layout::kStripControls)
        if (s.tag == layout::EditorTag::NameField)
            areas.push_back(layout::stripRect(s));
    return areas;
}

// A Wine prefix for the Windows hosts of this run, made once under the
// test's X server.
std::string winePrefix() { return (fs::path(AMBREL_TEST_WORK_DIR) / "editor-window-wineprefix").string(); }

class EditorWindow : public ::testing::TestWithParam<const Target*> {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY") || !desktop().ok())
            GTEST_SKIP() << "no X display with XTest (run through tests/support/with-xvfb.sh)";
        // "Check/Target" as the folder "editor-window-Check-Target".
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        dir_ = workDir("editor-window-" + name);
        if (windows()) {
            if (std::string(target().buildDir).empty())
                GTEST_SKIP() << "no " << target().platform << " build folder configured (AMBREL_WIN32_DIR / "
                                                               "AMBREL_WIN64_DIR)";
            if (std::string(AMBREL_WINE).empty())
                GTEST_SKIP() << "Wine is not installed";
            for (const fs::path& f : {pluginPath(), hostTool(), renderTool()})
                ASSERT_TRUE(fs::exists(f)) << f << " is not built";
            const int wine = prepareWine();
            if (wine == 77)
                GTEST_SKIP() << "Wine cannot run " << target().platform
                             << " programs on this machine (tests/support/wine.sh)";
            ASSERT_EQ(wine, 0);
        }
    }
    void TearDown() override { host_.stop(); }

    const Target& target() const { return *GetParam(); }
    const Variant& variant() const { return *target().variant; }
    bool windows() const { return std::strcmp(target().platform, "linux") != 0; }
    int index(ParamId id) const { return variant().index(id); }
    int tag(layout::EditorTag t) const { return layout::editorTag(variant(), t); }

    fs::path pluginPath() const
    {
        if (!windows())
            return target().variant->hasFat ? AMBREL2_PLUGIN : AMBREL1_PLUGIN;
        return fs::path(target().buildDir) / (std::string(target().file) + ".dll");
    }
    fs::path hostTool() const
    {
        return windows() ? fs::path(target().buildDir) / "tools" / "ambrel.exe" : fs::path(AMBREL_TOOL);
    }
    fs::path renderTool() const
    {
        return windows() ? fs::path(target().buildDir) / "tests" / "integration" / "render" / "ambrel_editor_render.exe"
                         : fs::path(AMBREL_EDITOR_RENDER);
    }
    // A path as the program of this target takes it.
    std::string programPath(const fs::path& path) const
    {
        return windows() ? "Z:" + fs::absolute(path).string() : fs::absolute(path).string();
    }
    std::vector<std::pair<std::string, std::string>> environment() const
    {
        std::vector<std::pair<std::string, std::string>> env{{"AMBREL_UI_SCALE", "1"},
                                                             {"XDG_CONFIG_HOME", (dir_ / "config").string()}};
        if (windows()) {
            env.emplace_back("WINEPREFIX", winePrefix());
            env.emplace_back("WINEDEBUG", "-all");
            env.emplace_back("WINEDLLOVERRIDES", "mscoree,mshtml=");
        }
        return env;
    }
    std::vector<std::string> command(const fs::path& program) const
    {
        if (windows())
            return {AMBREL_WINE, program.string()};
        return {program.string()};
    }
    std::string shellEnvironment() const
    {
        std::string s = "env";
        for (const auto& [name, value] : environment())
            s += " " + name + "=" + shellQuote(value);
        return s;
    }

    // Makes the Wine prefix once (wineboot under this X server) and tries
    // the target's programs: 0 when they run, 77 when Wine cannot run them
    // on this machine, else a failure.
    int prepareWine()
    {
        static std::map<std::string, int> known; // platform -> exit code of the probe
        auto it = known.find(target().platform);
        if (it == known.end()) {
            if (!fs::exists(fs::path(winePrefix()) / "system.reg")) {
                const CommandResult boot =
                    runCommand(shellEnvironment() + " " + shellQuote(AMBREL_WINE) + " wineboot --init");
                if (boot.exitCode != 0 && boot.exitCode != 77) {
                    ADD_FAILURE() << "wineboot failed: " << boot.errors;
                    return 1;
                }
            }
            const CommandResult probe = runCommand(shellEnvironment() + " " + shellQuote(AMBREL_WINE) + " " +
                                                   shellQuote(hostTool().string()) + " presets " +
                                                   shellQuote(programPath(pluginPath())));
            it = known.emplace(target().platform, probe.exitCode).first;
            if (probe.exitCode != 0 && probe.exitCode != 77)
                ADD_FAILURE() << "ambrel.exe presets failed: " << probe.output << probe.errors;
        }
        return it->second;
    }

    // Starts the host with the editor open and waits for its window.
    void openEditor(const std::vector<std::string>& options)
    {
        // The pointer starts outside the window, on no control.
        desktop().move(1270, 1010);
        std::vector<std::string> argv = command(hostTool());
        for (const std::string& a : {std::string("edit"), programPath(pluginPath()), std::string("--verbose"),
                                     std::string("--trace-idles"), std::string("--seconds"), std::string("600")})
            argv.push_back(a);
        argv.insert(argv.end(), options.begin(), options.end());
        ASSERT_TRUE(host_.start(argv, environment(), dir_ / "host.log"));
        const auto deadline = Clock::now() + std::chrono::seconds(windows() ? 90 : 30);
        bool found = false;
        while (!found && Clock::now() < deadline) {
            for (const std::string& line : host_.lines()) {
                int w = 0, h = 0;
                if (std::sscanf(line.c_str(), "window at %d,%d size %dx%d", &origin_.h, &origin_.v, &w, &h) == 4) {
                    found = true;
                    EXPECT_EQ(w, layout::kWindowWidth);
                    EXPECT_EQ(h, layout::kWindowHeight);
                }
            }
            if (!found && !host_.running())
                break;
            sleepMs(20);
        }
        ASSERT_TRUE(found) << "the editor did not open:\n" << host_.text();
        // The first idles draw the window.
        ASSERT_TRUE(waitForIdle(lastIdle(host_) + 3)) << host_.text();
    }

    bool waitForIdle(int idle, int timeoutMs = 20000)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (lastIdle(host_) < idle) {
            if (Clock::now() > deadline || !host_.running())
                return false;
            sleepMs(2);
        }
        return true;
    }

    // Pointer and buttons in window coordinates.
    void moveTo(CPoint p) { desktop().move(origin_.h + p.h, origin_.v + p.v); }
    void click(CPoint p)
    {
        moveTo(p);
        sleepMs(30);
        desktop().button(true);
        sleepMs(60);
        desktop().button(false);
        sleepMs(30);
    }
    // A press at `from`, a move by (dx, dy) in `steps` steps, a release.
    void drag(CPoint from, int dx, int dy, int steps = 10)
    {
        moveTo(from);
        sleepMs(30);
        desktop().button(true);
        sleepMs(80);
        for (int i = 1; i <= steps; ++i) {
            moveTo(CPoint(from.h + dx * i / steps, from.v + dy * i / steps));
            sleepMs(25);
        }
        sleepMs(60);
        desktop().button(false);
        sleepMs(30);
    }

    void ctrlClick(CPoint p)
    {
        moveTo(p);
        sleepMs(30);
        desktop().key(XK_Control_L, true);
        sleepMs(30);
        click(p);
        desktop().key(XK_Control_L, false);
    }

    // A drag on a knob as one gesture, from its default value; returns the
    // host's output line where the gesture that counts began. Under Wine a
    // gesture the window layer ended early is reset (Ctrl+click) and made
    // once more, with a note: the layer holds the click's button state for
    // at most a second while Wine's asynchronous state lags behind, and a
    // Wine process starved of the CPU for longer sees the button up.
    size_t knobGesture(const char* knob, int index, int dx, int dy, int steps, double expected)
    {
        for (int attempt = 0;; ++attempt) {
            const size_t mark = host_.lines().size();
            drag(centre(knob), dx, dy, steps);
            waitFor([&] { return countCalls(hostCalls(host_.lines(), mark), HostCall::kEnd, index) > 0; });
            const std::vector<HostCall> calls = hostCalls(host_.lines(), mark);
            const std::optional<double> value = lastValue(calls, index);
            if (!windows() || attempt > 0 || (value && std::fabs(*value - expected) < 2e-6))
                return mark;
            std::printf("  %s: the drag ended early under Wine (%s); reset and dragged again\n", knob,
                        describeCalls(calls).c_str());
            const size_t resetMark = host_.lines().size();
            ctrlClick(centre(knob));
            waitFor([&] { return lastValue(hostCalls(host_.lines(), resetMark), index).has_value(); });
        }
    }

    Image screen(const CRect& r) { return desktop().grab(origin_.h + r.left, origin_.v + r.top, r.width(), r.height()); }
    Image window() { return screen(CRect(0, 0, layout::kWindowWidth, layout::kWindowHeight)); }

    // The editor drawn off-screen: parameters set before opening, values set
    // once open, idles with silent audio, the pointer somewhere.
    Image render(const std::vector<std::pair<int, double>>& params, const std::vector<std::pair<int, double>>& afterOpen,
                 int idles, std::optional<CPoint> mouse = std::nullopt)
    {
        std::string args = std::string(variant().hasFat ? "ambrel2" : "ambrel");
        const fs::path out = dir_ / ("render-" + std::to_string(++renders_) + ".png");
        args += " " + shellQuote(programPath(out)) + " --idles " + std::to_string(idles) + " --idle-ms 30";
        char value[64];
        for (const auto& [i, v] : params) {
            std::snprintf(value, sizeof(value), " --param %d=%.6f", i, v);
            args += value;
        }
        for (const auto& [i, v] : afterOpen) {
            std::snprintf(value, sizeof(value), " --after-open %d=%.6f", i, v);
            args += value;
        }
        if (mouse)
            args += " --mouse " + std::to_string(mouse->h) + "," + std::to_string(mouse->v);
        std::string program;
        for (const std::string& word : command(renderTool()))
            program += shellQuote(word) + " ";
        const CommandResult r = runCommand(shellEnvironment() + " " + program + args);
        Image image;
        EXPECT_EQ(r.exitCode, 0) << r.output << r.errors;
        EXPECT_TRUE(loadPng(out, image)) << out;
        return image;
    }

    // Waits until the window (or an area) shows the picture; on failure keeps
    // the screen, the picture and their difference beside the log.
    ::testing::AssertionResult showsPicture(const Image& expected, const char* what, const CRect& area,
                                           int timeoutMs = 5000)
    {
        const bool whole = area.width() == expected.width && area.height() == expected.height &&
                           area.left == 0 && area.top == 0;
        const Image want = whole ? expected : expected.crop(area);
        Image shown;
        Difference d;
        const std::vector<CRect> loose = windows() ? (whole ? textAreas() : std::vector<CRect>{}) : std::vector<CRect>{};
        // GDI's anti-aliased text under Wine: shades may differ, a glyph
        // (dark on the light page, 150 levels or more) may not.
        const int looseLimit = windows() ? 128 : 0;
        const bool same = waitFor(
            [&] {
                shown = screen(area);
                d = compareImages(shown, want, loose, looseLimit);
                return d.pixels == 0;
            },
            timeoutMs);
        const std::string name = std::string(what);
        savePng(dir_ / (name + "-screen.png"), shown);
        savePng(dir_ / (name + "-render.png"), want);
        if (same) {
            if (d.largestLoose)
                std::printf("  %s: same as the off-screen render (%s)\n", what, d.describe().c_str());
            return ::testing::AssertionSuccess();
        }
        savePng(dir_ / (name + "-difference.png"), differenceImage(shown, want));
        return ::testing::AssertionFailure() << what << ": the screen differs from the off-screen render: "
                                             << d.describe() << " (pictures in " << dir_ << ")";
    }

    fs::path dir_;
    ChildProcess host_;
    CPoint origin_;
    int renders_ = 0;
};

// --- The checks ---------------------------------------------------------------------

// One session of everything a user does with the mouse and the keys, each
// step checked in what the host hears and what the window shows.
TEST_P(EditorWindow, KnobsButtonsPagesAndMetersWithRealInput)
{
    openEditor({"--signal", "none", "--idle-ms", "30"});
    const int drive = index(ParamId::Drive), mix = index(ParamId::Mix);
    const int monoStereo = index(ParamId::MonoStereo), lr = index(ParamId::LR);
    const int meterScale = index(ParamId::MeterScale);
    std::map<int, double> state; // values the host knows (and the meter scale)
    auto stateList = [&] { return std::vector<std::pair<int, double>>(state.begin(), state.end()); };
    const CPoint kneeCentre = centre("Knee");

    // The window as opened, readout blank after the pointer stayed away.
    {
        SCOPED_TRACE("as opened");
        EXPECT_TRUE(showsPicture(render({}, {}, 120), "opened", CRect(0, 0, 450, 460), 15000));
    }

    // Drive dragged 100 pixels up: a third of its range, in one gesture.
    {
        SCOPED_TRACE("drag Drive 100 px up");
        const size_t mark = knobGesture("Drive", drive, 0, -100, 10, 0.5 + 1.0 / 3.0);
        ASSERT_TRUE(waitFor([&] { return countCalls(hostCalls(host_.lines(), mark), HostCall::kEnd, drive) > 0; }))
            << host_.text();
        const std::vector<HostCall> calls = hostCalls(host_.lines(), mark);
        EXPECT_EQ(countCalls(calls, HostCall::kBegin, drive), 1) << describeCalls(calls);
        EXPECT_EQ(countCalls(calls, HostCall::kEnd, drive), 1) << describeCalls(calls);
        ASSERT_TRUE(lastValue(calls, drive));
        EXPECT_NEAR(*lastValue(calls, drive), 0.5 + 1.0 / 3.0, 2e-6) << describeCalls(calls);
        // The values moved up step by step inside the gesture.
        int begin = -1, end = -1, moves = 0;
        double previous = 0.0;
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].index != drive)
                continue;
            if (calls[i].kind == HostCall::kBegin)
                begin = static_cast<int>(i);
            else if (calls[i].kind == HostCall::kEnd)
                end = static_cast<int>(i);
            else if (begin >= 0 && end < 0) {
                EXPECT_GE(calls[i].value, previous - 1e-6) << describeCalls(calls);
                moves += calls[i].value > previous + 1e-6;
                previous = calls[i].value;
            }
        }
        EXPECT_GE(moves, 5) << describeCalls(calls);
        state[drive] = *lastValue(calls, drive);
        EXPECT_TRUE(showsPicture(render(stateList(), {}, 10), "drive-dragged", controlRect("Drive")));
    }

    // Mix dragged down, then Ctrl+click: back to its default, 1.0, with no
    // gesture around the reset.
    {
        SCOPED_TRACE("Ctrl+click Mix");
        size_t mark = knobGesture("Mix", mix, 0, 60, 6, 0.8);
        ASSERT_TRUE(waitFor([&] { return countCalls(hostCalls(host_.lines(), mark), HostCall::kEnd, mix) > 0; }))
            << host_.text();
        std::vector<HostCall> calls = hostCalls(host_.lines(), mark);
        ASSERT_TRUE(lastValue(calls, mix));
        EXPECT_NEAR(*lastValue(calls, mix), 0.8, 2e-6) << describeCalls(calls);
        EXPECT_TRUE(showsPicture(render({{mix, 0.8}}, {}, 10), "mix-dragged", controlRect("Mix")));

        mark = host_.lines().size();
        ctrlClick(centre("Mix"));
        ASSERT_TRUE(waitFor([&] { return lastValue(hostCalls(host_.lines(), mark), mix).has_value(); }))
            << host_.text();
        calls = hostCalls(host_.lines(), mark);
        EXPECT_DOUBLE_EQ(*lastValue(calls, mix), 1.0) << describeCalls(calls);
        EXPECT_EQ(countCalls(calls, HostCall::kAutomate, mix), 1) << describeCalls(calls);
        EXPECT_EQ(countCalls(calls, HostCall::kBegin, mix), 0) << describeCalls(calls);
        EXPECT_TRUE(showsPicture(render({}, {}, 10), "mix-reset", controlRect("Mix")));
        state[mix] = 1.0;
    }

    // A double click on Drive opens the typed entry with its value; 6 and
    // Return set +6 dB: 0.625 with FineTune at 100 %.
    {
        SCOPED_TRACE("typed entry on Drive");
        const Image before = screen(controlRect("EntryField"));
        size_t mark = host_.lines().size();
        moveTo(centre("Drive"));
        sleepMs(40);
        for (int i = 0; i < 2; ++i) {
            desktop().button(true);
            sleepMs(40);
            desktop().button(false);
            sleepMs(60);
        }
        EXPECT_TRUE(waitFor([&] { return !(screen(controlRect("EntryField")) == before); }))
            << "no entry field appeared";
        savePng(dir_ / "entry-field.png", window());
        desktop().tap(XK_6);
        desktop().tap(XK_Return);
        ASSERT_TRUE(waitFor([&] {
            const std::vector<HostCall> calls = hostCalls(host_.lines(), mark);
            return lastValue(calls, drive) && std::fabs(*lastValue(calls, drive) - 0.625) < 1e-6;
        })) << describeCalls(hostCalls(host_.lines(), mark));
        const std::vector<HostCall> calls = hostCalls(host_.lines(), mark);
        // The commit is one gesture of its own.
        ASSERT_GE(calls.size(), 3u);
        const HostCall& last = calls.back();
        const HostCall& middle = calls[calls.size() - 2];
        const HostCall& first = calls[calls.size() - 3];
        EXPECT_TRUE(first.kind == HostCall::kBegin && first.index == drive) << describeCalls(calls);
        EXPECT_TRUE(middle.kind == HostCall::kAutomate && middle.index == drive && middle.value == 0.625)
            << describeCalls(calls);
        EXPECT_TRUE(last.kind == HostCall::kEnd && last.index == drive) << describeCalls(calls);
        state[drive] = 0.625;
        EXPECT_TRUE(showsPicture(render(stateList(), {}, 10), "drive-typed", controlRect("Drive")));
    }

    if (windows()) {
        // Under Wine: both pages against the Windows render.
        moveTo(kneeCentre);
        EXPECT_TRUE(showsPicture(render(stateList(), {}, 30, kneeCentre), "main-page", CRect(0, 0, 450, 460)));
        click(centre("ToSettings"));
        moveTo(CPoint(420, 300));
        EXPECT_TRUE(showsPicture(render(stateList(), {{tag(layout::EditorTag::ToSettings), 1.0}}, 30),
                                 "settings-page", CRect(0, 0, 450, 460)));
        return;
    }

    // The channel-mode button's four zones: each sets Mono Stereo and L R
    // through the host, inside edits.
    {
        SCOPED_TRACE("channel mode");
        const CRect r = controlRect("ChannelMode");
        const int q = r.width() / 4, h = r.height() / 2;
        struct Zone {
            const char* name;
            CPoint where;
            double monoStereo, lr;
        };
        const Zone zones[] = {
            {"up", CPoint(r.left + 2 * q, r.top + 4), 0.0, 0.0},
            {"left", CPoint(r.left + 2, r.top + h), 0.0, 0.5},
            // The Link button overlaps the right edge: its zone's left part.
            {"right", CPoint(r.right - q + 1, r.top + h), 0.0, 1.0},
            {"down", CPoint(r.left + 2 * q, r.bottom - 4), 1.0, 0.0},
        };
        for (const Zone& zone : zones) {
            SCOPED_TRACE(zone.name);
            const size_t mark = host_.lines().size();
            click(zone.where);
            ASSERT_TRUE(waitFor([&] { return countCalls(hostCalls(host_.lines(), mark), HostCall::kEnd, lr) > 0; }))
                << host_.text();
            sleepMs(100);
            const std::vector<HostCall> calls = hostCalls(host_.lines(), mark);
            ASSERT_TRUE(lastValue(calls, monoStereo) && lastValue(calls, lr)) << describeCalls(calls);
            EXPECT_EQ(*lastValue(calls, monoStereo), zone.monoStereo) << describeCalls(calls);
            EXPECT_EQ(*lastValue(calls, lr), zone.lr) << describeCalls(calls);
            EXPECT_TRUE(automationInsideEdits(calls, monoStereo)) << describeCalls(calls);
            EXPECT_TRUE(automationInsideEdits(calls, lr)) << describeCalls(calls);
            state[monoStereo] = zone.monoStereo;
            state[lr] = zone.lr;
            EXPECT_TRUE(showsPicture(render(stateList(), {}, 10), (std::string("channel-") + zone.name).c_str(),
                                     controlRect("ChannelMode")));
        }
    }

    // A click on a meter flips the scale of both, and the host hears nothing.
    {
        SCOPED_TRACE("meter scale");
        const size_t mark = host_.lines().size();
        click(centre("MeterLeft"));
        state[meterScale] = 1.0;
        const Image flipped = render(stateList(), {}, 120);
        EXPECT_TRUE(showsPicture(flipped, "meter-left-flipped", controlRect("MeterLeft")));
        EXPECT_TRUE(showsPicture(flipped, "meter-right-flipped", controlRect("MeterRight")));
        waitForIdle(lastIdle(host_) + 5);
        EXPECT_TRUE(hostCalls(host_.lines(), mark).empty()) << describeCalls(hostCalls(host_.lines(), mark));
    }

    // To the settings page and back: the strip stays; both pages as the
    // off-screen render draws them.
    {
        SCOPED_TRACE("pages");
        click(centre("ToSettings"));
        moveTo(CPoint(420, 300)); // on the page, away from the strip
        const Image settings = render(stateList(), {{tag(layout::EditorTag::ToSettings), 1.0}}, 30);
        EXPECT_TRUE(showsPicture(settings, "settings-page", CRect(0, 0, 450, 460)));
        const Image mainPage = render(stateList(), {}, 30, kneeCentre);
        const CRect strip(0, layout::kStripTop, layout::kWindowWidth, layout::kWindowHeight);
        EXPECT_EQ(compareImages(settings.crop(strip), mainPage.crop(strip)).pixels, 0)
            << "the preset strip differs between the pages";

        // Back: the name plate at the top of the settings page.
        click(CPoint(224, 60));
        moveTo(kneeCentre);
        EXPECT_TRUE(showsPicture(mainPage, "main-page", CRect(0, 0, 450, 460)));
    }
    // Knee's value on the readout is what the render shows for the pointer there.
    EXPECT_TRUE(showsPicture(render({}, {}, 20, kneeCentre), "readout-knee", controlRect("Readout")));
}

// The hover readout: blank on the 11th check with the pointer on no
// control, Knee's percentage at the first check after the pointer reaches
// it, each drawn by the idle after the check.
TEST_P(EditorWindow, HoverReadoutFollowsThePointerAtItsChecks)
{
    if (windows())
        GTEST_SKIP() << "checked on Linux";
    // Knee at 50 %, so its percentage stands out from a blank or zero one.
    // The three pictures of the readout first: the watch below begins with
    // the host's first idles.
    const int knee = index(ParamId::Knee);
    const CRect readout = controlRect("Readout");
    const Image initial = render({{knee, 0.5}}, {}, 5).crop(readout);
    const Image blank = render({{knee, 0.5}}, {}, 120).crop(readout);
    const Image kneeShown = render({{knee, 0.5}}, {}, 20, centre("Knee")).crop(readout);
    ASSERT_FALSE(initial == blank);
    ASSERT_FALSE(kneeShown == blank);
    savePng(dir_ / "readout-initial.png", initial);
    savePng(dir_ / "readout-blank.png", blank);
    savePng(dir_ / "readout-knee.png", kneeShown);
    openEditor({"--signal", "none", "--idle-ms", "25", "--param", std::to_string(knee) + "=0.5"});

    // Watches the readout until idle `until` is done and checks that it
    // shows `before` up to idle `change` - 1 and `after` from idle `change`
    // on (idles whose drawing may or may not be in a picture are let pass).
    auto watch = [&](const Image& before, const Image& after, int change, int until, const char* what) {
        int wrong = 0, seenBefore = 0, seenAfter = 0;
        std::string report;
        ASSERT_LT(lastIdle(host_), change) << what << ": the host was past idle " << change
                                           << " before the watch began (a stalled test)";
        while (lastIdle(host_) <= until) {
            const int startedBefore = lastIdle(host_);
            const Image shown = screen(readout);
            const int startedAfter = lastIdle(host_);
            const bool isBefore = shown == before, isAfter = shown == after;
            seenBefore += isBefore;
            seenAfter += isAfter;
            // Idles up to startedBefore - 1 are done; idles after
            // startedAfter had not begun.
            const bool mustBeBefore = startedAfter < change;
            const bool mustBeAfter = startedBefore - 1 >= change;
            if ((mustBeBefore && !isBefore) || (mustBeAfter && !isAfter) || (!isBefore && !isAfter)) {
                if (++wrong <= 5) {
                    report += "idles " + std::to_string(startedBefore) + "-" + std::to_string(startedAfter) + ": " +
                              (isBefore ? "before" : isAfter ? "after" : "neither") + "; ";
                    savePng(dir_ / (std::string(what) + "-wrong-" + std::to_string(wrong) + ".png"), shown);
                }
            }
            if (!host_.running())
                break;
            sleepMs(2);
        }
        EXPECT_EQ(wrong, 0) << what << ": expected the change at idle " << change << ": " << report;
        EXPECT_GT(seenBefore, 0) << what;
        EXPECT_GT(seenAfter, 0) << what;
    };

    // Opened with the pointer outside: checks at idles 9, 18, ..., the 11th
    // (idle 99) blanks the readout, drawn by idle 100.
    watch(initial, blank, 100, 104, "blank");

    // The pointer moves onto Knee between two checks.
    int moved = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
        ASSERT_TRUE(waitFor([&] {
            const int n = lastIdle(host_) % 9;
            return n >= 2 && n <= 5;
        }));
        const int before = lastIdle(host_);
        moveTo(centre("Knee"));
        moved = lastIdle(host_);
        if (moved == before)
            break;
        // The host went on while the pointer moved: the idle that asked
        // for the pointer is not known. Move away and try again.
        moveTo(CPoint(-1, -1));
        moveTo(CPoint(440, 10));
        moved = 0;
        ASSERT_TRUE(waitForIdle(lastIdle(host_) + 9));
    }
    ASSERT_GT(moved, 0);
    // The next check comes at most 9 idles later; the idle after it draws.
    const int check = (moved / 9 + 1) * 9;
    ASSERT_LE(check - moved, 9);
    watch(blank, kneeShown, check + 1, check + 6, "knee");
}

// An over lights the lamps; when the overs stop they fade one step per idle
// to their dim hold, and a click puts a lamp out. No automation.
TEST_P(EditorWindow, OverLightFlaresFadesAndGoesOutOnAClick)
{
    if (windows())
        GTEST_SKIP() << "checked on Linux";
    // Output metering of a tone driven and raised past full scale.
    const std::string drive = std::to_string(index(ParamId::Drive)), meters = std::to_string(index(ParamId::Meters)),
                      output = std::to_string(index(ParamId::Output));
    openEditor({"--signal", "sine", "--idle-ms", "60", "--param", meters + "=1", "--param", drive + "=1", "--param",
                output + "=1"});

    // The lamp's six images, from the skin itself.
    const std::shared_ptr<softraster::SoftwareBitmap> strip =
        softraster::SoftwareBitmap::load(softraster::embeddedSkin(), skin::kOverLight);
    ASSERT_TRUE(strip);
    const softraster::Image& art = strip->imageForScale(1);
    const CRect light = controlRect("OverLeft");
    std::vector<Image> frames;
    for (int f = 0; f < 6; ++f) {
        Image frame;
        frame.width = light.width();
        frame.height = light.height();
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                frame.px.push_back(art.pixels[static_cast<size_t>(f * frame.height + y) * art.width + x] & 0xFFFFFF);
        frames.push_back(frame);
    }
    auto frameShown = [&](const CRect& r) {
        const Image shown = screen(r);
        for (int f = 0; f < 6; ++f)
            if (shown == frames[static_cast<size_t>(f)])
                return f;
        return -1;
    };

    ASSERT_TRUE(waitFor([&] { return frameShown(light) == 5 && frameShown(controlRect("OverRight")) == 5; }))
        << "the lamps did not light: left shows frame " << frameShown(light);
    savePng(dir_ / "over-lit.png", window());

    // Input metering: the tone stays below full scale, the overs stop. The
    // lamp is watched from before the click on, on a connection of its own:
    // the first steps of the fade may come while the switch holds the mouse.
    const size_t mark = host_.lines().size();
    std::vector<std::pair<int, int>> seen; // frame, host idle when first seen
    std::atomic<bool> watching{true};
    std::thread watcher([&] {
        Desktop eyes;
        while (watching) {
            const Image shown = eyes.grab(origin_.h + light.left, origin_.v + light.top, light.width(),
                                          light.height());
            int f = -1;
            for (int i = 0; i < 6; ++i)
                if (shown == frames[static_cast<size_t>(i)])
                    f = i;
            if (seen.empty() || seen.back().first != f)
                seen.emplace_back(f, lastIdle(host_));
            sleepMs(2);
        }
    });
    const CRect metersSwitch = controlRect("Meters");
    click(CPoint(centre(metersSwitch).h, metersSwitch.top + 4));
    waitForIdle(lastIdle(host_) + 15);
    watching = false;
    watcher.join();
    std::string sequence;
    std::vector<int> order;
    for (const auto& [f, idle] : seen) {
        sequence += std::to_string(f) + "@" + std::to_string(idle) + " ";
        order.push_back(f);
    }
    // Lit, then down the fade to the dim hold, one step per editor idle.
    // The switch's own mouse loop idles the editor as well, so a step may
    // show for a moment only and be missed by the look; at least one of
    // the middle steps is seen, and nothing but the fade.
    ASSERT_GE(order.size(), 3u) << sequence;
    EXPECT_EQ(order.front(), 5) << sequence;
    EXPECT_EQ(order.back(), 2) << sequence;
    EXPECT_TRUE(std::is_sorted(order.rbegin(), order.rend())) << sequence;
    for (int f : order)
        EXPECT_TRUE(f >= 2 && f <= 5) << sequence;
    // The hold comes within four of the host's idles after the lamp left 5.
    EXPECT_LE(seen.back().second - seen[1].second, 4) << sequence;
    EXPECT_EQ(frameShown(controlRect("OverRight")), 2);
    savePng(dir_ / "over-held.png", window());

    // A click puts the lamp out until the next over; the other one holds.
    click(centre(light));
    EXPECT_TRUE(waitFor([&] { return frameShown(light) == 0; }, 2000)) << "left shows " << frameShown(light);
    waitForIdle(lastIdle(host_) + 5);
    EXPECT_EQ(frameShown(light), 0);
    EXPECT_EQ(frameShown(controlRect("OverRight")), 2);
    click(centre("OverRight"));
    EXPECT_TRUE(waitFor([&] { return frameShown(controlRect("OverRight")) == 0; }, 2000));
    waitForIdle(lastIdle(host_) + 5);
    const std::vector<HostCall> calls = hostCalls(host_.lines(), mark);
    for (const HostCall& c : calls)
        EXPECT_EQ(c.index, index(ParamId::Meters)) << describeCalls(calls);
}

std::vector<const Target*> targets()
{
    std::vector<const Target*> out;
    for (const Target& t : kTargets)
        out.push_back(&t);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Targets, EditorWindow, ::testing::ValuesIn(targets()),
                         [](const ::testing::TestParamInfo<const Target*>& info) { return info.param->name; });

} // namespace
} // namespace ambrel::testing
