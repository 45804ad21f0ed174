// The toolkit on the X11 layer in a host's window, driven with real input
// (XTest): knob drags with and without Shift, the wheel, double click,
// Ctrl+click, buttons, the text field with typed and forwarded keys, an
// option menu; every state's screenshot compared pixel for pixel with the
// off-screen render of the same frame; scale 2; two editors at once; a host
// that destroys its window first; fifty opens and closes.
#include <gtest/gtest.h> // first: the X headers define None and Bool

#include "X11TestSupport.h"
#include "gui/vstgui.h"
#include "platform/software/SoftwareRaster.h"

#include <X11/keysym.h>

#include <cstdlib>
#include <deque>
#include <functional>

using namespace x11test;
using namespace VSTGUI;

namespace {

constexpr int32_t kWidth = 300;
constexpr int32_t kHeight = 200;
enum TestBitmap { kBackgroundArt = 9000, kKnobStrip, kOnOffArt, kKickArt };

// Synthetic art, so the pixels compared do not depend on the skin's look.
softraster::Image makeImage(int id)
{
    softraster::Image image;
    auto fill = [&](int w, int h, const std::function<uint32_t(int, int)>& f) {
        image.width = w;
        image.height = h;
        image.pixels.resize(static_cast<size_t>(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.pixels[static_cast<size_t>(y * w + x)] = 0xFF000000u | f(x, y);
    };
    switch (id) {
    case kBackgroundArt:
        fill(kWidth, kHeight, [](int x, int y) { return uint32_t((x * 255 / kWidth) << 16 | (y * 255 / kHeight) << 8 | 0x60); });
        break;
    case kKnobStrip: // 20 frames of 40 x 40: a bar whose length is the frame number
        fill(40, 800, [](int x, int y) {
            const int frame = y / 40, row = y % 40;
            return (row > 16 && row < 24 && x < 2 * frame) ? 0xFFFF00u : uint32_t(0x202020 + frame * 0x030303);
        });
        break;
    case kOnOffArt: // off on top, on below
        fill(30, 60, [](int x, int y) { return y < 30 ? 0x303030u : ((x + y) % 4 ? 0x20E020u : 0xFFFFFFu); });
        break;
    case kKickArt:
        fill(30, 60, [](int, int y) { return y < 30 ? 0x603030u : 0xE02020u; });
        break;
    default:
        break;
    }
    return image;
}

// The X11 platform with the test's art.
class ArtPlatform final : public Platform {
public:
    explicit ArtPlatform(Platform& real) : real_(real) {}
    std::unique_ptr<PlatformWindow> createWindow(const WindowSpec& desc, PlatformWindowListener* l) override
    {
        return real_.createWindow(desc, l);
    }
    int32_t preferredScale(void* parent) override { return real_.preferredScale(parent); }
    std::shared_ptr<PlatformBitmap> loadBitmap(int32_t id) override
    {
        softraster::Image image = makeImage(id);
        if (image.empty())
            return real_.loadBitmap(id);
        return std::make_shared<softraster::SoftwareBitmap>(std::move(image));
    }
    std::unique_ptr<PlatformOffscreen> createOffscreen(int32_t w, int32_t h, int32_t s) override
    {
        return real_.createOffscreen(w, h, s);
    }
    uint32_t ticks() override { return real_.ticks(); }
    void sleep(uint32_t ms) override { real_.sleep(ms); }
    uint32_t doubleClickTime() override { return real_.doubleClickTime(); }
    void messageBox(PlatformWindow* w, const std::string& c, const std::string& t) override { real_.messageBox(w, c, t); }
    std::optional<std::string> fileDialog(PlatformWindow* w, const FileDialogSpec& s) override
    {
        return real_.fileDialog(w, s);
    }

private:
    Platform& real_;
};

// Records double clicks.
class ClickProbe : public CControl {
public:
    explicit ClickProbe(const CRect& size) : CControl(size) {}
    void draw(CDrawContext* context) override
    {
        context->setFillColor(clicks.empty() || !clicks.back() ? kBlueCColor : kMagentaCColor);
        context->fillRect(size_);
        setDirty(false);
    }
    void mouse(CDrawContext*, CPoint&, long) override
    {
        clicks.push_back(isDoubleClick());
        setDirty(true);
    }
    std::vector<bool> clicks;
};

class TestEditor : public AEffGUIEditor, public CControlListener {
public:
    TestEditor() : AEffGUIEditor(nullptr) { rect = ERect{0, 0, static_cast<VstInt16>(kHeight), static_cast<VstInt16>(kWidth)}; }
    ~TestEditor() override { close(); }

    bool open(void* parent) override
    {
        if (!AEffGUIEditor::open(parent))
            return false;
        frame = new CFrame(CRect(0, 0, kWidth, kHeight), parent, this);
        if (!frame->isOpen()) {
            frame->forget();
            frame = nullptr;
            return false;
        }
        CBitmap* background = new CBitmap(kBackgroundArt);
        frame->setBackground(background);
        background->forget();

        CBitmap* strip = new CBitmap(kKnobStrip);
        knob = new CAnimKnob(CRect(20, 20, 60, 60), this, 1, 20, 40, strip);
        knob->setDefaultValue(0.25f);
        frame->addView(knob);
        strip->forget();

        CBitmap* onOffArt = new CBitmap(kOnOffArt);
        onOff = new COnOffButton(CRect(80, 20, 110, 50), this, 2, onOffArt);
        frame->addView(onOff);
        onOffArt->forget();

        CBitmap* kickArt = new CBitmap(kKickArt);
        kick = new CKickButton(CRect(120, 20, 150, 50), this, 3, 30, kickArt);
        frame->addView(kick);
        kickArt->forget();

        probe = new ClickProbe(CRect(160, 20, 190, 50));
        frame->addView(probe);

        text = new CTextEdit(CRect(20, 80, 180, 100), this, 4, "Init");
        text->setFont(kNormalFont);
        text->setFontColor(kBlackCColor);
        text->setBackColor(kWhiteCColor);
        frame->addView(text);

        menu = new COptionMenu(CRect(20, 120, 120, 140), this, 5);
        menu->addEntry("Alpha");
        menu->addEntry("Beta");
        menu->addEntry("Gamma");
        menu->setCurrent(0);
        menu->setFontColor(kWhiteCColor);
        menu->setBackColor(CColor{40, 40, 90, 255});
        frame->addView(menu);
        return true;
    }

    void close() override
    {
        knob = nullptr;
        AEffGUIEditor::close();
    }

    void doIdleStuff() override
    {
        AEffGUIEditor::doIdleStuff();
        if (!script.empty()) {
            auto step = std::move(script.front());
            script.pop_front();
            step();
        }
    }

    void valueChanged(CDrawContext*, CControl* control) override { changes.push_back({control->getTag(), control->getValue()}); }

    CAnimKnob* knob = nullptr;
    COnOffButton* onOff = nullptr;
    CKickButton* kick = nullptr;
    ClickProbe* probe = nullptr;
    CTextEdit* text = nullptr;
    COptionMenu* menu = nullptr;
    std::deque<std::function<void()>> script; // one step per pass of a mouse-tracking loop
    std::vector<std::pair<long, float>> changes;
};

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*)
{
    ++hostErrors;
    return 0;
}

class X11Toolkit : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!host)
            GTEST_SKIP() << "no X display";
        unsetenv("AMBREL_UI_SCALE");
        setPlatformForTesting(&art);
        hostErrors = 0;
        previous = XSetErrorHandler(countHostError);
    }
    void TearDown() override
    {
        setPlatformForTesting(nullptr);
        unsetenv("AMBREL_UI_SCALE");
        if (host) {
            EXPECT_EQ(XSetErrorHandler(previous), countHostError);
        }
    }

    // Idles as a host does until `done` holds.
    bool idleUntil(TestEditor& editor, const std::function<bool()>& done, int timeoutMs = 10000)
    {
        const uint64_t until = nowMs() + static_cast<uint64_t>(timeoutMs);
        while (nowMs() < until) {
            editor.idle();
            if (done())
                return true;
            sleepMs(10);
        }
        return false;
    }
    void idleFor(TestEditor& editor, int ms) { idleUntil(editor, [] { return false; }, ms); }

    // The host window's pixels against the frame drawn off-screen.
    void expectScreenMatchesOffscreen(TestEditor& editor, HostWindow& parent, const char* name)
    {
        idleFor(editor, 60);
        CFrame* frame = editor.getFrame();
        ASSERT_TRUE(frame);
        const int32_t scale = frame->getPlatformWindow()->scale();
        auto offscreen = platform().createOffscreen(kWidth, kHeight, scale);
        {
            CDrawContext context(frame, offscreen.get());
            frame->drawRect(&context, CRect(0, 0, kWidth, kHeight));
        }
        std::vector<uint32_t> expected;
        int32_t w = 0, h = 0;
        offscreen->readPixels(expected, w, h);
        const auto shot = capture(host.get(), parent.id(), 0, 0, w, h);
        size_t differing = 0;
        for (size_t i = 0; i < shot.size() && i < expected.size(); ++i)
            differing += shot[i] != expected[i];
        EXPECT_EQ(differing, 0u) << name;
        if (differing || std::getenv("AMBREL_TEST_SCREENSHOTS")) {
            writePpm(std::string("x11toolkit-") + name + "-screen.ppm", shot, w, h);
            writePpm(std::string("x11toolkit-") + name + "-offscreen.ppm", expected, w, h);
        }
    }

    HostDisplay host;
    ArtPlatform art{defaultPlatform()};
    XErrorHandler previous = nullptr;
    Input input;
};

