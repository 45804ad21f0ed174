// The X11 layer through the platform interface, on a private Xvfb: the
// window in a host's window, blits, paints, the mouse and wheel, the text
// field with real keys, pop-up menus, a host destroying its window first,
// two windows at once, many opens and closes, and the display's scale.
// gtest first: the X headers define None and Bool as macros.
#include <gtest/gtest.h>

#include "X11TestSupport.h"
#include "gui/Platform.h"
#include "platform/linux/gui/X11Support.h"
#include "platform/linux/gui/X11Window.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <functional>
#include <memory>

using namespace x11test;
using VSTGUI::CColor;
using VSTGUI::CPoint;
using VSTGUI::CRect;

namespace {

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*)
{
    ++hostErrors;
    return 0;
}

struct Recorder : VSTGUI::PlatformWindowListener {
    std::vector<CPoint> downs;
    std::vector<int32_t> buttonsAtDown;
    std::vector<std::tuple<CPoint, float, int32_t>> wheels;
    std::vector<CRect> draws;
    int gone = 0;
    CColor paint{0, 0, 255, 255};
    VSTGUI::PlatformWindow* window = nullptr;
    std::function<void()> onGone;

    void platformMouseDown(CPoint where) override
    {
        downs.push_back(where);
        buttonsAtDown.push_back(window ? window->getMouseButtons() : -1);
    }
    void platformWheel(CPoint where, float distance, int32_t axis) override { wheels.emplace_back(where, distance, axis); }
    void platformDraw(VSTGUI::PlatformSurface& surface, const CRect& area) override
    {
        draws.push_back(area);
        surface.fillRect(area, paint);
    }
    bool platformKey(const VstKeyCode&, bool) override { return false; }
    bool platformDrop(CPoint, const std::vector<std::string>&) override { return false; }
    void platformWindowGone() override
    {
        ++gone;
        if (onGone)
            onGone();
    }
};

struct FieldRecorder : VSTGUI::PlatformTextFieldListener {
    std::vector<bool> closes;
    void textFieldClosed(bool commit) override { closes.push_back(commit); }
};

bool pumpUntil(VSTGUI::PlatformWindow& window, const std::function<bool()>& done, int timeoutMs = 10000)
{
    const uint64_t until = nowMs() + static_cast<uint64_t>(timeoutMs);
    while (nowMs() < until) {
        window.pumpEvents();
        if (done())
            return true;
        sleepMs(5);
    }
    return false;
}

void pumpFor(VSTGUI::PlatformWindow& window, int ms)
{
    pumpUntil(window, [] { return false; }, ms);
}

class X11Platform : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!host)
            GTEST_SKIP() << "no X display";
        unsetenv("AMBREL_UI_SCALE");
        unsetenv("AMBREL_X11_NO_SHM");
        hostErrors = 0;
        previousHandler = XSetErrorHandler(countHostError);
    }
    void TearDown() override
    {
        if (!host)
            return;
        // Whatever our layer did, the host's handler is the one installed.
        EXPECT_EQ(XSetErrorHandler(previousHandler), countHostError);
    }

    std::unique_ptr<VSTGUI::PlatformWindow> open(HostWindow& parent, Recorder& recorder, int32_t w = 200,
                                                 int32_t h = 100, int32_t scale = 1)
    {
        VSTGUI::WindowSpec desc;
        desc.parent = parent.handle();
        desc.width = w;
        desc.height = h;
        desc.scale = scale;
        auto window = VSTGUI::defaultPlatform().createWindow(desc, &recorder);
        recorder.window = window.get();
        return window;
    }

    HostDisplay host;
    XErrorHandler previousHandler = nullptr;
};

std::vector<uint32_t> backBufferPixels(VSTGUI::PlatformWindow& window)
{
    std::vector<uint32_t> pixels;
    int32_t w = 0, h = 0;
    window.backBuffer().readPixels(pixels, w, h);
    return pixels;
}

} // namespace

TEST(X11Resources, ScaleAndDoubleClickTimeFromResourceText)
{
    auto r = x11gui::parseResources("Xft.antialias:\t1\nXft.dpi:\t144\n*multiClickTime: 333\n");
    EXPECT_EQ(r.dpi, 144);
    EXPECT_EQ(r.multiClickTime, 333);
    // One program's own setting is not everyone's.
    r = x11gui::parseResources("XTerm*multiClickTime: 250\nXft.dpi: 96.4\n");
    EXPECT_EQ(r.multiClickTime, 0);
    EXPECT_EQ(r.dpi, 96);
    r = x11gui::parseResources("*.MultiClickTime:\t500\n! Xft.dpi: 200\nXft.dpi: nonsense\n");
    EXPECT_EQ(r.multiClickTime, 500);
    EXPECT_EQ(r.dpi, 0);
    EXPECT_EQ(x11gui::parseResources(nullptr).dpi, 0);
}

