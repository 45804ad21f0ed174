// The editor base as the host drives it: rectangle, open, close, idle, keys,
// knob mode, gestures, and the idle pump that mouse tracking runs.
#include "ToolkitFixture.h"

namespace toolkit_test {
namespace {

class Editor : public Toolkit {};

TEST_F(Editor, TheRectangleIsValidBeforeOpenAndScaledForTheDisplay)
{
    ERect* r = nullptr;
    ASSERT_TRUE(editor->getRect(&r));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right - r->left, 200);
    EXPECT_EQ(r->bottom - r->top, 100);

    platform.displayScale = 2;
    ASSERT_TRUE(editor->getRect(&r));
    EXPECT_EQ(r->right, 400);
    EXPECT_EQ(r->bottom, 200);
    EXPECT_FALSE(editor->getRect(nullptr));

    // Once open, the window's own scale counts, whatever the display says now.
    open();
    EXPECT_EQ(window().scale(), 2);
    platform.displayScale = 1;
    ASSERT_TRUE(editor->getRect(&r));
    EXPECT_EQ(r->right, 400);
    editor->close();
    ASSERT_TRUE(editor->getRect(&r));
    EXPECT_EQ(r->right, 200);
    // The toolkit itself keeps working in its own pixels.
    EXPECT_EQ(editor->getUnscaledRect().right, 200);
}

TEST_F(Editor, OpenWithoutParentOrDisplayCreatesNothing)
{
    EXPECT_FALSE(editor->open(nullptr));
    EXPECT_EQ(editor->getFrame(), nullptr);
    platform.failWindows = true;
    EXPECT_FALSE(editor->open(kParent));
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_EQ(platform.liveWindows(), 0u);

    // Idle, keys and close without a window do nothing.
    editor->idle();
    editor->doIdleStuff();
    VstKeyCode key{'a', 0, 0};
    EXPECT_FALSE(editor->onKeyDown(key));
    EXPECT_FALSE(editor->onKeyUp(key));
    editor->close();
    editor->close();
}

TEST_F(Editor, OpenAndCloseAnyNumberOfTimes)
{
    int alive = 0;
    struct Counted : CView {
        Counted(int& alive) : CView(CRect(0, 0, 10, 10)), alive_(alive) { ++alive_; }
        ~Counted() override { --alive_; }
        int& alive_;
    };
    editor->build = [&](CFrame& f) { f.addView(new Counted(alive)); };
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(editor->open(kParent));
        editor->idle();
        editor->close();
    }
    EXPECT_EQ(platform.windowsCreated, 50u);
    EXPECT_EQ(platform.liveWindows(), 0u);
    EXPECT_EQ(alive, 0);

    // A host that opens twice without closing gets one window, not two.
    ASSERT_TRUE(editor->open(kParent));
    ASSERT_TRUE(editor->open(kParent));
    EXPECT_EQ(platform.liveWindows(), 1u);
    EXPECT_EQ(editor->closes, 51);
    editor->close();
    EXPECT_EQ(alive, 0);
}

TEST_F(Editor, AHostThatDestroysItsWindowFirstEndsTheDragAndClosesCleanly)
{
    CAnimKnob* knob = nullptr;
    platform.addBitmap(19032, 30, 1530);
    open([&](CFrame& f) {
        Bitmap strip(19032);
        knob = add(f, new CAnimKnob(CRect(0, 0, 30, 30), &listener, 4, 51, 30, strip));
    });
    // The host destroys its window while the knob is dragged (from inside
    // its idle): the drag ends, the gesture is closed.
    onHostIdle = [&] { window().hostDestroysWindow(); };
    window().setPointer({15, 5}, kLButton); // held for ever
    window().listener()->platformMouseDown(CPoint(15, 5));
    EXPECT_EQ(log.back(), "host end 4");
    EXPECT_FALSE(frame().isOpen());
    onHostIdle = nullptr;
    knob->setValue(0.3f); // automation still arrives
    editor->idle();
    editor->close();
    EXPECT_EQ(platform.liveWindows(), 0u);
}

TEST_F(Editor, GesturesReachTheHostOnlyForItsOwnParameters)
{
    editor->beginEdit(4);
    editor->endEdit(4);
    editor->beginEdit(41);
    editor->beginEdit(42); // editor-only tags: not the host's business
    editor->endEdit(65);
    editor->beginEdit(-1);
    EXPECT_EQ(log, (std::vector<std::string>{"host begin 4", "host end 4", "host begin 41"}));
}

TEST_F(Editor, OneKnobModeForEveryEditorOfTheProcess)
{
    TestEffect other;
    auto* second = new TestEditor(&other, 10, 10);
    EXPECT_TRUE(editor->setKnobMode(kLinearMode));
    EXPECT_EQ(AEffGUIEditor::getKnobMode(), kLinearMode);
    open();
    EXPECT_EQ(frame().getKnobMode(), kLinearMode);
    EXPECT_TRUE(second->setKnobMode(kCircularMode));
    EXPECT_EQ(frame().getKnobMode(), kCircularMode);
}

TEST_F(Editor, TheIdlePumpSleeps4MsAndRunsEvery100MsOrWhenLessThan50MsAreLeft)
{
    open();
    uint32_t start = platform.now;
    editor->doIdleStuff(); // the first pass runs at once
    EXPECT_EQ(std::count(log.begin(), log.end(), "host idle"), 1);
    EXPECT_EQ(platform.sleeps, 0u);

    // Then every pass waits 4 ms, and runs again once the next run is less
    // than 50 ms away: 100 - 50 = 50 ms, reached on the 13th pass (52 ms).
    int passes = 0;
    while (std::count(log.begin(), log.end(), "host idle") == 1) {
        editor->doIdleStuff();
        ++passes;
        ASSERT_LT(passes, 100);
    }
    EXPECT_EQ(passes, 13);
    EXPECT_EQ(platform.sleeps, 13u);
    EXPECT_EQ(platform.now - start, 52u);

    // Time that passes elsewhere counts too: after 100 ms no wait at all.
    platform.advance(200);
    uint32_t sleeps = platform.sleeps;
    editor->doIdleStuff();
    EXPECT_EQ(platform.sleeps, sleeps);
    EXPECT_EQ(std::count(log.begin(), log.end(), "host idle"), 3);

    // The pump redraws the dirty views and lets one paint through.
    window().invalidate(CRect(0, 0, 10, 10));
    window().invalidate(CRect(10, 10, 20, 20));
    platform.advance(200);
    editor->doIdleStuff();
    EXPECT_EQ(window().paints, 1u);
}

TEST_F(Editor, KeysGoToTheFocusViewThenTheModalView)
{
    struct Keys : CView {
        Keys(long answer) : CView(CRect(0, 0, 10, 10)), answer_(answer) {}
        long onKeyDown(VstKeyCode&) override
        {
            ++downs;
            return answer_;
        }
        long answer_;
        int downs = 0;
    };
    Keys* focus = nullptr;
    Keys* modal = nullptr;
    open([&](CFrame& f) {
        focus = add(f, new Keys(-1));
        modal = add(f, new Keys(1));
    });
    VstKeyCode key{'k', 0, 0};
    EXPECT_FALSE(editor->onKeyDown(key));
    frame().setFocusView(focus);
    EXPECT_FALSE(editor->onKeyDown(key));
    frame().setModalView(modal);
    EXPECT_TRUE(editor->onKeyDown(key));
    EXPECT_EQ(focus->downs, 2);
    EXPECT_EQ(modal->downs, 1);
    // Keys the window system delivers take the same way.
    EXPECT_TRUE(window().key(key, true));
}

} // namespace
} // namespace toolkit_test