void pointAt(Input& input, HostWindow& parent, int x, int y)
{
    int rx = 0, ry = 0;
    parent.toRoot(x, y, rx, ry);
    input.move(rx, ry);
}

} // namespace

TEST_F(X11Toolkit, ControlsFollowRealInputAndTheScreenMatchesTheOffscreenRender)
{
    HostWindow parent(host.get(), 400, 260, 30, 150);
    TestEditor editor;
    ASSERT_TRUE(editor.open(parent.handle()));
    expectScreenMatchesOffscreen(editor, parent, "opened");

    // Linear drag: 100 pixels up is half the range; with Shift, a third.
    editor.setKnobMode(kLinearMode);
    pointAt(input, parent, 40, 40);
    input.button(1, true);
    // The toolkit reads the pointer before each idle and the buttons after
    // it: the release comes one pass after the last move.
    editor.script = {[&] { pointAt(input, parent, 40, 15); }, [&] { pointAt(input, parent, 40, -60); }, [] {},
                     [&] { input.button(1, false); }};
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.script.empty(); }));
    EXPECT_NEAR(editor.knob->getValue(), 0.5f, 1e-4);
    expectScreenMatchesOffscreen(editor, parent, "knob-dragged");

    editor.knob->setValue(0.0f);
    pointAt(input, parent, 40, 40);
    input.key(XK_Shift_L, true);
    input.button(1, true);
    editor.script = {[&] { pointAt(input, parent, 40, -60); }, [] {}, [&] { input.button(1, false); }};
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.script.empty(); }));
    input.key(XK_Shift_L, false);
    EXPECT_NEAR(editor.knob->getValue(), 1.0f / 3.0f, 1e-4);

    // A wheel notch is the wheel step (0.1).
    pointAt(input, parent, 40, 40);
    input.click(4);
    ASSERT_TRUE(idleUntil(editor, [&] { return std::abs(editor.knob->getValue() - (1.0f / 3.0f + 0.1f)) < 1e-4; }));

    // Ctrl+click: the default value.
    input.key(XK_Control_L, true);
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.knob->getValue() == 0.25f; }));
    input.key(XK_Control_L, false);
    expectScreenMatchesOffscreen(editor, parent, "knob-default");

    // On/off toggles; the kick button is on only while held.
    pointAt(input, parent, 95, 35);
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.onOff->getValue() == 1.0f; }));
    expectScreenMatchesOffscreen(editor, parent, "button-on");
    float whileHeld = -1;
    pointAt(input, parent, 135, 35);
    input.button(1, true);
    editor.script = {[&] { whileHeld = editor.kick->getValue(); }, [&] { input.button(1, false); }};
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.script.empty(); }));
    idleFor(editor, 30);
    EXPECT_EQ(whileHeld, 1.0f);
    EXPECT_EQ(editor.kick->getValue(), 0.0f);

    // Two clicks in quick succession are a double click; a late third is not.
    pointAt(input, parent, 175, 35);
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.probe->clicks.size() == 1; }));
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.probe->clicks.size() == 2; }));
    sleepMs(static_cast<int>(platform().doubleClickTime()) + 100);
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.probe->clicks.size() == 3; }));
    EXPECT_EQ(editor.probe->clicks, (std::vector<bool>{false, true, false}));
    expectScreenMatchesOffscreen(editor, parent, "clicks");
}

