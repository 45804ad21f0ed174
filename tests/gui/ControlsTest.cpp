// The controls' mouse and wheel laws, default values, double clicks and
// drawing, driven through the frame as the window system would.
#include "ToolkitFixture.h"

#include <cmath>
#include <cstdio>

namespace toolkit_test {
namespace {

constexpr int kStrip = 19032; // 51 images of 30 x 30
constexpr int kSwitch = 19005; // 3 images of 40 x 50
constexpr int kButton = 19014; // 2 images of 36 x 40

class Controls : public Toolkit {
protected:
    Controls()
    {
        platform.addBitmap(kStrip, 30, 1530);
        platform.addBitmap(kSwitch, 40, 150);
        platform.addBitmap(kButton, 36, 80);
        editor->setKnobMode(kCircularMode);
    }

    // A 60 x 60 knob at (20, 20): centre (50, 50) in window pixels.
    CAnimKnob* openWithKnob(float value, long tag = 5)
    {
        CAnimKnob* knob = nullptr;
        open([&](CFrame& f) {
            Bitmap strip(kStrip);
            knob = add(f, new CAnimKnob(CRect(20, 20, 80, 80), &listener, tag, 51, 30, strip));
        });
        knob->setValue(value);
        editor->idle();
        log.clear();
        window().surface().clearOps();
        return knob;
    }
};

TEST_F(Controls, KnobAngleStartsLowerLeftAndTurnsClockwiseOver270Degrees)
{
    CKnob knob(CRect(0, 0, 60, 60), nullptr, 0, nullptr, nullptr);
    auto at = [&](int h, int v) {
        CPoint p(h, v);
        return knob.valueFromPoint(p);
    };
    EXPECT_NEAR(at(0, 30), 1.0f / 6.0f, 1e-6f);  // left: 45 degrees from the start
    EXPECT_NEAR(at(30, 0), 0.5f, 1e-6f);         // top
    EXPECT_NEAR(at(60, 30), 5.0f / 6.0f, 1e-6f); // right
    EXPECT_NEAR(at(0, 60), 0.0f, 1e-6f);         // the start, lower left
    EXPECT_NEAR(at(60, 60), 1.0f, 1e-6f);        // the end, lower right
    // The gap at the bottom gives the nearer end.
    EXPECT_EQ(at(10, 59), 0.0f);
    EXPECT_EQ(at(50, 59), 1.0f);
    // In the value's units when the range is not 0..1.
    knob.setMin(-1.0f);
    knob.setMax(3.0f);
    EXPECT_NEAR(at(30, 0), 1.0f, 1e-5f);
}

TEST_F(Controls, CircularDragFollowsThePointerButNeverJumpsAcrossTheGap)
{
    CAnimKnob* knob = openWithKnob(0.2f);
    // Press on the right (5/6), go to the end, then across the gap to the
    // start and on to the left: the knob stays at its maximum.
    window().drag({{{79, 50}, kLButton},
                   {{79, 79}, kLButton},
                   {{20, 79}, kLButton},
                   {{20, 50}, kLButton},
                   {{20, 50}, 0}});
    EXPECT_EQ(knob->getValue(), 1.0f);
    ASSERT_GE(listener.values.size(), 2u);
    EXPECT_NEAR(listener.values.front(), 5.0f / 6.0f, 1e-5f);
    EXPECT_EQ(log.front(), "host begin 5");
    EXPECT_EQ(log.back(), "host end 5");
    EXPECT_FALSE(window().runaway());

    // Coming back the same way reaches the left again without a jump.
    knob->setValue(0.0f);
    window().drag({{{20, 79}, kLButton}, {{79, 79}, kLButton}, {{0, 50}, kLButton}, {{0, 50}, 0}});
    EXPECT_NEAR(knob->getValue(), 1.0f / 6.0f, 1e-5f);
}

TEST_F(Controls, LinearDragCovers200PixelsAnd300WithShift)
{
    editor->setKnobMode(kLinearMode);
    CAnimKnob* knob = openWithKnob(0.2f);
    window().drag({{{50, 50}, kLButton}, {{50, 10}, kLButton}, {{50, -50}, kLButton}, {{50, -50}, 0}});
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-6f); // 100 pixels up

