// The editor's own controls and displays on their own: needle frames, the
// readout's cells, the image each switch shows for a value, and the Drive
// knob's frames in columns.
#include "EditorTestSupport.h"

namespace editortest {
namespace {

TEST(MovieMeter, NeedleFramesOfBothScales)
{
    ScriptedPlatform platform;
    platform.addBitmap(skin::kMeterNormal, 136, 7070);
    platform.addBitmap(skin::kMeterAlternate, 136, 7070);
    auto* normal = new CBitmap(skin::kMeterNormal);
    auto* alternate = new CBitmap(skin::kMeterAlternate);
    auto* m = new CMovieMeter(CRect(0, 0, 136, 70), nullptr, 25, 101, 70, normal, alternate, CPoint(), 0);
    const float levels[] = {0.0f, 0.1f, 0.5012f, 1.0f, 1.4125f, 1.9953f, 2.0f, -1.0f};
    const long normalFrames[] = {2, 6, 29, 63, 95, 100, 100, 2};
    const long alternateFrames[] = {2, 17, 43, 63, 78, 95, 95, 2};
    for (size_t i = 0; i < std::size(levels); ++i)
        EXPECT_EQ(m->frameForValue(levels[i]), normalFrames[i]) << levels[i];
    m->setScale(1);
    for (size_t i = 0; i < std::size(levels); ++i)
        EXPECT_EQ(m->frameForValue(levels[i]), alternateFrames[i]) << levels[i];
    m->forget();
    normal->forget();
    alternate->forget();
}

TEST(Readout, CellsOfEachKind)
{
    using namespace skin;
    constexpr int _ = kGlyphBlank, P = kGlyphPoint;
    struct Case {
        float value;
        ReadoutKind kind;
        std::array<int, 6> cells;
    };
    const Case cases[] = {
        {-3.456f, ReadoutKind::kDecibel, {kGlyphMinus, 3, P, 4, 6, kGlyphDecibel}},
        {12.3f, ReadoutKind::kDecibel, {kGlyphPlus, 1, 2, P, 3, kGlyphDecibel}},
        {0.004f, ReadoutKind::kDecibel, {_, 0, P, 0, 0, kGlyphDecibel}},
        {-24.0f, ReadoutKind::kDecibel, {kGlyphMinus, 2, 4, P, 0, kGlyphDecibel}},
        {15.32f, ReadoutKind::kDecibel, {kGlyphPlus, 1, 5, P, 3, kGlyphDecibel}},
        {100.0f, ReadoutKind::kHertz, {1, 0, 0, P, 0, kGlyphHertz}},
        {25.0f, ReadoutKind::kHertz, {_, 2, 5, P, 0, kGlyphHertz}},
        {400.0f, ReadoutKind::kHertz, {4, 0, 0, P, 0, kGlyphHertz}},
        {16000.0f, ReadoutKind::kHertz, {1, 6, kGlyphKilo, 0, 0, kGlyphHertz}},
        {1234.0f, ReadoutKind::kHertz, {_, 1, kGlyphKilo, 2, 3, kGlyphHertz}},
        // Just below 1000 Hz rounds into the kilohertz layout, not to "000.0".
        {999.97f, ReadoutKind::kHertz, {_, 1, kGlyphKilo, 0, 0, kGlyphHertz}},
        {50.0f, ReadoutKind::kPercent, {_, 5, 0, P, 0, kGlyphPercent}},
        {100.0f, ReadoutKind::kPercent, {1, 0, 0, P, 0, kGlyphPercent}},
        {1.0f, ReadoutKind::kPlain, {_, _, 1, P, 0, 0}},
        {0.25f, ReadoutKind::kPlain, {_, _, 0, P, 2, 5}},
        {3.0f, ReadoutKind::kBlank, {_, _, _, _, _, _}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readoutCells(c.value, c.kind), c.cells) << c.value << " kind " << static_cast<int>(c.kind);
}

TEST(Switches, ImagesFollowTheEnginesThresholds)
{
    ScriptedPlatform platform;
    platform.addBitmap(skin::kMetersSwitch, 40, 150);
    auto* strip = new CBitmap(skin::kMetersSwitch);
    auto* meters = new CMyVerticalSwitch(CRect(0, 0, 40, 50), nullptr, 21, 3, 50, 3, strip);
    EXPECT_EQ(meters->frameForValue(0.0f), 0);
    EXPECT_EQ(meters->frameForValue(0.3f), 0);
    EXPECT_EQ(meters->frameForValue(0.4f), 1);
    EXPECT_EQ(meters->frameForValue(0.5f), 1);
    EXPECT_EQ(meters->frameForValue(0.7f), 2);
    EXPECT_EQ(meters->frameForValue(1.0f), 2);
    meters->forget();
    strip->forget();

    EXPECT_EQ(CMyLRUDButton::frameForValue(0.0f), 0);
    EXPECT_EQ(CMyLRUDButton::frameForValue(0.33f), 1);
    EXPECT_EQ(CMyLRUDButton::frameForValue(0.333f), 1);
    EXPECT_EQ(CMyLRUDButton::frameForValue(0.67f), 2);
    EXPECT_EQ(CMyLRUDButton::frameForValue(1.0f), 3);
    EXPECT_FLOAT_EQ(CMyLRUDButton::kLeftValue, 0.33000001f);
    EXPECT_FLOAT_EQ(CMyLRUDButton::kRightValue, 0.67000002f);
}

TEST(DriveKnob, FramesRunDownEachColumnThenTheNext)
{
    ScriptedPlatform platform;
    platform.addBitmap(skin::kDriveKnob, 1243, 930);
    auto* strip = new CBitmap(skin::kDriveKnob);
    auto* knob = new CAnimKnob3(CRect(0, 0, 113, 93), nullptr, 4, 101, 113, 93, strip);
    EXPECT_EQ(knob->sourceForValue(0.0f), CPoint(0, 0));
    EXPECT_EQ(knob->sourceForValue(0.05f), CPoint(0, 5 * 93));
    EXPECT_EQ(knob->sourceForValue(0.1f), CPoint(113, 0));
    EXPECT_EQ(knob->sourceForValue(0.5f), CPoint(5 * 113, 0));
    EXPECT_EQ(knob->sourceForValue(0.99f), CPoint(9 * 113, 9 * 93));
    EXPECT_EQ(knob->sourceForValue(1.0f), CPoint(10 * 113, 0));
    EXPECT_EQ(knob->sourceForValue(-0.5f), CPoint(0, 0));
    knob->forget();
    strip->forget();
}

} // namespace
} // namespace editortest