TEST_F(X11Platform, WindowIsADirectChildAnchoredTopLeftWithXEmbedInfo)
{
    HostWindow parent(host.get(), 320, 240);
    Recorder recorder;
    auto window = open(parent, recorder);
    ASSERT_TRUE(window);
    const Window ours = static_cast<Window>(reinterpret_cast<uintptr_t>(window->nativeHandle()));

    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(host.get(), parent.id(), &root, &up, &children, &count));
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(children[0], ours);
    XFree(children);

    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(host.get(), ours, &attributes));
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.width, 200);
    EXPECT_EQ(attributes.height, 100);
    EXPECT_EQ(attributes.map_state, IsViewable);

    const Atom xembed = XInternAtom(host.get(), "_XEMBED_INFO", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(host.get(), ours, xembed, 0, 2, False, xembed, &type, &format, &items, &after, &data),
              Success);
    ASSERT_EQ(items, 2u);
    const long* info = reinterpret_cast<const long*>(data);
    EXPECT_EQ(info[0], 0);
    EXPECT_EQ(info[1], 1); // mapped
    XFree(data);
}

TEST_F(X11Platform, NoParentOrABadParentGivesNoWindowAndKeepsTheHostAlive)
{
    Recorder recorder;
    VSTGUI::WindowSpec desc;
    desc.width = 10;
    desc.height = 10;
    EXPECT_FALSE(VSTGUI::defaultPlatform().createWindow(desc, &recorder));
    desc.parent = reinterpret_cast<void*>(uintptr_t{0x7ffff00});
    EXPECT_FALSE(VSTGUI::defaultPlatform().createWindow(desc, &recorder));
    EXPECT_EQ(hostErrors, 0);
    // The host's own errors still reach the host's handler.
    XMapWindow(host.get(), 0x7ffff00);
    XSync(host.get(), False);
    EXPECT_EQ(hostErrors, 1);
}

TEST_F(X11Platform, BlitsMatchTheBackBufferWithAndWithoutSharedMemory)
{
    for (bool shm : {true, false}) {
        SCOPED_TRACE(shm ? "shared memory" : "XPutImage");
        if (!shm)
            setenv("AMBREL_X11_NO_SHM", "1", 1);
        HostWindow parent(host.get(), 300, 200);
        Recorder recorder;
        auto window = open(parent, recorder, 120, 80);
        ASSERT_TRUE(window);
        VSTGUI::PlatformSurface& back = window->backBuffer();
        back.fillRect(CRect(0, 0, 120, 80), CColor{10, 20, 30, 255});
        back.fillRect(CRect(5, 6, 50, 40), CColor{200, 100, 50, 255});
        back.drawLine(CPoint(0, 79), CPoint(119, 0), CColor{255, 255, 255, 255});
        window->flush(CRect(0, 0, 120, 80));
        EXPECT_EQ(static_cast<x11gui::X11Window&>(*window).usesSharedMemory(), shm);
        EXPECT_EQ(capture(host.get(), parent.id(), 0, 0, 120, 80), backBufferPixels(*window));
        // Only the flushed area reaches the screen.
        back.fillRect(CRect(0, 0, 120, 80), CColor{0, 255, 0, 255});
        window->flush(CRect(10, 10, 20, 20));
        const auto shot = capture(host.get(), parent.id(), 0, 0, 120, 80);
        EXPECT_EQ(shot[15 * 120 + 15], 0xFF00FF00u);
        EXPECT_EQ(shot[30 * 120 + 30], 0xFFC86432u);
        unsetenv("AMBREL_X11_NO_SHM");
    }
}