    knob->setValue(0.2f);
    window().drag({{{50, 50}, kLButton}, {{150, 50}, kLButton}, {{150, 50}, 0}});
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-6f); // 100 pixels right

    knob->setValue(0.2f);
    window().drag({{{50, 50}, kLButton | kShift}, {{50, -50}, kLButton | kShift}, {{50, -50}, 0}});
    EXPECT_NEAR(knob->getValue(), 0.2f + 1.0f / 3.0f, 1e-6f);

    // Down and left together: one unit per pixel either way, stopped at 0.
    knob->setValue(0.2f);
    window().drag({{{50, 50}, kLButton}, {{0, 100}, kLButton}, {{0, 100}, 0}});
    EXPECT_EQ(knob->getValue(), 0.0f);
}

TEST_F(Controls, ShiftInTheMiddleOfADragKeepsTheValueAndGoesOnFiner)
{
    editor->setKnobMode(kLinearMode);
    CAnimKnob* knob = openWithKnob(0.2f);
    window().drag({{{50, 50}, kLButton},
                   {{50, 10}, kLButton},          // 40 px: 0.4
                   {{50, 10}, kLButton | kShift}, // Shift: stays at 0.4
                   {{50, -20}, kLButton | kShift}, // 30 px more at 1/300
                   {{50, -20}, 0}});
    ASSERT_GE(listener.values.size(), 2u);
    EXPECT_NEAR(listener.values[0], 0.4f, 1e-6f);
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6f);
    EXPECT_EQ(listener.values.size(), 2u); // pressing Shift did not move it
}

TEST_F(Controls, AltSwapsCircularAndLinearDrags)
{
    CAnimKnob* knob = openWithKnob(0.2f);
    // Knob mode circular, Alt held: linear, so the press does not jump.
    window().drag({{{79, 50}, kLButton | kAlt}, {{79, 30}, kLButton | kAlt}, {{79, 30}, 0}});
    EXPECT_NEAR(knob->getValue(), 0.3f, 1e-6f);
    EXPECT_EQ(log.front(), "modifier 5 33"); // the listener was asked first

    editor->setKnobMode(kLinearMode);
    knob->setValue(0.2f);
    window().drag({{{79, 50}, kLButton | kAlt}, {{79, 50}, 0}});
    EXPECT_NEAR(knob->getValue(), 5.0f / 6.0f, 1e-5f); // circular: to the pointer
}

TEST_F(Controls, OnlyThePrimaryButtonDragsAKnob)
{
    // With swapped buttons the platform reports the primary (physical
    // right) button as left: the toolkit acts on that bit alone.
    CAnimKnob* knob = openWithKnob(0.2f);
    window().drag({{{79, 50}, kRButton}, {{79, 30}, kRButton}, {{79, 30}, 0}});
    window().drag({{{79, 50}, kMButton}, {{79, 30}, kMButton}, {{79, 30}, 0}});
    EXPECT_EQ(knob->getValue(), 0.2f);
    EXPECT_TRUE(log.empty());
    window().click({79, 50}, kLButton);
    EXPECT_NEAR(knob->getValue(), 5.0f / 6.0f, 1e-5f);
}

TEST_F(Controls, ModifierClickIsOfferedToTheListenerWhichMayStopIt)
{
    CAnimKnob* knob = openWithKnob(0.2f);
    listener.modifierAnswer = 1;
    window().click({79, 50}, kLButton | kShift);
    EXPECT_EQ(knob->getValue(), 0.2f);
    EXPECT_EQ(log, (std::vector<std::string>{"modifier 5 9"}));
}