TEST_F(X11Toolkit, TextEditTakesTypedAndForwardedKeys)
{
    HostWindow parent(host.get(), 400, 260, 30, 150);
    TestEditor editor;
    ASSERT_TRUE(editor.open(parent.handle()));
    idleFor(editor, 30);
    XSetInputFocus(host.get(), parent.id(), RevertToParent, CurrentTime);
    XSync(host.get(), False);

    pointAt(input, parent, 60, 90);
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.text->isEditing(); }));
    idleFor(editor, 30);
    input.type("Preset 7");
    input.tap(XK_Return);
    ASSERT_TRUE(idleUntil(editor, [&] { return !editor.text->isEditing(); }));
    EXPECT_EQ(editor.text->getText(), "Preset 7");
    ASSERT_FALSE(editor.changes.empty());
    EXPECT_EQ(editor.changes.back().first, 4);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(host.get(), &focus, &revert);
    EXPECT_EQ(focus, parent.id());
    expectScreenMatchesOffscreen(editor, parent, "text-committed");

    // Escape keeps the old text.
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.text->isEditing(); }));
    input.type("junk");
    input.tap(XK_Escape);
    ASSERT_TRUE(idleUntil(editor, [&] { return !editor.text->isEditing(); }));
    EXPECT_EQ(editor.text->getText(), "Preset 7");

    // Keys the host forwards (effEditKeyDown) reach the field too.
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.text->isEditing(); }));
    for (char c : std::string("Hi")) {
        VstKeyCode key{c, 0, 0};
        EXPECT_TRUE(editor.onKeyDown(key));
        EXPECT_TRUE(editor.onKeyUp(key));
    }
    VstKeyCode enter{0, 4 /* return */, 0};
    EXPECT_TRUE(editor.onKeyDown(enter));
    EXPECT_FALSE(editor.text->isEditing());
    EXPECT_EQ(editor.text->getText(), "Hi");
    // Without a field the editor takes no keys.
    VstKeyCode key{'x', 0, 0};
    EXPECT_FALSE(editor.onKeyDown(key));
}

