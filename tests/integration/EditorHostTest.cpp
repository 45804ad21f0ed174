// The editor host of `ambrel` against real editors: the LinuxVST editors of
// Debian's dpf-plugins-vst and, once they have one, our own plug-ins. Runs
// under a private X server (tests/support/with-xvfb.sh).
#include "tests/integration/IntegrationSupport.h"
#include "platform/EditorHostWindow.h"
#include "tools/ambrel/Edit.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

namespace ambrel::testing {
namespace {

namespace fs = std::filesystem;

const char* const kThirdPartyEditors[] = {"/usr/lib/vst/3BandEQ-vst.so", "/usr/lib/vst/MVerb-vst.so",
                                          "/usr/lib/vst/SoulForce-vst.so"};

// An X server resets when its last client goes, and refuses connections for
// a moment while it does; between two editor windows there is often no
// client left. One connection kept open for the whole run prevents that.
Display* keepServerUp()
{
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

bool haveDisplay()
{
    const char* display = std::getenv("DISPLAY");
    return display && *display && keepServerUp();
}

// The editors to test: the third-party ones that are installed, and ours
// (skipped while they have no editor).
std::vector<std::string> editorPlugins()
{
    std::vector<std::string> found;
    for (const char* path : kThirdPartyEditors)
        if (fs::exists(path))
            found.push_back(path);
    found.push_back(AMBREL2_PLUGIN);
    found.push_back(AMBREL1_PLUGIN);
    return found;
}

std::string firstEditor()
{
    for (const char* path : kThirdPartyEditors)
        if (fs::exists(path))
            return path;
    return {};
}

#define REQUIRE_DISPLAY_AND(plugin)                                                                              \
    if (!haveDisplay())                                                                                           \
        GTEST_SKIP() << "no X display (run through tests/support/with-xvfb.sh)";                                 \
    if ((plugin).empty())                                                                                         \
        GTEST_SKIP() << "no plug-in with an editor in /usr/lib/vst (install dpf-plugins-vst)"

std::string tool()
{
    return shellQuote(AMBREL_TOOL);
}

struct Png {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

bool readPng(const fs::path& path, Png& png)
{
    int channels = 0;
    stbi_uc* pixels = stbi_load(path.string().c_str(), &png.width, &png.height, &channels, 3);
    if (!pixels)
        return false;
    png.rgb.assign(pixels, pixels + static_cast<size_t>(png.width) * png.height * 3);
    stbi_image_free(pixels);
    return true;
}

// Parses "window at X,Y size WxH".
bool windowLine(const std::string& output, int& width, int& height)
{
    const size_t at = output.find("window at ");
    if (at == std::string::npos)
        return false;
    int x = 0, y = 0;
    return std::sscanf(output.c_str() + at, "window at %d,%d size %dx%d", &x, &y, &width, &height) == 4;
}

TEST(EditorSnapshot, ThirdPartyEditorGivesAPictureOfItsRectangle)
{
    const std::string plugin = firstEditor();
    REQUIRE_DISPLAY_AND(plugin);
    // The size the editor itself asks for.
    int rectWidth = 0, rectHeight = 0;
    {
        std::unique_ptr<PluginHost> host = loadOrFail(plugin);
        ASSERT_TRUE(host);
        ASSERT_TRUE(EditorSession::editorRect(*host, rectWidth, rectHeight));
    }
    const fs::path dir = workDir("snapshot-third-party");
    const fs::path out = dir / "editor.png";
    const CommandResult r = runCommand(tool() + " snapshot " + shellQuote(plugin) + " " + shellQuote(out.string()) +
                                       " --idles 5 --verbose");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    int width = 0, height = 0;
    EXPECT_TRUE(windowLine(r.output, width, height)) << r.output;
    EXPECT_EQ(width, rectWidth);
    EXPECT_EQ(height, rectHeight);
    Png png;
    ASSERT_TRUE(readPng(out, png)) << stbi_failure_reason();
    EXPECT_EQ(png.width, rectWidth);
    EXPECT_EQ(png.height, rectHeight);
    // The editor drew: many colours, not the black of our empty window.
    std::set<std::uint32_t> colours;
    size_t black = 0;
    for (size_t i = 0; i + 2 < png.rgb.size(); i += 3) {
        colours.insert(png.rgb[i] << 16 | png.rgb[i + 1] << 8 | png.rgb[i + 2]);
        black += png.rgb[i] == 0 && png.rgb[i + 1] == 0 && png.rgb[i + 2] == 0;
    }
    EXPECT_GT(colours.size(), 100u);
    EXPECT_LT(black, png.rgb.size() / 3 / 2);
}

TEST(EditorSnapshot, FailuresAreClear)
{
    const std::string plugin = firstEditor();
    const fs::path dir = workDir("snapshot-failures");
    if (!plugin.empty()) {
        // Without a display the plug-in is not even asked for its rectangle.
        const CommandResult r = runCommand("env -u DISPLAY " + tool() + " snapshot " + shellQuote(plugin) + " " +
                                           shellQuote((dir / "x.png").string()));
        EXPECT_EQ(r.exitCode, 2) << r.errors;
        EXPECT_NE(r.errors.find("X display"), std::string::npos) << r.errors;
        EXPECT_FALSE(fs::exists(dir / "x.png"));
    }
    // A plug-in without an editor.
    const std::string noEditor = fs::exists("/usr/lib/vst/Kars-vst.so") ? "/usr/lib/vst/Kars-vst.so" : "";
    if (!noEditor.empty() && haveDisplay()) {
        const CommandResult r = runCommand(tool() + " edit " + shellQuote(noEditor) + " --seconds 1");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.errors.find("has no editor"), std::string::npos) << r.errors;
    }
    const CommandResult bad = runCommand(tool() + " snapshot " + shellQuote(AMBREL2_PLUGIN) + " " +
                                         shellQuote((dir / "y.png").string()) + " --scale 3");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.errors.find("bad scale"), std::string::npos) << bad.errors;
    const CommandResult signal = runCommand(tool() + " edit " + shellQuote(AMBREL2_PLUGIN) + " --signal pink");
    EXPECT_EQ(signal.exitCode, 2);
    EXPECT_NE(signal.errors.find("unknown signal"), std::string::npos) << signal.errors;
}

TEST(EditorEdit, RunsForTheGivenTimeAndClosesCleanly)
{
    const std::string plugin = firstEditor();
    REQUIRE_DISPLAY_AND(plugin);
    const auto start = std::chrono::steady_clock::now();
    const CommandResult r =
        runCommand(tool() + " edit " + shellQuote(plugin) + " --seconds 2 --verbose --signal noise --idle-ms 20");
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    int width = 0, height = 0;
    EXPECT_TRUE(windowLine(r.output, width, height)) << r.output;
    EXPECT_NE(r.output.find("editor closed (time elapsed)"), std::string::npos) << r.output;
    EXPECT_GE(elapsed, 2.0);
    EXPECT_LT(elapsed, 15.0);
}

int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// Finds the top-level window with this title. A window listed by the query
// may be gone by the time its name is asked (an earlier test's tool closing
// down): that error is ignored rather than ending the program.
Window findWindow(Display* display, const std::string& title)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    XSync(display, False);
    XErrorHandler previous = XSetErrorHandler(ignoreXError);
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name) {
                if (title == name)
                    found = children[i];
                XFree(name);
            }
        }
        XFree(children);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