TEST_F(Controls, CtrlLeftClickRestoresTheDefaultBetweenGestureBrackets)
{
    CAnimKnob* knob = openWithKnob(0.8f);
    knob->setDefaultValue(0.3f);
    window().click({79, 50}, kLButton | kControl);
    EXPECT_EQ(knob->getValue(), 0.3f);
    EXPECT_EQ(log, (std::vector<std::string>{"modifier 5 17", "host begin 5", "changed 5", "host end 5"}));

    // Ctrl with another modifier is not the reset: a drag.
    knob->setValue(0.8f);
    window().click({79, 50}, kLButton | kControl | kShift);
    EXPECT_NEAR(knob->getValue(), 5.0f / 6.0f, 1e-5f);
}

TEST_F(Controls, WheelStepsByTheWheelIncrementAndATenthWithShift)
{
    CAnimKnob* knob = openWithKnob(0.5f);
    window().wheel({50, 50}, 1.0f);
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6f);
    EXPECT_EQ(log, (std::vector<std::string>{"host begin 5", "changed 5", "host end 5"}));

    window().setPointer({50, 50}, kShift);
    window().wheel({50, 50}, -2.0f);
    EXPECT_NEAR(knob->getValue(), 0.58f, 1e-6f);
    window().setPointer({50, 50}, 0);

    knob->setWheelInc(0.25f);
    knob->setValue(0.9f);
    window().wheel({50, 50}, 1.0f);
    EXPECT_EQ(knob->getValue(), 1.0f); // limited to the range
    log.clear();
    window().wheel({50, 50}, 1.0f); // already at the end: nothing to tell
    EXPECT_TRUE(log.empty());

    // The horizontal wheel does not turn a knob; nothing under the pointer
    // takes nothing.
    window().wheel({50, 50}, -1.0f, kMouseWheelAxisX);
    EXPECT_EQ(knob->getValue(), 1.0f);
    window().wheel({150, 50}, -1.0f);
    EXPECT_EQ(knob->getValue(), 1.0f);
}

TEST_F(Controls, WheelGoesToTheViewUnderThePointerThroughContainersAndModalViews)
{
    CAnimKnob* inner = nullptr;
    CAnimKnob* outer = nullptr;
    open([&](CFrame& f) {
        Bitmap strip(kStrip);
        outer = add(f, new CAnimKnob(CRect(0, 0, 30, 30), &listener, 1, 51, 30, strip));
        auto* page = add(f, new CViewContainer(CRect(100, 0, 200, 100)));
        inner = add(*page, new CAnimKnob(CRect(10, 10, 40, 40), &listener, 2, 51, 30, strip));
    });
    inner->setValue(0.5f);
    outer->setValue(0.5f);
    window().wheel({115, 15}, 1.0f);
    EXPECT_NEAR(inner->getValue(), 0.6f, 1e-6f);
    EXPECT_EQ(outer->getValue(), 0.5f);

    // A modal view takes every wheel event and every click.
    ASSERT_TRUE(frame().setModalView(outer));
    window().wheel({115, 15}, 1.0f);
    EXPECT_NEAR(outer->getValue(), 0.6f, 1e-6f);
    EXPECT_NEAR(inner->getValue(), 0.6f, 1e-6f);
    window().click({115, 15});
    EXPECT_NE(outer->getValue(), 0.6f);
    EXPECT_NEAR(inner->getValue(), 0.6f, 1e-6f);
}

TEST_F(Controls, DoubleClickNeedsTheSecondClickWithinTheSystemTimeButAtLeast250Ms)
{
    platform.systemDoubleClickTime = 100;
    CControl fast(CRect(0, 0, 10, 10));
    EXPECT_EQ(fast.getDoubleClickInterval(), 250u);
    EXPECT_FALSE(fast.isDoubleClick());
    platform.advance(249);
    EXPECT_TRUE(fast.isDoubleClick());
    platform.advance(10); // the pair is used up: a third click starts anew
    EXPECT_FALSE(fast.isDoubleClick());
    platform.advance(250);
    EXPECT_FALSE(fast.isDoubleClick());

    platform.systemDoubleClickTime = 500;
    CControl slow(CRect(0, 0, 10, 10));
    EXPECT_FALSE(slow.isDoubleClick());
    platform.advance(499);
    EXPECT_TRUE(slow.isDoubleClick());

    // Across the wrap of the tick counter.
    platform.now = 0xFFFFFF00u;
    EXPECT_FALSE(slow.isDoubleClick());
    platform.advance(0x180);
    EXPECT_TRUE(slow.isDoubleClick());
}

