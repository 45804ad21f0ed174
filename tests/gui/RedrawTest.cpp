// Idle and redraw, reference counts and the frame's routing of clicks.
#include "ToolkitFixture.h"

#include <atomic>
#include <thread>

namespace toolkit_test {
namespace {

constexpr int kStrip = 19032; // 51 images of 30 x 30
constexpr int kBack = 19000;  // 200 x 100 background

class Redraw : public Toolkit {
protected:
    Redraw()
    {
        platform.addBitmap(kStrip, 30, 1530);
        platform.addBitmap(kBack, 200, 100);
    }
    void openTwoKnobs()
    {
        open([&](CFrame& f) {
            Bitmap strip(kStrip);
            Bitmap back(kBack);
            f.setBackground(back);
            a = add(f, new CAnimKnob(CRect(10, 10, 40, 40), &listener, 1, 51, 30, strip));
            b = add(f, new CAnimKnob(CRect(60, 10, 90, 40), &listener, 2, 51, 30, strip));
        });
    }
    int shown(CAnimKnob* knob) { return window().surface().frameShown(kStrip, knob->getViewSize(), 30); }

    CAnimKnob* a = nullptr;
    CAnimKnob* b = nullptr;
    int alive = 0; // views of the counting kind below; outlives the frame
};

TEST_F(Redraw, AValueSetIsDrawnAtTheNextIdleAndNotBefore)
{
    openTwoKnobs();
    a->setValue(0.5f);
    EXPECT_TRUE(window().surface().ops.empty());
    EXPECT_TRUE(window().flushes.empty());
    editor->idle();
    EXPECT_EQ(shown(a), 25);
    EXPECT_EQ(window().surface().opsTouching(b->getViewSize()), 0u); // only the dirty view
    ASSERT_EQ(window().flushes.size(), 1u);
    EXPECT_EQ(window().flushes[0], a->getViewSize());

    // Nothing changed: nothing drawn, nothing shown.
    window().surface().clearOps();
    window().flushes.clear();
    editor->idle();
    EXPECT_TRUE(window().surface().ops.empty());
    EXPECT_TRUE(window().flushes.empty());

    // The same value again is no change.
    a->setValue(0.5f);
    EXPECT_FALSE(a->isDirty());
}

TEST_F(Redraw, ValuesFromAnotherThreadReachTheScreenEvenWhileTheViewDraws)
{
    openTwoKnobs();
    std::thread automation([&] {
        for (int i = 0; i <= 1000; ++i)
            a->setValue(static_cast<float>(i) / 1000.0f);
    });
    automation.join();
    editor->idle();
    EXPECT_EQ(shown(a), 50);

    // Automation while the window idles and draws: whatever the
    // interleaving, the last value is on the screen after the next idle.
    std::atomic<bool> done{false};
    std::thread host([&] {
        for (int i = 0; i < 20000; ++i)
            a->setValue(static_cast<float>(i % 51) / 50.0f);
        a->setValue(0.5f);
        done = true;
    });
    while (!done)
        editor->idle();
    host.join();
    editor->idle();
    EXPECT_EQ(shown(a), 25);

    // A value set while the knob is being drawn (after it read its value) is
    // not taken for drawn: the next idle shows it.
    bool once = true;
    window().surface().onDraw = [&](const scripted::DrawOp& op) {
        if (once && op.bitmapId == kStrip) {
            once = false;
            std::thread([&] { a->setValue(0.2f); }).join();
        }
    };
    a->setValue(0.8f);
    editor->idle();
    EXPECT_EQ(shown(a), 40);
    EXPECT_TRUE(a->isDirty());
    editor->idle();
    EXPECT_EQ(shown(a), 10);
    EXPECT_FALSE(a->isDirty());
}

TEST_F(Redraw, ATransparentViewIsDrawnOverWhatLiesUnderItAndViewsAboveFollow)
{
    CParamDisplay* under = nullptr;
    CParamDisplay* label = nullptr;
    CParamDisplay* above = nullptr;
    open([&](CFrame& f) {
        Bitmap back(kBack);
        f.setBackground(back);
        under = add(f, new CParamDisplay(CRect(0, 0, 100, 50)));
        label = add(f, new CParamDisplay(CRect(10, 10, 60, 30), nullptr, kNoDrawStyle));
        above = add(f, new CParamDisplay(CRect(50, 20, 90, 40)));
    });
    label->setTransparency(true);
    editor->idle();
    window().surface().clearOps();
    label->setValue(0.7f);
    editor->idle();
    const auto& ops = window().surface().ops;
    // Background piece, the view below, the label, the view above.
    ASSERT_GE(ops.size(), 4u);
    EXPECT_EQ(ops[0].kind, scripted::DrawOp::Kind::kBitmap);
    EXPECT_EQ(ops[0].rect, CRect(10, 10, 60, 30));
    EXPECT_EQ(ops[0].source, CPoint(10, 10));
    auto drewText = [&](const std::string& text, const CRect& rect) {
        for (const auto& op : ops)
            if (op.kind == scripted::DrawOp::Kind::kText && op.text == text && op.rect == rect)
                return true;
        return false;
    };
    EXPECT_TRUE(drewText("0.00", under->getViewSize()));
    EXPECT_TRUE(drewText("0.70", label->getViewSize()));
    EXPECT_TRUE(drewText("0.00", above->getViewSize()));
    // Everything was limited to the label's rectangle.
    for (const auto& op : ops) {
        CRect outside = op.visible;
        outside.bound(CRect(10, 10, 60, 30));
        EXPECT_EQ(outside, op.visible);
    }
}

TEST_F(Redraw, AContainerMarkedDirtyIsDrawnWholeAndTheViewsAboveItAgain)
{
    CParamDisplay* inside = nullptr;
    CParamDisplay* above = nullptr;
    CViewContainer* page = nullptr;
    open([&](CFrame& f) {
        page = add(f, new CViewContainer(CRect(0, 0, 100, 80)));
        inside = add(*page, new CParamDisplay(CRect(10, 10, 50, 30)));
        above = add(f, new CParamDisplay(CRect(90, 70, 150, 90))); // over the page's corner
    });
    page->setDirty(true);
    editor->idle();
    const auto& surface = window().surface();
    EXPECT_TRUE(surface.lastText(inside->getViewSize()).has_value());
    EXPECT_TRUE(surface.lastText(above->getViewSize()).has_value());
    EXPECT_FALSE(page->hasDirtyViews());
    EXPECT_FALSE(above->isDirty());
}

TEST_F(Redraw, UpdateDrawsADirtyViewAtOnceAndShowsIt)
{
    openTwoKnobs();
    a->setValue(1.0f);
    CDrawContext* context = frame().createDrawContext();
    context->setOffset(CPoint(33, 44)); // whatever offset: the view draws in place
    a->update(context);
    EXPECT_EQ(shown(a), 50);
    ASSERT_EQ(window().flushes.size(), 1u);
    EXPECT_EQ(window().flushes[0], a->getViewSize());
    window().surface().clearOps();
    a->update(context); // not dirty: nothing
    EXPECT_TRUE(window().surface().ops.empty());
    context->forget();
}

TEST_F(Redraw, APaintOfPartOfADirtyViewLeavesItDirtyForTheNextIdle)
{
    openTwoKnobs();
    a->setValue(1.0f);
    window().invalidate(CRect(0, 0, 20, 20)); // covers only a corner of knob a
    editor->doIdleStuff(); // idle, then the pending paint
    window().surface().clearOps();
    a->setValue(0.5f);
    window().invalidate(CRect(0, 0, 20, 20));
    window().dispatchPendingPaint();
    EXPECT_EQ(window().paints, 2u);
    EXPECT_TRUE(a->isDirty());
    editor->idle();
    EXPECT_EQ(shown(a), 25);
    EXPECT_FALSE(a->isDirty());
}

TEST_F(Redraw, IdleDoesNothingWhileTheHostIsIdledFromInsideTheIdlePump)
{
    openTwoKnobs();
    size_t opsDuringHostIdle = 0;
    onHostIdle = [&] {
        a->setValue(0.9f);
        size_t before = window().surface().ops.size();
        editor->idle(); // a host that idles the editor from audioMasterIdle
        opsDuringHostIdle = window().surface().ops.size() - before;
    };
    editor->doIdleStuff();
    EXPECT_EQ(opsDuringHostIdle, 0u);
    EXPECT_TRUE(a->isDirty());
    onHostIdle = nullptr;
    editor->idle();
    EXPECT_EQ(shown(a), 45);
}

TEST_F(Redraw, EventsAreDeliveredAtIdleButNotWhileAControlTracksTheMouse)
{
    openTwoKnobs();
    bool delivered = false;
    window().postEvent([&] { delivered = true; });
    // The knob's drag runs the idle pump; the pending event must wait.
    window().drag({{{25, 25}, kLButton}, {{25, 15}, kLButton}, {{25, 15}, 0}});
    EXPECT_FALSE(delivered);
    EXPECT_NE(std::find(log.begin(), log.end(), "host idle"), log.end()); // but the host was idled
    editor->idle();
    EXPECT_TRUE(delivered);
}

TEST_F(Redraw, AClickReachingTheWindowDuringADragStartsNoSecondDrag)
{
    openTwoKnobs();
    int nestedClicks = 0;
    onHostIdle = [&] {
        // A host that pumps messages while it idles delivers another click.
        ++nestedClicks;
        window().listener()->platformMouseDown(CPoint(75, 25));
    };
    b->setValue(0.3f);
    window().drag({{{25, 25}, kLButton}, {{25, 15}, kLButton}, {{25, 15}, 0}});
    EXPECT_GE(nestedClicks, 1);
    EXPECT_EQ(b->getValue(), 0.3f);
}

// --- Reference counts and routing ---------------------------------------------

struct Counted : CView {
    explicit Counted(const CRect& r, int& alive) : CView(r), alive_(alive) { ++alive_; }
    ~Counted() override { --alive_; }
    void mouse(CDrawContext*, CPoint&, long) override
    {
        ++clicks;
        if (onClick)
            onClick();
    }
    int& alive_;
    int clicks = 0;
    std::function<void()> onClick;
};

TEST_F(Redraw, ContainersHoldOneReferenceAndRemovalGivesBackOneOrTwo)
{
    CViewContainer* page = new CViewContainer(CRect(0, 0, 100, 100));
    auto* kept = new Counted(CRect(0, 0, 10, 10), alive);
    auto* dropped = new Counted(CRect(0, 0, 10, 10), alive);
    page->addView(kept);
    page->addView(dropped);
    EXPECT_EQ(kept->getNbReference(), 2);
    page->addView(kept); // a second add is refused
    EXPECT_EQ(kept->getNbReference(), 2);
    EXPECT_EQ(page->getNbViews(), 2);

    page->removeView(kept, false); // detached, kept for reuse
    EXPECT_EQ(kept->getNbReference(), 1);
    EXPECT_EQ(kept->getParentView(), nullptr);
    page->removeView(dropped, true); // container's and creator's reference
    EXPECT_EQ(alive, 1);

    page->addView(kept); // the creator's reference goes with the container
    page->forget();
    EXPECT_EQ(alive, 0);

    // Bitmaps: each view that shows one holds a reference.
    auto* bitmap = new CBitmap(kStrip);
    {
        CAnimKnob k1(CRect(0, 0, 30, 30), nullptr, 0, 51, 30, bitmap);
        CAnimKnob k2(CRect(0, 0, 30, 30), nullptr, 0, 51, 30, bitmap);
        EXPECT_EQ(bitmap->getNbReference(), 3);
        k1.setBackground(bitmap); // the same again: no change
        EXPECT_EQ(bitmap->getNbReference(), 3);
    }
    EXPECT_EQ(bitmap->getNbReference(), 1);
    bitmap->forget();
}

TEST_F(Redraw, ClosingTheEditorReleasesEveryViewTheFrameHeld)
{
    CViewContainer* detached = nullptr;
    open([&](CFrame& f) {
        auto* page = add(f, new CViewContainer(CRect(0, 0, 100, 100)));
        add(*page, new Counted(CRect(0, 0, 10, 10), alive));
        detached = new CViewContainer(CRect(0, 0, 100, 100)); // the page not shown
        add(*detached, new Counted(CRect(0, 0, 10, 10), alive));
    });
    EXPECT_EQ(alive, 2);
    // A detached page has no frame, so its views cannot reach a dead one.
    EXPECT_EQ(detached->getView(0)->getFrame(), nullptr);
    editor->close();
    EXPECT_EQ(alive, 1);
    detached->forget();
    EXPECT_EQ(alive, 0);
}

TEST_F(Redraw, ClicksGoToTheTopmostEnabledViewInLocalCoordinates)
{
    Counted* bottom = nullptr;
    Counted* top = nullptr;
    CPoint seen;
    struct Where : CView {
        explicit Where(CPoint& seen) : CView(CRect(5, 5, 20, 20)), seen_(seen) {}
        void mouse(CDrawContext*, CPoint& where, long) override { seen_ = where; }
        CPoint& seen_;
    };
    open([&](CFrame& f) {
        bottom = add(f, new Counted(CRect(0, 0, 50, 50), alive));
        top = add(f, new Counted(CRect(0, 0, 50, 50), alive));
        auto* page = add(f, new CViewContainer(CRect(100, 50, 200, 100)));
        add(*page, new Where(seen));
    });
    window().click({10, 10});
    EXPECT_EQ(top->clicks, 1);
    EXPECT_EQ(bottom->clicks, 0);
    top->setMouseEnabled(false);
    window().click({10, 10});
    EXPECT_EQ(bottom->clicks, 1);
    window().click({110, 60});
    EXPECT_EQ(seen, CPoint(10, 10)); // in the page's coordinates
    // getCurrentView: the topmost view under the pointer, enabled or not.
    window().setPointer({10, 10});
    EXPECT_EQ(frame().getCurrentView(), top);
    window().setPointer({150, 10});
    EXPECT_EQ(frame().getCurrentView(), nullptr);
}

TEST_F(Redraw, AViewThatRemovesItselfWhileHandlingAClickStaysAliveUntilItReturns)
{
    Counted* view = nullptr;
    open([&](CFrame& f) { view = add(f, new Counted(CRect(0, 0, 50, 50), alive)); });
    view->onClick = [&] {
        frame().removeView(view, true); // every reference but the click's own
        EXPECT_EQ(alive, 1);
    };
    window().click({10, 10});
    EXPECT_EQ(alive, 0);
}

TEST_F(Redraw, TheFocusViewIsToldWhenItLosesTheFocusAndForgottenWhenItGoes)
{
    struct Focusable : Counted {
        using Counted::Counted;
        void looseFocus(CDrawContext*) override { ++losses; }
        int losses = 0;
    };
    Focusable* first = nullptr;
    Focusable* second = nullptr;
    open([&](CFrame& f) {
        first = add(f, new Focusable(CRect(0, 0, 10, 10), alive));
        second = add(f, new Focusable(CRect(20, 0, 30, 10), alive));
    });
    frame().setFocusView(first);
    frame().setFocusView(second);
    EXPECT_EQ(first->losses, 1);
    window().click({150, 50}); // any click clears the focus first
    EXPECT_EQ(second->losses, 1);
    EXPECT_EQ(frame().getFocusView(), nullptr);

    frame().setFocusView(first);
    frame().removeView(first, true); // removal tells it, then it goes
    EXPECT_EQ(frame().getFocusView(), nullptr);
    EXPECT_EQ(alive, 1);

    // A view outside the frame cannot take the focus.
    CView outsider(CRect(0, 0, 1, 1));
    frame().setFocusView(&outsider);
    EXPECT_EQ(frame().getFocusView(), nullptr);
}

} // namespace
} // namespace toolkit_test