// Drives the editor as a user does: drags in it, then closes the window
// through the window manager's protocol. The edits come back as callbacks.
TEST(EditorEdit, ReportsTheUsersEditsAndEndsWhenTheWindowIsClosed)
{
    const std::string plugin =
        fs::exists("/usr/lib/vst/3BandEQ-vst.so") ? std::string("/usr/lib/vst/3BandEQ-vst.so") : std::string();
    REQUIRE_DISPLAY_AND(plugin);
    const fs::path dir = workDir("edit-user");
    const fs::path outFile = dir / "out.txt";
    const std::string command = tool() + " edit " + shellQuote(plugin) + " --verbose --seconds 20 >" +
                                shellQuote(outFile.string()) + " 2>&1 &";
    ASSERT_EQ(std::system(command.c_str()), 0);

    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    // The tool names its window after the effect.
    std::string title;
    {
        std::unique_ptr<PluginHost> host = loadOrFail(plugin);
        ASSERT_TRUE(host);
        title = host->readText(effGetEffectName).text;
    }
    Window window = 0;
    for (int i = 0; i < 200 && !window; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window = findWindow(display, title);
    }
    ASSERT_NE(window, 0u) << "no window titled " << title;
    std::this_thread::sleep_for(std::chrono::milliseconds(800));

    // The low band's slider: drag its handle down.
    if (std::system("command -v xdotool >/dev/null") == 0) {
        EXPECT_EQ(std::system("xdotool mousemove 77 137 mousedown 1 sleep 0.1 mousemove 77 160 sleep 0.1 "
                              "mousemove 77 185 sleep 0.1 mouseup 1"),
                  0);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);

    // The tool ends by itself well before its 20 seconds.
    std::string output;
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(outFile);
        std::stringstream text;
        text << in.rdbuf();
        output = text.str();
        if (output.find("editor closed") != std::string::npos)
            break;
    }
    XCloseDisplay(display);
    EXPECT_NE(output.find("editor closed (window closed)"), std::string::npos) << output;
    if (std::system("command -v xdotool >/dev/null") == 0) {
        const size_t begin = output.find("begin edit 0");
        const size_t automate = output.find("automate 0=");
        const size_t end = output.find("end edit 0");
        EXPECT_NE(begin, std::string::npos) << output;
        EXPECT_NE(automate, std::string::npos) << output;
        EXPECT_NE(end, std::string::npos) << output;
        EXPECT_LT(begin, automate);
        EXPECT_LT(automate, end);
    }
}