TEST_F(Controls, AnimKnobShowsTheLargestImageNotAboveValueTimesSpan)
{
    CBitmap strip(kStrip);
    CAnimKnob knob(CRect(0, 0, 30, 30), nullptr, 0, 51, 30, &strip);
    auto image = [&](float v) { return knob.frameOffsetForValue(v) / 30; };
    EXPECT_EQ(image(0.0f), 0);
    EXPECT_EQ(image(0.5f), 25);
    EXPECT_EQ(image(0.999f), 49);
    EXPECT_EQ(image(1.0f), 50);
    EXPECT_EQ(image(-0.2f), 0);
    EXPECT_EQ(image(1.5f), 50); // never past the strip
    knob.setInverseBitmap(true);
    EXPECT_EQ(image(0.0f), 50);

    CAnimKnob* shown = openWithKnob(0.999f);
    EXPECT_EQ(window().surface().frameShown(kStrip, CRect(20, 20, 80, 80), 30), -1); // drawn before clearOps
    shown->setValue(0.5f);
    editor->idle();
    EXPECT_EQ(window().surface().frameShown(kStrip, CRect(20, 20, 80, 80), 30), 25);
}

TEST_F(Controls, OnOffButtonTogglesThenIdlesThenReportsBetweenGestureBrackets)
{
    COnOffButton* button = nullptr;
    open([&](CFrame& f) {
        Bitmap bitmap(kButton);
        button = add(f, new COnOffButton(CRect(10, 10, 46, 50), &listener, 3, bitmap));
    });
    window().click({20, 20});
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_EQ(log, (std::vector<std::string>{"host idle", "host begin 3", "changed 3", "host end 3"}));
    editor->idle();
    EXPECT_EQ(window().surface().frameShown(kButton, CRect(10, 10, 46, 50), 40), 1);

    // Ctrl+click only toggles (no default value); the listener is asked.
    log.clear();
    button->setDefaultValue(1.0f);
    platform.advance(1000);
    window().click({20, 20}, kLButton | kControl);
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(log.front(), "modifier 3 17");

    listener.modifierAnswer = 1;
    window().click({20, 20}, kLButton | kAlt);
    EXPECT_EQ(button->getValue(), 0.0f);

    // Any value whose integer part is not 0 counts as on.
    button->setValue(1.7f);
    listener.modifierAnswer = 0;
    window().click({20, 20});
    EXPECT_EQ(button->getValue(), 0.0f);
}

TEST_F(Controls, VerticalSwitchTakesTheBandUnderThePointerWhileTheButtonsStayTheSame)
{
    CVerticalSwitch* sw = nullptr;
    open([&](CFrame& f) {
        Bitmap bitmap(kSwitch);
        sw = add(f, new CVerticalSwitch(CRect(0, 0, 40, 50), &listener, 21, 3, 50, 3, bitmap));
    });
    window().click({10, 5});
    EXPECT_EQ(sw->getValue(), 0.0f);
    window().click({10, 20});
    EXPECT_EQ(sw->getValue(), 0.5f);
    window().click({10, 49});
    EXPECT_EQ(sw->getValue(), 1.0f);

    // Dragging moves through the bands; a change of the button state ends it.
    log.clear();
    window().drag({{{10, 5}, kLButton},
                   {{10, 20}, kLButton},
                   {{10, 20}, kLButton | kShift},
                   {{10, 45}, kLButton | kShift},
                   {{10, 45}, 0}});
    EXPECT_EQ(sw->getValue(), 0.5f);
    EXPECT_EQ(window().stepsLeft(), 2u);
    EXPECT_EQ(log, (std::vector<std::string>{"host begin 21", "changed 21", "changed 21", "host end 21"}));

    // Beyond the bottom: limited to 1. Ctrl+click: the default.
    window().script({});
    window().click({10, 49});
    sw->setDefaultValue(0.5f);
    window().click({10, 45}, kLButton | kControl);
    EXPECT_EQ(sw->getValue(), 0.5f);

    // Drawing: image (int)(value x (positions - 1) + 0.5).
    sw->setValue(0.2f);
    editor->idle();
    EXPECT_EQ(window().surface().frameShown(kSwitch, CRect(0, 0, 40, 50), 50), 0);
    sw->setValue(0.3f);
    editor->idle();
    EXPECT_EQ(window().surface().frameShown(kSwitch, CRect(0, 0, 40, 50), 50), 1);
}