TEST_F(X11Toolkit, OptionMenuChoice)
{
    HostWindow parent(host.get(), 400, 260, 30, 150);
    TestEditor editor;
    ASSERT_TRUE(editor.open(parent.handle()));
    idleFor(editor, 30);
    pointAt(input, parent, 50, 130);
    Helper helper([] { return true; }, [&] {
        Input driver;
        int x = 0, y = 0, w = 0, h = 0;
        if (windowGeometry(driver.display(), waitForPopup(driver.display()), x, y, w, h)) {
            driver.move(x + 40, y + 3 + 2 * 19 + 9); // "Gamma"
            driver.click(1);
        }
        closeLeftoverMenu(driver);
    });
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.menu->getValue() == 2.0f; }));
    helper.join();
    ASSERT_FALSE(editor.changes.empty());
    EXPECT_EQ(editor.changes.back(), (std::pair<long, float>{5, 2.0f}));
    expectScreenMatchesOffscreen(editor, parent, "menu-chosen");
}

TEST_F(X11Toolkit, ScaleTwoDrawsTheSameStateLargerAndMapsTheMouse)
{
    setenv("AMBREL_UI_SCALE", "2", 1);
    HostWindow parent(host.get(), 2 * kWidth, 2 * kHeight, 0, 100);
    TestEditor editor;
    ERect* r = nullptr;
    ASSERT_TRUE(editor.getRect(&r));
    EXPECT_EQ(r->right, 2 * kWidth);
    EXPECT_EQ(r->bottom, 2 * kHeight);
    ASSERT_TRUE(editor.open(parent.handle()));
    EXPECT_EQ(editor.getFrame()->getPlatformWindow()->scale(), 2);
    editor.knob->setValue(0.75f);
    editor.onOff->setValue(1.0f);
    expectScreenMatchesOffscreen(editor, parent, "scale2");

    editor.setKnobMode(kLinearMode);
    editor.knob->setValue(0.0f);
    pointAt(input, parent, 80, 80);
    input.button(1, true);
    editor.script = {[&] { pointAt(input, parent, 80, -20); }, [] {}, [&] { input.button(1, false); }};
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.script.empty(); }));
    EXPECT_NEAR(editor.knob->getValue(), 0.25f, 1e-4); // 100 device pixels are 50 of ours
}