TEST_F(X11Platform, ExposeAndInvalidateAskForAPaint)
{
    HostWindow parent(host.get(), 300, 200);
    Recorder recorder;
    auto window = open(parent, recorder, 100, 60);
    ASSERT_TRUE(window);
    // The first map exposes the whole window.
    ASSERT_TRUE(pumpUntil(*window, [&] { return !recorder.draws.empty(); }));
    EXPECT_EQ(recorder.draws.back(), CRect(0, 0, 100, 60));
    EXPECT_EQ(capture(host.get(), parent.id(), 50, 30, 1, 1)[0], 0xFF0000FFu);
    // A window over ours and away again: the uncovered part is painted.
    recorder.draws.clear();
    recorder.paint = CColor{255, 0, 0, 255};
    {
        HostWindow cover(host.get(), 30, 20, 10, 10);
        cover.destroy();
    }
    ASSERT_TRUE(pumpUntil(*window, [&] { return !recorder.draws.empty(); }));
    EXPECT_EQ(capture(host.get(), parent.id(), 20, 20, 1, 1)[0], 0xFFFF0000u);
    EXPECT_EQ(capture(host.get(), parent.id(), 90, 50, 1, 1)[0], 0xFF0000FFu);
    // invalidate is painted by dispatchPendingPaint (a control tracking the mouse).
    recorder.draws.clear();
    recorder.paint = CColor{0, 255, 0, 255};
    window->invalidate(CRect(90, 50, 200, 200));
    window->dispatchPendingPaint();
    ASSERT_EQ(recorder.draws.size(), 1u);
    EXPECT_EQ(recorder.draws[0], CRect(90, 50, 100, 60));
    EXPECT_EQ(capture(host.get(), parent.id(), 95, 55, 1, 1)[0], 0xFF00FF00u);
}

TEST_F(X11Platform, MouseButtonsModifiersAndWheel)
{
    HostWindow parent(host.get(), 300, 200, 40, 30);
    Recorder recorder;
    auto window = open(parent, recorder);
    ASSERT_TRUE(window);
    Input input;
    int x = 0, y = 0;
    parent.toRoot(10, 20, x, y);
    input.move(x, y);
    EXPECT_EQ(window->getMouseLocation(), CPoint(10, 20));
    EXPECT_EQ(window->getMouseButtons(), 0);

    input.button(1, true);
    ASSERT_TRUE(pumpUntil(*window, [&] { return !recorder.downs.empty(); }));
    EXPECT_EQ(recorder.downs[0], CPoint(10, 20));
    EXPECT_EQ(recorder.buttonsAtDown[0], VSTGUI::kLButton); // read while the button is held
    input.button(1, false);
    EXPECT_EQ(window->getMouseButtons(), 0);

    input.key(XK_Shift_L, true);
    input.key(XK_Control_L, true);
    input.key(XK_Alt_L, true);
    input.button(3, true);
    EXPECT_EQ(window->getMouseButtons(), VSTGUI::kRButton | VSTGUI::kShift | VSTGUI::kControl | VSTGUI::kAlt);
    input.button(3, false);
    input.key(XK_Alt_L, false);
    input.key(XK_Control_L, false);
    input.key(XK_Shift_L, false);
    input.button(2, true);
    EXPECT_EQ(window->getMouseButtons(), VSTGUI::kMButton);
    input.button(2, false);
    pumpFor(*window, 50);
    EXPECT_EQ(recorder.downs.size(), 3u);

    // Wheel buttons: 4 up, 5 down, 6 left, 7 right.
    for (unsigned int b : {4u, 5u, 6u, 7u})
        input.click(b);
    ASSERT_TRUE(pumpUntil(*window, [&] { return recorder.wheels.size() == 4; }));
    EXPECT_EQ(recorder.wheels[0], std::make_tuple(CPoint(10, 20), 1.0f, 0));
    EXPECT_EQ(recorder.wheels[1], std::make_tuple(CPoint(10, 20), -1.0f, 0));
    EXPECT_EQ(recorder.wheels[2], std::make_tuple(CPoint(10, 20), -1.0f, 1));
    EXPECT_EQ(recorder.wheels[3], std::make_tuple(CPoint(10, 20), 1.0f, 1));

    // Outside the window the location goes on (a drag past the edge).
    parent.toRoot(250, -5, x, y);
    input.move(x, y);
    EXPECT_EQ(window->getMouseLocation(), CPoint(250, -5));
}