TEST_F(Controls, KickButtonIsPressedWhileThePointerIsOnItAndReleasesToZero)
{
    CKickButton* kick = nullptr;
    open([&](CFrame& f) {
        Bitmap bitmap(kButton);
        kick = add(f, new CKickButton(CRect(10, 10, 46, 50), &listener, 7, 40, bitmap));
    });
    std::vector<float> seen;
    listener.onValueChanged = [&](CControl* c) { seen.push_back(c->getValue()); };
    window().drag({{{20, 20}, kLButton}, {{100, 90}, kLButton}, {{20, 20}, kLButton}, {{20, 20}, 0}});
    EXPECT_EQ(seen, (std::vector<float>{1.0f, 0.0f, 1.0f, 0.0f}));
    EXPECT_EQ(kick->getValue(), 0.0f);
    EXPECT_EQ(log.front(), "host begin 7");
    EXPECT_EQ(log.back(), "host end 7");
}

TEST_F(Controls, RockerSwitchReportsTheHalfPressedThenRest)
{
    CRockerSwitch* rocker = nullptr;
    open([&](CFrame& f) {
        Bitmap bitmap(kButton);
        rocker = add(f, new CRockerSwitch(CRect(10, 10, 41, 24), &listener, 60, 14, bitmap));
    });
    std::vector<float> seen;
    listener.onValueChanged = [&](CControl* c) { seen.push_back(c->getValue()); };
    window().click({12, 15});
    window().click({39, 15});
    window().wheel({20, 15}, 1.0f);
    EXPECT_EQ(seen, (std::vector<float>{-1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f}));
    EXPECT_EQ(rocker->getValue(), 0.0f);
}

TEST_F(Controls, ParamDisplayDrawsItsBackgroundPieceAndConvertedText)
{
    CParamDisplay* display = nullptr;
    open([&](CFrame& f) {
        Bitmap back(kStrip);
        display = add(f, new CParamDisplay(CRect(50, 60, 100, 74), back));
    });
    display->setBackOffset(CPoint(5, 7));
    display->setFont(kNormalFontVerySmall);
    display->setFontColor(CColor{40, 40, 40, 255});
    display->setHoriAlign(kRightText);
    display->setTxtFace(kItalicFace);
    display->setStringConvert([](float v, char* text) { std::snprintf(text, 256, "%.1f dB", v * 10.0f); });
    display->setValue(0.25f);
    editor->idle();
    const auto& ops = window().surface().ops;
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].kind, scripted::DrawOp::Kind::kBitmap);
    EXPECT_EQ(ops[0].rect, CRect(50, 60, 100, 74));
    EXPECT_EQ(ops[0].source, CPoint(5, 7));
    EXPECT_EQ(ops[1].text, "2.5 dB");
    EXPECT_EQ(ops[1].fontId, kNormalFontVerySmall);
    EXPECT_EQ(ops[1].face, kItalicFace);
    EXPECT_EQ(ops[1].align, kRightText);
    EXPECT_EQ(ops[1].color, (CColor{40, 40, 40, 255}));
    EXPECT_EQ(ops[1].visible, CRect(50, 60, 100, 74));

    // Without a converter: "%2.2f". Without a bitmap: back colour and frame.
    CParamDisplay plain(CRect(0, 0, 40, 10));
    char text[256];
    plain.valueToText(3.14159f, text);
    EXPECT_STREQ(text, "3.14");

    // Font 0 is always bold; a font id out of range is 0.
    display->setFont(12);
    EXPECT_EQ(display->getFont(), 0);
    window().surface().clearOps();
    display->setDirty();
    editor->idle();
    EXPECT_EQ(window().surface().lastText(CRect(50, 60, 100, 74))->size(), 6u);
    EXPECT_EQ(window().surface().ops.back().face, kItalicFace | kBoldFace);

    // No-text style: the background only; no-draw style: the text only.
    display->setStyle(kNoTextStyle);
    window().surface().clearOps();
    editor->idle();
    ASSERT_EQ(window().surface().ops.size(), 1u);
    EXPECT_EQ(window().surface().ops[0].kind, scripted::DrawOp::Kind::kBitmap);
    display->setStyle(kNoDrawStyle);
    window().surface().clearOps();
    editor->idle();
    ASSERT_EQ(window().surface().ops.size(), 1u);
    EXPECT_EQ(window().surface().ops[0].kind, scripted::DrawOp::Kind::kText);
}

