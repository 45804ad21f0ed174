// Messages and file dialogs on Linux with real keys under Xvfb: the message
// panel over the editor and in a window of its own, zenity's dialog with the
// editor going on idling, and our own chooser with zenity out of PATH.
#include <gtest/gtest.h> // first: the X headers define None and Bool

#include "X11TestSupport.h"
#include "gui/Platform.h"
#include "platform/linux/gui/X11Dialogs.h"

#include <X11/keysym.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

using namespace x11test;
using VSTGUI::CColor;
using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace {

struct Recorder : VSTGUI::PlatformWindowListener {
    int modalIdles = 0;
    int downs = 0;
    void platformMouseDown(CPoint) override { ++downs; }
    void platformWheel(CPoint, float, int32_t) override {}
    void platformDraw(VSTGUI::PlatformSurface& surface, const CRect& area) override
    {
        surface.fillRect(area, CColor{0, 0, 255, 255});
    }
    bool platformKey(const VstKeyCode&, bool) override { return false; }
    bool platformDrop(CPoint, const std::vector<std::string>&) override { return false; }
    void platformWindowGone() override {}
    void platformModalIdle() override { ++modalIdles; }
};

// A folder of its own with a few files.
struct Folder {
    std::string path;
    Folder()
    {
        char pattern[] = "/tmp/ambrel-dialogs-XXXXXX";
        path = mkdtemp(pattern);
        for (const char* name : {"bank.nub", "Other.NUB", "notes.txt", ".hidden.nub"})
            std::ofstream(path + "/" + name) << "x";
        mkdir((path + "/sub").c_str(), 0700);
        std::ofstream(path + "/sub/inner.nub") << "x";
    }
    ~Folder() { std::system(("rm -rf '" + path + "'").c_str()); }
};

VSTGUI::FileDialogSpec bankSpec(bool save, const std::string& directory)
{
    VSTGUI::FileDialogSpec desc;
    desc.save = save;
    desc.title = save ? "Save bank as..." : "Select bank to load...";
    desc.filters = {{"All Files", "*.*"}, {"Nur Banks", "*.nub"}};
    desc.selectedFilter = 1;
    desc.defaultExtension = "nub";
    desc.initialDirectory = directory;
    return desc;
}

Window waitForWindow(Display* display, const std::string& name)
{
    for (int i = 0; i < 1000; ++i) {
        if (Window w = findWindowByName(display, name))
            return w;
        sleepMs(10);
    }
    return 0;
}

class X11Dialogs : public ::testing::Test {
protected:
    static int ignoreError(Display*, XErrorEvent*) { return 0; }

    void SetUp() override
    {
        // The helpers look at windows that may go away under them.
        previous = XSetErrorHandler(ignoreError);
        if (!host)
            GTEST_SKIP() << "no X display";
        unsetenv("AMBREL_UI_SCALE");
        parent = std::make_unique<HostWindow>(host.get(), 300, 200, 100, 100);
        VSTGUI::WindowSpec desc;
        desc.parent = parent->handle();
        desc.width = 300;
        desc.height = 200;
        window = VSTGUI::defaultPlatform().createWindow(desc, &recorder);
        ASSERT_TRUE(window);
        for (int i = 0; i < 20; ++i) {
            window->pumpEvents();
            sleepMs(5);
        }
    }
    void TearDown() override
    {
        window.reset();
        parent.reset();
        XSetErrorHandler(previous);
    }

    XErrorHandler previous = nullptr;
    HostDisplay host;
    std::unique_ptr<HostWindow> parent;
    Recorder recorder;
    std::unique_ptr<VSTGUI::PlatformWindow> window;
};

// Ends the process that owns a window (its _NET_WM_PID).
void killWindowProcess(Display* display, Window window)
{
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False, AnyPropertyType,
                           &type, &format, &items, &after, &data) == Success && data && items == 1) {
        const long pid = *reinterpret_cast<long*>(data);
        if (pid > 1)
            kill(static_cast<pid_t>(pid), SIGTERM);
    }
    if (data)
        XFree(data);
}

bool zenityInstalled() { return std::system("command -v zenity >/dev/null 2>&1") == 0; }

// Runs `body` with PATH holding only an empty folder: no zenity, no kdialog.
struct NoDialogPrograms {
    std::string saved;
    std::string empty;
    NoDialogPrograms()
    {
        saved = std::getenv("PATH") ? std::getenv("PATH") : "";
        char pattern[] = "/tmp/ambrel-nopath-XXXXXX";
        empty = mkdtemp(pattern);
        setenv("PATH", empty.c_str(), 1);
    }
    ~NoDialogPrograms()
    {
        setenv("PATH", saved.c_str(), 1);
        rmdir(empty.c_str());
    }
};

} // namespace