TEST_F(X11Toolkit, TwoEditorsAtOnce)
{
    HostWindow first(host.get(), kWidth, kHeight, 0, 0);
    HostWindow second(host.get(), kWidth, kHeight, 500, 300);
    TestEditor a, b;
    ASSERT_TRUE(a.open(first.handle()));
    ASSERT_TRUE(b.open(second.handle()));
    b.knob->setValue(1.0f);
    pointAt(input, second, 95, 35);
    input.click(1);
    ASSERT_TRUE(idleUntil(b, [&] {
        a.idle();
        return b.onOff->getValue() == 1.0f;
    }));
    EXPECT_EQ(a.onOff->getValue(), 0.0f);
    expectScreenMatchesOffscreen(a, first, "first-of-two");
    expectScreenMatchesOffscreen(b, second, "second-of-two");
}

TEST_F(X11Toolkit, AHostThatDestroysItsWindowFirstLosesNothing)
{
    auto parent = std::make_unique<HostWindow>(host.get(), kWidth, kHeight);
    TestEditor editor;
    ASSERT_TRUE(editor.open(parent->handle()));
    idleFor(editor, 30);
    // With the text field open, too.
    pointAt(input, *parent, 60, 90);
    input.click(1);
    ASSERT_TRUE(idleUntil(editor, [&] { return editor.text->isEditing(); }));
    parent->destroy();
    idleFor(editor, 50);
    EXPECT_FALSE(editor.text->isEditing());
    editor.knob->setValue(0.5f);
    idleFor(editor, 30);
    editor.close();
    EXPECT_EQ(hostErrors, 0);
    // And it opens again in a new window.
    HostWindow again(host.get(), kWidth, kHeight);
    ASSERT_TRUE(editor.open(again.handle()));
    expectScreenMatchesOffscreen(editor, again, "reopened");
}

TEST_F(X11Toolkit, FiftyOpensAndClosesLeaveNothingBehind)
{
    HostWindow parent(host.get(), kWidth, kHeight);
    TestEditor editor;
    auto cycle = [&] {
        ASSERT_TRUE(editor.open(parent.handle()));
        editor.idle();
        editor.idle();
        editor.close();
    };
    cycle();
    const int descriptors = openDescriptors();
    const int segments = sharedMemorySegments();
    for (int i = 0; i < 50; ++i)
        cycle();
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_EQ(sharedMemorySegments(), segments);
}