TEST_F(X11Platform, ScaleTwoFromTheDisplayDrawsLargeAndMapsTheMouseBack)
{
    VSTGUI::Platform& platform = VSTGUI::defaultPlatform();
    setResources(host.get(), "Xft.dpi:\t144\n*multiClickTime:\t333\n");
    sleepMs(300);
    EXPECT_EQ(platform.preferredScale(nullptr), 2);
    EXPECT_EQ(platform.doubleClickTime(), 333u);
    setenv("AMBREL_UI_SCALE", "1", 1);
    EXPECT_EQ(platform.preferredScale(nullptr), 1);
    unsetenv("AMBREL_UI_SCALE");
    setResources(host.get(), "Xft.dpi:\t96\n");
    sleepMs(300);
    EXPECT_EQ(platform.preferredScale(nullptr), 1);
    EXPECT_EQ(platform.doubleClickTime(), 400u);
    setenv("AMBREL_UI_SCALE", "2", 1);
    EXPECT_EQ(platform.preferredScale(nullptr), 2);
    unsetenv("AMBREL_UI_SCALE");
    setResources(host.get(), "");

    HostWindow parent(host.get(), 400, 300);
    Recorder recorder;
    auto window = open(parent, recorder, 100, 50, 2);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->scale(), 2);
    XWindowAttributes attributes;
    XGetWindowAttributes(host.get(), static_cast<Window>(reinterpret_cast<uintptr_t>(window->nativeHandle())),
                         &attributes);
    EXPECT_EQ(attributes.width, 200);
    EXPECT_EQ(attributes.height, 100);
    window->backBuffer().fillRect(CRect(0, 0, 100, 50), CColor{0, 0, 0, 255});
    window->backBuffer().fillRect(CRect(1, 1, 2, 2), CColor{255, 0, 0, 255});
    window->flush(CRect(0, 0, 100, 50));
    const auto shot = capture(host.get(), parent.id(), 0, 0, 4, 4);
    EXPECT_EQ(shot, (std::vector<uint32_t>{0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u,  //
                                           0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u,  //
                                           0xFF000000u, 0xFF000000u, 0xFFFF0000u, 0xFFFF0000u,  //
                                           0xFF000000u, 0xFF000000u, 0xFFFF0000u, 0xFFFF0000u}));
    Input input;
    int x = 0, y = 0;
    parent.toRoot(21, 41, x, y);
    input.move(x, y);
    input.click(1);
    ASSERT_TRUE(pumpUntil(*window, [&] { return !recorder.downs.empty(); }));
    EXPECT_EQ(recorder.downs[0], CPoint(10, 20));
    EXPECT_EQ(window->getMouseLocation(), CPoint(10, 20));
}

// --- Text field --------------------------------------------------------------

namespace {
struct FieldRig {
    HostWindow parent;
    Recorder recorder;
    std::unique_ptr<VSTGUI::PlatformWindow> window;
    FieldRecorder fieldRecorder;
    std::unique_ptr<VSTGUI::PlatformTextField> field;
    Input input;

    FieldRig(Display* host, std::unique_ptr<VSTGUI::PlatformWindow> (*make)(HostWindow&, Recorder&))
        : parent(host, 300, 120), window(make(parent, recorder))
    {
        // The host had the keyboard before the field opened.
        XSetInputFocus(host, parent.id(), RevertToParent, CurrentTime);
        XSync(host, False);
    }
    bool openField(const std::string& text)
    {
        VSTGUI::TextFieldSpec desc;
        desc.rect = CRect(10, 10, 170, 30);
        desc.text = text;
        field = window->createTextField(desc, &fieldRecorder);
        if (!field)
            return false;
        // Until the server has given it the keyboard.
        return pumpUntil(*window, [&] {
            Window focus = 0;
            int revert = 0;
            XGetInputFocus(input.display(), &focus, &revert);
            return focus != parent.id() && focus != PointerRoot;
        });
    }
    bool textBecomes(const std::string& text)
    {
        return pumpUntil(*window, [&] { return field && field->getText() == text; });
    }
};

std::unique_ptr<VSTGUI::PlatformWindow> makeWindow(HostWindow& parent, Recorder& recorder)
{
    VSTGUI::WindowSpec desc;
    desc.parent = parent.handle();
    desc.width = 200;
    desc.height = 60;
    auto window = VSTGUI::defaultPlatform().createWindow(desc, &recorder);
    recorder.window = window.get();
    return window;
}

Window focusOf(Display* display)
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus;
}
} // namespace