TEST_F(X11Dialogs, MessageIsDrawnOverTheEditorAndDismissedByReturnOrAClick)
{
    std::vector<uint32_t> during;
    Helper helper([] { return true; }, [&] {
        HostDisplay d;
        // Until the panel is on the screen: the corner dimmed.
        for (int i = 0; i < 300; ++i) {
            if (capture(d.get(), parent->id(), 2, 2, 1, 1)[0] == 0xFF00007Fu)
                break;
            sleepMs(10);
        }
        during = capture(d.get(), parent->id(), 0, 0, 300, 200);
        sleepMs(150); // the editor idles meanwhile
        Input input;
        input.tap(XK_Return);
    });
    VSTGUI::defaultPlatform().messageBox(window.get(), "Error...", "Not a bank file!");
    helper.join();
    ASSERT_EQ(during.size(), 300u * 200u);
    if (std::getenv("AMBREL_TEST_SCREENSHOTS"))
        writePpm("x11dialogs-message.ppm", during, 300, 200);
    EXPECT_EQ(during[2 * 300 + 2], 0xFF00007Fu);               // the skin, darkened
    EXPECT_EQ(during[100 * 300 + 150], 0xFFEEEEEEu);           // the panel
    EXPECT_EQ(capture(host.get(), parent->id(), 2, 2, 1, 1)[0], 0xFF0000FFu); // and gone again
    EXPECT_GT(recorder.modalIdles, 0);

    // A click anywhere in the window dismisses it; the click goes no further.
    Helper clicker([] { return true; }, [&] {
        HostDisplay d;
        for (int i = 0; i < 300 && capture(d.get(), parent->id(), 2, 2, 1, 1)[0] != 0xFF00007Fu; ++i)
            sleepMs(10);
        Input input;
        int x = 0, y = 0;
        parent->toRoot(20, 20, x, y);
        input.move(x, y);
        input.click(1);
    });
    VSTGUI::defaultPlatform().messageBox(window.get(), "Error...", "Error #01: Invalid preset file!");
    clicker.join();
    for (int i = 0; i < 10; ++i) {
        window->pumpEvents();
        sleepMs(5);
    }
    EXPECT_EQ(recorder.downs, 0);
}

TEST_F(X11Dialogs, MessageWithoutAWindowHasAWindowOfItsOwn)
{
    bool seen = false;
    Helper helper([] { return true; }, [&] {
        HostDisplay d;
        seen = waitForWindow(d.get(), "Error...") != 0;
        sleepMs(50);
        Input input;
        input.tap(XK_Return);
    });
    VSTGUI::defaultPlatform().messageBox(nullptr, "Error...", "Error #02: Not a preset file!");
    helper.join();
    EXPECT_TRUE(seen);
}

TEST_F(X11Dialogs, ZenityOpensSavesAndCancelsWhileTheEditorIdles)
{
    if (!zenityInstalled())
        GTEST_SKIP() << "zenity is not installed";
    Folder folder;
    auto drive = [&](const std::string& title, const std::vector<std::function<void(Input&)>>& steps) {
        return std::make_unique<Helper>([] { return true; }, [=] {
            HostDisplay d;
            const Window dialog = waitForWindow(d.get(), title);
            if (!dialog)
                return;
            sleepMs(1200); // the toolkit's start-up
            // There is no window manager to give the dialog the keyboard.
            XSetInputFocus(d.get(), dialog, RevertToParent, CurrentTime);
            XSync(d.get(), False);
            Input input;
            for (const auto& step : steps) {
                step(input);
                sleepMs(300);
            }
            // Should the keys have gone astray, the dialog must not hang the test.
            for (int i = 0; i < 500 && findWindowByName(d.get(), title); ++i)
                sleepMs(10);
            if (findWindowByName(d.get(), title))
                killWindowProcess(d.get(), dialog);
        });
    };
    auto typePath = [](const std::string& path) {
        return [path](Input& input) {
            input.key(XK_Control_L, true);
            input.tap(XK_l);
            input.key(XK_Control_L, false);
            sleepMs(200);
            input.type(path);
        };
    };
    auto press = [](unsigned long keysym) { return [keysym](Input& input) { input.tap(keysym); }; };

    {
        auto helper = drive("Select bank to load...", {typePath(folder.path + "/bank.nub"), press(XK_Return)});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(window.get(), bankSpec(false, folder.path));
        helper->join();
        ASSERT_TRUE(chosen);
        EXPECT_EQ(*chosen, folder.path + "/bank.nub");
        EXPECT_GT(recorder.modalIdles, 5); // the editor idled while the dialog was up
    }
    {
        // A new name without extension gets the default one.
        auto helper = drive("Save bank as...", {typePath(folder.path + "/fresh"), press(XK_Return)});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(window.get(), bankSpec(true, folder.path));
        helper->join();
        ASSERT_TRUE(chosen);
        EXPECT_EQ(*chosen, folder.path + "/fresh.nub");
    }
    {
        // An existing file: zenity asks; Escape there and in the dialog cancels.
        auto helper = drive("Save bank as...",
                            {typePath(folder.path + "/bank.nub"), press(XK_Return), press(XK_Escape), press(XK_Escape)});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(window.get(), bankSpec(true, folder.path));
        helper->join();
        EXPECT_FALSE(chosen);
    }
}