TEST_F(Controls, ParamDisplayWithoutBitmapFillsItsBackColourAndFrames)
{
    CParamDisplay* display = nullptr;
    open([&](CFrame& f) { display = add(f, new CParamDisplay(CRect(10, 10, 60, 24))); });
    display->setBackColor(CColor{207, 222, 235, 255});
    display->setFrameColor(CColor{76, 76, 72, 255});
    display->setValue(1.0f);
    editor->idle();
    const auto& ops = window().surface().ops;
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].kind, scripted::DrawOp::Kind::kFill);
    EXPECT_EQ(ops[0].color, (CColor{207, 222, 235, 255}));
    EXPECT_EQ(ops[1].kind, scripted::DrawOp::Kind::kFrame);
    EXPECT_EQ(ops[1].color, (CColor{76, 76, 72, 255}));
    EXPECT_EQ(ops[2].text, "1.00");
}

TEST_F(Controls, AMissingBitmapIsEmptyAndDrawsNothing)
{
    Bitmap missing(4711);
    EXPECT_FALSE(missing->isLoaded());
    EXPECT_EQ(missing->getWidth(), 0);
    EXPECT_EQ(missing->getHeight(), 0);
    CAnimKnob* knob = nullptr;
    open([&](CFrame& f) { knob = add(f, new CAnimKnob(CRect(0, 0, 30, 30), &listener, 1, 51, 30, missing)); });
    knob->setValue(0.7f);
    editor->idle();
    EXPECT_EQ(window().surface().opsTouching(CRect(0, 0, 30, 30)), 0u);
}

TEST_F(Controls, BitmapsDrawPlainTransparentAndBlended)
{
    CBitmap bitmap(kButton);
    bitmap.setTransparentColor(CColor{255, 0, 255, 255});
    open();
    CDrawContext* context = frame().createDrawContext();
    context->setOffset(CPoint(5, 5));
    bitmap.draw(context, CRect(0, 0, 10, 10), CPoint(3, 4));
    bitmap.drawTransparent(context, CRect(0, 0, 10, 10));
    bitmap.drawAlphaBlend(context, CRect(0, 0, 10, 10), CPoint(), 77);
    context->forget();
    const auto& ops = window().surface().ops;
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].rect, CRect(5, 5, 15, 15));
    EXPECT_EQ(ops[0].source, CPoint(3, 4));
    EXPECT_EQ(ops[0].mode, BlendMode::kCopy);
    EXPECT_EQ(ops[1].mode, BlendMode::kTransparent);
    EXPECT_EQ(ops[1].color, (CColor{255, 0, 255, 255}));
    EXPECT_EQ(ops[2].mode, BlendMode::kAlpha);
    EXPECT_EQ(ops[2].alpha, 77);
    // The context told the frame what it drew: shown at the next idle.
    editor->idle();
    ASSERT_FALSE(window().flushes.empty());
    EXPECT_EQ(window().flushes.back(), CRect(5, 5, 15, 15));
}

} // namespace
} // namespace toolkit_test