TEST_F(X11Platform, TextFieldEditsWithRealKeysAndCommitsOnReturn)
{
    FieldRig rig(host.get(), makeWindow);
    ASSERT_TRUE(rig.window);
    ASSERT_TRUE(rig.openField("abc"));
    EXPECT_EQ(rig.field->getText(), "abc");
    // All of the text is selected: typing replaces it.
    rig.input.type("Hello");
    EXPECT_TRUE(rig.textBecomes("Hello"));
    rig.input.tap(XK_BackSpace);
    EXPECT_TRUE(rig.textBecomes("Hell"));
    rig.input.tap(XK_Home);
    rig.input.tap(XK_Delete);
    EXPECT_TRUE(rig.textBecomes("ell"));
    rig.input.tap(XK_End);
    rig.input.tap(XK_Left);
    rig.input.type("x");
    EXPECT_TRUE(rig.textBecomes("elxl"));
    rig.input.key(XK_Shift_L, true);
    rig.input.tap(XK_Left);
    rig.input.tap(XK_Left);
    rig.input.key(XK_Shift_L, false);
    rig.input.type("y");
    EXPECT_TRUE(rig.textBecomes("eyl"));
    rig.input.key(XK_Control_L, true);
    rig.input.tap(XK_a);
    rig.input.key(XK_Control_L, false);
    rig.input.type("Nur 2");
    EXPECT_TRUE(rig.textBecomes("Nur 2"));
    EXPECT_TRUE(rig.fieldRecorder.closes.empty());
    rig.input.tap(XK_Return);
    ASSERT_TRUE(pumpUntil(*rig.window, [&] { return !rig.fieldRecorder.closes.empty(); }));
    EXPECT_EQ(rig.fieldRecorder.closes, std::vector<bool>{true});
    EXPECT_EQ(rig.field->getText(), "Nur 2");
    // Closing gives the keyboard back to the host's window.
    rig.field.reset();
    EXPECT_EQ(focusOf(host.get()), rig.parent.id());
}

TEST_F(X11Platform, TextFieldEscapeCancelsAndLosingFocusCommits)
{
    FieldRig rig(host.get(), makeWindow);
    ASSERT_TRUE(rig.window);
    ASSERT_TRUE(rig.openField("keep"));
    rig.input.type("zz");
    EXPECT_TRUE(rig.textBecomes("zz"));
    rig.input.tap(XK_Escape);
    ASSERT_TRUE(pumpUntil(*rig.window, [&] { return !rig.fieldRecorder.closes.empty(); }));
    EXPECT_EQ(rig.fieldRecorder.closes, std::vector<bool>{false});
    rig.field.reset();

    rig.fieldRecorder.closes.clear();
    ASSERT_TRUE(rig.openField("other"));
    // The host takes the keyboard back (the user clicked elsewhere).
    XSetInputFocus(host.get(), rig.parent.id(), RevertToParent, CurrentTime);
    XSync(host.get(), False);
    ASSERT_TRUE(pumpUntil(*rig.window, [&] { return !rig.fieldRecorder.closes.empty(); }));
    EXPECT_EQ(rig.fieldRecorder.closes, std::vector<bool>{true});
    rig.field.reset();
    EXPECT_EQ(focusOf(host.get()), rig.parent.id()); // left where the host put it
}

TEST_F(X11Platform, TextFieldTakesHostKeysOnceAndKeepsAtMost255Characters)
{
    FieldRig rig(host.get(), makeWindow);
    ASSERT_TRUE(rig.window);
    ASSERT_TRUE(rig.openField("old"));
    EXPECT_TRUE(rig.field->handleKey(VstKeyCode{'a', 0, 0}, true));
    EXPECT_TRUE(rig.field->handleKey(VstKeyCode{'a', 0, 0}, false));
    EXPECT_EQ(rig.field->getText(), "a");
    // A key both the window and the host deliver is typed once.
    rig.input.type("q");
    EXPECT_TRUE(rig.field->handleKey(VstKeyCode{'q', 0, 0}, true));
    pumpFor(*rig.window, 100);
    EXPECT_EQ(rig.field->getText(), "aq");
    EXPECT_TRUE(rig.field->handleKey(VstKeyCode{0, kVKeyBack, 0}, true));
    EXPECT_EQ(rig.field->getText(), "a");
    // Keys a single-line field has no use for stay with the host.
    EXPECT_FALSE(rig.field->handleKey(VstKeyCode{0, kVKeyTab, 0}, true));
    EXPECT_FALSE(rig.field->handleKey(VstKeyCode{0, kVKeyF1 + 4, 0}, true));
    for (int i = 0; i < 300; ++i)
        rig.field->handleKey(VstKeyCode{'z', 0, 0}, true);
    EXPECT_EQ(rig.field->getText().size(), 255u);
    // Multi-byte characters are never cut in half.
    rig.field->handleKey(VstKeyCode{'a', 0, kModifierControl}, true);
    for (int i = 0; i < 200; ++i)
        rig.field->handleKey(VstKeyCode{0xE9, 0, 0}, true);
    EXPECT_EQ(rig.field->getText().size(), 254u);
    EXPECT_TRUE(rig.field->handleKey(VstKeyCode{0, kVKeyReturn, 0}, true));
    EXPECT_EQ(rig.fieldRecorder.closes, std::vector<bool>{true});
}