TEST(X11FileChooserListing, FoldersFirstThenMatchingFilesWithoutHiddenOnes)
{
    Folder folder;
    auto entries = x11gui::listDirectory(folder.path, "*.nub");
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.name + (e.directory ? "/" : ""));
    EXPECT_EQ(names, (std::vector<std::string>{"../", "sub/", "bank.nub", "Other.NUB"}));
    entries = x11gui::listDirectory(folder.path, "*.*");
    EXPECT_EQ(entries.size(), 5u); // .., sub, and the three visible files
    EXPECT_TRUE(x11gui::matchesPattern("a.nur", "*.nub;*.nur"));
    EXPECT_FALSE(x11gui::matchesPattern("a.nu", "*.nub"));
    EXPECT_EQ(x11gui::listDirectory("/", "*").front().name == "..", false);
    EXPECT_EQ(x11gui::withDefaultExtension("/a/b", "nub"), "/a/b.nub");
    EXPECT_EQ(x11gui::withDefaultExtension("/a/b.", "nub"), "/a/b.nub");
    EXPECT_EQ(x11gui::withDefaultExtension("/a.d/b.nur", "nub"), "/a.d/b.nur");
    EXPECT_EQ(x11gui::withDefaultExtension("/a.d/b", "nub"), "/a.d/b.nub");
}

TEST_F(X11Dialogs, OwnChooserWithoutZenityOrKdialog)
{
    Folder folder;
    NoDialogPrograms noPrograms;
    auto drive = [&](const std::string& title, const std::vector<std::function<void(Input&)>>& steps) {
        return std::make_unique<Helper>([] { return true; }, [=] {
            HostDisplay d;
            const Window chooser = waitForWindow(d.get(), title);
            if (!chooser)
                return;
            sleepMs(100);
            if (std::getenv("AMBREL_TEST_SCREENSHOTS")) {
                int x, y, w, h;
                windowGeometry(d.get(), chooser, x, y, w, h);
                writePpm("x11dialogs-chooser.ppm", capture(d.get(), chooser, 0, 0, w, h), w, h);
            }
            Input input;
            for (const auto& step : steps) {
                step(input);
                sleepMs(60);
            }
        });
    };
    auto type = [](const std::string& text) { return [text](Input& input) { input.type(text); }; };
    auto press = [](unsigned long keysym) { return [keysym](Input& input) { input.tap(keysym); }; };
    {
        // Into a folder by name, then a file there; the extension is added.
        auto helper = drive("Select bank to load...", {type("sub"), press(XK_Return), type("inner"), press(XK_Return)});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(window.get(), bankSpec(false, folder.path));
        helper->join();
        ASSERT_TRUE(chosen);
        EXPECT_EQ(*chosen, folder.path + "/sub/inner.nub");
        EXPECT_GT(recorder.modalIdles, 0);
    }
    {
        // The list: Home is "..", then "sub", then the files of the type.
        auto helper = drive("Select bank to load...", {press(XK_Home), press(XK_Down), press(XK_Down), press(XK_Return)});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(window.get(), bankSpec(false, folder.path));
        helper->join();
        ASSERT_TRUE(chosen);
        EXPECT_EQ(*chosen, folder.path + "/bank.nub");
    }
    {
        // A name that is not there is refused with a message; Escape cancels.
        auto helper = drive("Select bank to load...",
                            {type("missing"), press(XK_Return), press(XK_Return), press(XK_Escape)});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(window.get(), bankSpec(false, folder.path));
        helper->join();
        EXPECT_FALSE(chosen);
    }
    {
        // Replacing asks first: No keeps the chooser open, Yes replaces.
        auto helper = drive("Save bank as...", {type("bank"), press(XK_Return), type("n"), press(XK_Return), type("y")});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(window.get(), bankSpec(true, folder.path));
        helper->join();
        ASSERT_TRUE(chosen);
        EXPECT_EQ(*chosen, folder.path + "/bank.nub");
    }
    {
        // Without any window of the editor's the chooser still works.
        auto helper = drive("Save bank as...", {type("new"), press(XK_Return)});
        const auto chosen = VSTGUI::defaultPlatform().fileDialog(nullptr, bankSpec(true, folder.path));
        helper->join();
        ASSERT_TRUE(chosen);
        EXPECT_EQ(*chosen, folder.path + "/new.nub");
    }
}