// The requests a host makes around an editor, in the orders hosts make
// them, on every editor at hand.
class EditorRequests : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        if (!haveDisplay())
            GTEST_SKIP() << "no X display (run through tests/support/with-xvfb.sh)";
        PluginHost::Options options;
        options.editorWindow = true;
        host_ = loadOrFail(GetParam(), options);
        ASSERT_TRUE(host_);
        if (!(host_->effect()->flags & effFlagsHasEditor)) {
            host_->close();
            host_.reset();
            GTEST_SKIP() << GetParam() << " has no editor yet";
        }
        host_->setSampleRate(44100.0f);
        host_->setBlockSize(512);
        host_->resume();
    }
    void TearDown() override
    {
        if (host_) {
            host_->suspend();
            host_->close();
        }
    }

    std::unique_ptr<toolplatform::EditorHostWindow> makeWindow()
    {
        int width = 0, height = 0;
        EXPECT_TRUE(EditorSession::editorRect(*host_, width, height));
        std::string error;
        auto window = toolplatform::EditorHostWindow::create("test", width > 0 ? width : 100,
                                                             height > 0 ? height : 100, error);
        EXPECT_TRUE(window) << error;
        return window;
    }

    void process(int blocks)
    {
        std::vector<float> in0(512, 0.1f), in1(512, -0.1f), out0(512), out1(512);
        std::vector<float*> ins{in0.data(), in1.data()}, outs{out0.data(), out1.data()};
        for (int n = 0; n < host_->effect()->numInputs - 2; ++n)
            ins.push_back(in0.data());
        std::vector<std::vector<float>> extra(static_cast<size_t>(std::max(0, host_->effect()->numOutputs - 2)),
                                              std::vector<float>(512));
        for (auto& buffer : extra)
            outs.push_back(buffer.data());
        for (int i = 0; i < blocks; ++i)
            host_->processReplacing(ins.data(), outs.data(), 512);
    }

    std::unique_ptr<PluginHost> host_;
};

TEST_P(EditorRequests, IdleAndCloseWithoutOpenDoNothing)
{
    for (int i = 0; i < 5; ++i)
        host_->dispatch(effEditIdle);
    host_->dispatch(effEditClose);
    host_->dispatch(effEditIdle);
    process(4);
    // Still opens afterwards.
    auto window = makeWindow();
    ASSERT_TRUE(window);
    EXPECT_NE(host_->dispatch(effEditOpen, 0, 0, window->parentHandle()), 0);
    host_->dispatch(effEditIdle);
    host_->dispatch(effEditClose);
}

TEST_P(EditorRequests, RectangleBeforeAndAfterOpen)
{
    int before = 0, beforeHeight = 0;
    ASSERT_TRUE(EditorSession::editorRect(*host_, before, beforeHeight));
    auto window = makeWindow();
    ASSERT_TRUE(window);
    ASSERT_NE(host_->dispatch(effEditOpen, 0, 0, window->parentHandle()), 0);
    int after = 0, afterHeight = 0;
    EXPECT_TRUE(EditorSession::editorRect(*host_, after, afterHeight));
    EXPECT_GT(after, 0);
    EXPECT_GT(afterHeight, 0);
    host_->dispatch(effEditIdle);
    host_->dispatch(effEditClose);
    // And after close, for the next open.
    int closed = 0, closedHeight = 0;
    EXPECT_TRUE(EditorSession::editorRect(*host_, closed, closedHeight));
    EXPECT_EQ(closed, after);
    EXPECT_EQ(closedHeight, afterHeight);
}

TEST_P(EditorRequests, TwentyOpenCloseCyclesWithAudioBetween)
{
    for (int cycle = 0; cycle < 20; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        auto window = makeWindow();
        ASSERT_TRUE(window);
        ASSERT_NE(host_->dispatch(effEditOpen, 0, 0, window->parentHandle()), 0);
        for (int i = 0; i < 3; ++i) {
            window->processEvents();
            host_->dispatch(effEditIdle);
            process(1);
        }
        host_->dispatch(effEditClose);
        window.reset();
        process(1);
    }
}

TEST_P(EditorRequests, OpenTwiceThenClose)
{
    // A host that loses track (or reopens into a new window) opens twice; the
    // second open must not leave a window behind after the one close.
    auto first = makeWindow();
    auto second = makeWindow();
    ASSERT_TRUE(first && second);
    ASSERT_NE(host_->dispatch(effEditOpen, 0, 0, first->parentHandle()), 0);
    host_->dispatch(effEditIdle);
    host_->dispatch(effEditOpen, 0, 0, second->parentHandle());
    host_->dispatch(effEditIdle);
    host_->dispatch(effEditClose);
    host_->dispatch(effEditIdle);
    // Open again cleanly after that.
    ASSERT_NE(host_->dispatch(effEditOpen, 0, 0, first->parentHandle()), 0);
    host_->dispatch(effEditIdle);
    host_->dispatch(effEditClose);
}

std::string editorTestName(const ::testing::TestParamInfo<std::string>& info)
{
    std::string name = fs::path(info.param).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Editors, EditorRequests, ::testing::ValuesIn(editorPlugins()), editorTestName);

} // namespace
} // namespace ambrel::testing