TEST_F(X11Platform, TextFieldPastesTheClipboard)
{
    FieldRig rig(host.get(), makeWindow);
    ASSERT_TRUE(rig.window);
    // The host owns the clipboard.
    const Atom clipboard = XInternAtom(host.get(), "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(host.get(), "UTF8_STRING", False);
    XSetSelectionOwner(host.get(), clipboard, rig.parent.id(), CurrentTime);
    XSync(host.get(), False);
    ASSERT_TRUE(rig.openField("x"));
    rig.input.tap(XK_End);
    rig.input.key(XK_Control_L, true);
    rig.input.tap(XK_v);
    rig.input.key(XK_Control_L, false);
    const std::string offered = "Caf\xC3\xA9 line\nsecond";
    const bool pasted = pumpUntil(*rig.window, [&] {
        while (XPending(host.get())) {
            XEvent event;
            XNextEvent(host.get(), &event);
            if (event.type != SelectionRequest)
                continue;
            const XSelectionRequestEvent& request = event.xselectionrequest;
            XSelectionEvent reply{};
            reply.type = SelectionNotify;
            reply.requestor = request.requestor;
            reply.selection = request.selection;
            reply.target = request.target;
            reply.time = request.time;
            reply.property = None;
            if (request.target == utf8) {
                XChangeProperty(host.get(), request.requestor, request.property, utf8, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(offered.data()),
                                static_cast<int>(offered.size()));
                reply.property = request.property;
            }
            XSendEvent(host.get(), request.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
            XFlush(host.get());
        }
        return rig.field->getText() != "x";
    });
    ASSERT_TRUE(pasted);
    EXPECT_EQ(rig.field->getText(), "xCaf\xC3\xA9 line"); // one line of it
}

// --- Pop-up menu -------------------------------------------------------------

namespace {
VSTGUI::MenuModel sampleMenu(VSTGUI::MenuModel& sub)
{
    using VSTGUI::MenuItem;
    sub.items = {{"Inner one", 0, nullptr}, {"Inner two", 0, nullptr}};
    VSTGUI::MenuModel menu;
    menu.items = {{"First", 0, nullptr},
                  {"Second", MenuItem::kChecked, nullptr},
                  {"", MenuItem::kSeparator, nullptr},
                  {"Greyed", MenuItem::kDisabled, nullptr},
                  {"Heading", MenuItem::kTitle, nullptr},
                  {"More", 0, &sub},
                  {"Other column", MenuItem::kColumnBreak, nullptr},
                  {"Last", 0, nullptr}};
    return menu;
}

// Root position of the middle of item `index` of a single-column menu
// whose window is at (x, y), at scale `s` (rows of 19, separators of 7, a
// border of 3).
void itemCentre(const VSTGUI::MenuModel& menu, size_t index, int x, int y, int s, int& cx, int& cy)
{
    int top = 3;
    for (size_t i = 0; i < index; ++i)
        top += (menu.items[i].flags & VSTGUI::MenuItem::kSeparator) ? 7 : 19;
    cx = x + 40 * s;
    cy = y + (top + 9) * s;
}
} // namespace

TEST_F(X11Platform, MenuChoiceByMouseByKeysInSubmenusAndCancel)
{
    HostWindow parent(host.get(), 300, 200, 50, 50);
    Recorder recorder;
    auto window = open(parent, recorder);
    ASSERT_TRUE(window);
    VSTGUI::MenuModel sub;
    const VSTGUI::MenuModel menu = sampleMenu(sub);

    {
        SCOPED_TRACE("mouse click on an entry");
        Helper helper([] { return true; }, [&] {
            Input input;
            const Window popup = waitForPopup(input.display());
            int x = 0, y = 0, w = 0, h = 0, cx = 0, cy = 0;
            windowGeometry(input.display(), popup, x, y, w, h);
            itemCentre(menu, 1, x, y, 1, cx, cy);
            input.move(cx, cy);
            input.click(1);
            closeLeftoverMenu(input);
        });
        const VSTGUI::MenuResult result = window->popupMenu(menu, CPoint(20, 30));
        helper.join();
        EXPECT_EQ(result.menu, &menu);
        EXPECT_EQ(result.index, 1);
    }
    {
        SCOPED_TRACE("keys: down to the submenu, right, down, return");
        Helper helper([] { return true; }, [&] {
            Input input;
            waitForPopup(input.display());
            for (unsigned long k : {XK_Down, XK_Down, XK_Down, XK_Right, XK_Down, XK_Return}) {
                input.tap(k);
                sleepMs(20);
            }
            closeLeftoverMenu(input);
        });
        const VSTGUI::MenuResult result = window->popupMenu(menu, CPoint(20, 30));
        helper.join();
        EXPECT_EQ(result.menu, &sub);
        EXPECT_EQ(result.index, 1);
    }
    {
        SCOPED_TRACE("keys: into the next column");
        Helper helper([] { return true; }, [&] {
            Input input;
            waitForPopup(input.display());
            for (unsigned long k : {XK_Down, XK_Right, XK_Down, XK_Return}) {
                input.tap(k);
                sleepMs(20);
            }
            closeLeftoverMenu(input);
        });
        const VSTGUI::MenuResult result = window->popupMenu(menu, CPoint(20, 30));
        helper.join();
        EXPECT_EQ(result.menu, &menu);
        EXPECT_EQ(result.index, 7);
    }
    {
        SCOPED_TRACE("a greyed entry cannot be chosen; Escape cancels");
        Helper helper([] { return true; }, [&] {
            Input input;
            const Window popup = waitForPopup(input.display());
            int x = 0, y = 0, w = 0, h = 0, cx = 0, cy = 0;
            windowGeometry(input.display(), popup, x, y, w, h);
            itemCentre(menu, 3, x, y, 1, cx, cy);
            input.move(cx, cy);
            input.click(1);
            sleepMs(50);
            input.tap(XK_Escape);
        });
        const VSTGUI::MenuResult result = window->popupMenu(menu, CPoint(20, 30));
        helper.join();
        EXPECT_EQ(result.menu, nullptr);
        EXPECT_EQ(result.index, -1);
    }
    {
        SCOPED_TRACE("a click outside cancels; the menu stays on the screen");
        int x = 0, y = 0, w = 0, h = 0;
        Helper helper([] { return true; }, [&] {
            Input input;
            const Window popup = waitForPopup(input.display());
            windowGeometry(input.display(), popup, x, y, w, h);
            input.move(5, 5);
            input.click(1);
        });
        // Near the bottom-right corner of the 1280 x 1024 screen.
        const VSTGUI::MenuResult result = window->popupMenu(menu, CPoint(1270 - 50, 1010 - 50));
        helper.join();
        EXPECT_EQ(result.menu, nullptr);
        EXPECT_GT(w, 100);
        EXPECT_LE(x + w, 1280);
        EXPECT_LE(y + h, 1024);
        EXPECT_GE(x, 0);
    }
    // The menus are gone and the pointer is free again.
    EXPECT_EQ(findPopup(host.get()), 0u);
    Input input;
    input.move(100, 100);
    input.click(1);
    ASSERT_TRUE(pumpUntil(*window, [&] { return !recorder.downs.empty(); }));
}

TEST_F(X11Platform, MenuDrawsCheckMarksAndGreyText)
{
    HostWindow parent(host.get(), 300, 200, 50, 50);
    Recorder recorder;
    auto window = open(parent, recorder);
    ASSERT_TRUE(window);
    VSTGUI::MenuModel sub;
    const VSTGUI::MenuModel menu = sampleMenu(sub);
    std::vector<uint32_t> shot;
    int x = 0, y = 0, w = 0, h = 0;
    Helper helper([] { return true; }, [&] {
        Input input;
        const Window popup = waitForPopup(input.display());
        windowGeometry(input.display(), popup, x, y, w, h);
        shot = capture(input.display(), popup, 0, 0, w, h);
        input.tap(XK_Escape);
    });
    window->popupMenu(menu, CPoint(10, 10));
    helper.join();
    ASSERT_EQ(shot.size(), static_cast<size_t>(w * h));
    if (std::getenv("AMBREL_TEST_SCREENSHOTS"))
        writePpm("x11platform-menu.ppm", shot, w, h);
    auto darkIn = [&](int left, int top, int right, int bottom) {
        int count = 0;
        for (int yy = top; yy < bottom; ++yy)
            for (int xx = left; xx < right; ++xx)
                if ((shot[static_cast<size_t>(yy * w + xx)] & 0xFF) < 64)
                    ++count;
        return count;
    };
    // The check column of "Second" (row 1) holds a mark, that of "First" none.
    EXPECT_GT(darkIn(3, 3 + 19, 3 + 22, 3 + 38), 6);
    EXPECT_EQ(darkIn(3, 3, 3 + 22, 3 + 19), 0);
    // "Greyed" has no black text; "First" has (when the build has glyphs).
    EXPECT_EQ(darkIn(25, 3 + 45, 100, 3 + 64), 0);
    if (softraster::embeddedSkin().glyphAtlas(VSTGUI::kNormalFont, 0, 1)) {
        EXPECT_GT(darkIn(25, 3, 100, 3 + 19), 10);
    }
}

// --- Lifetime ----------------------------------------------------------------

TEST_F(X11Platform, AHostDestroyingItsWindowFirstLosesNothing)
{
    auto parent = std::make_unique<HostWindow>(host.get(), 300, 200);
    Recorder recorder;
    auto window = open(*parent, recorder);
    ASSERT_TRUE(window);
    FieldRecorder fieldRecorder;
    VSTGUI::TextFieldSpec desc;
    desc.rect = CRect(5, 5, 100, 25);
    auto field = window->createTextField(desc, &fieldRecorder);
    ASSERT_TRUE(field);
    recorder.onGone = [&] { field.reset(); };
    parent->destroy();
    ASSERT_TRUE(pumpUntil(*window, [&] { return recorder.gone == 1; }));
    EXPECT_FALSE(field);
    // Everything still answers, quietly.
    window->pumpEvents();
    window->flush(CRect(0, 0, 200, 100));
    window->invalidate(CRect(0, 0, 10, 10));
    window->dispatchPendingPaint();
    EXPECT_EQ(window->getMouseButtons(), 0);
    EXPECT_FALSE(window->createTextField(desc, &fieldRecorder));
    EXPECT_EQ(window->popupMenu(VSTGUI::MenuModel{{{"a", 0, nullptr}}}, CPoint()).index, -1);
    EXPECT_EQ(recorder.gone, 1);
    window.reset();
    EXPECT_EQ(hostErrors, 0);

    // Destroyed without a pump in between: closing still works.
    HostWindow second(host.get(), 300, 200);
    Recorder other;
    auto again = open(second, other);
    ASSERT_TRUE(again);
    second.destroy();
    again.reset();
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Platform, TwoWindowsAtOnce)
{
    HostWindow first(host.get(), 200, 100, 0, 0);
    HostWindow second(host.get(), 200, 100, 300, 0);
    Recorder a, b;
    a.paint = CColor{255, 0, 0, 255};
    b.paint = CColor{0, 255, 0, 255};
    auto one = open(first, a, 150, 80);
    auto two = open(second, b, 150, 80);
    ASSERT_TRUE(one && two);
    ASSERT_TRUE(pumpUntil(*one, [&] {
        two->pumpEvents();
        return !a.draws.empty() && !b.draws.empty();
    }));
    EXPECT_EQ(capture(host.get(), first.id(), 0, 0, 150, 80), backBufferPixels(*one));
    EXPECT_EQ(capture(host.get(), second.id(), 0, 0, 150, 80), backBufferPixels(*two));
    EXPECT_EQ(capture(host.get(), first.id(), 75, 40, 1, 1)[0], 0xFFFF0000u);
    EXPECT_EQ(capture(host.get(), second.id(), 75, 40, 1, 1)[0], 0xFF00FF00u);
    // Each sees only its own clicks.
    Input input;
    int x = 0, y = 0;
    second.toRoot(30, 40, x, y);
    input.move(x, y);
    input.click(1);
    ASSERT_TRUE(pumpUntil(*two, [&] {
        one->pumpEvents();
        return !b.downs.empty();
    }));
    EXPECT_TRUE(a.downs.empty());
    EXPECT_EQ(b.downs[0], CPoint(30, 40));
}

TEST_F(X11Platform, FiftyOpensAndClosesLeaveNothingBehind)
{
    HostWindow parent(host.get(), 300, 200);
    auto cycle = [&] {
        Recorder recorder;
        auto window = open(parent, recorder);
        ASSERT_TRUE(window);
        window->backBuffer().fillRect(CRect(0, 0, 200, 100), CColor{1, 2, 3, 255});
        window->flush(CRect(0, 0, 200, 100));
        FieldRecorder fieldRecorder;
        VSTGUI::TextFieldSpec desc;
        desc.rect = CRect(5, 5, 100, 25);
        auto field = window->createTextField(desc, &fieldRecorder);
        window->pumpEvents();
        field.reset();
        window->pumpEvents();
    };
    cycle(); // first use: whatever libX11 sets up once per process
    const int descriptors = openDescriptors();
    const int segments = sharedMemorySegments();
    for (int i = 0; i < 50; ++i)
        cycle();
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(sharedMemorySegments(), segments);
    // Nothing of ours is left in the host's window.
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(host.get(), parent.id(), &root, &up, &children, &count);
    EXPECT_EQ(count, 0u);
    if (children)
        XFree(children);
}
