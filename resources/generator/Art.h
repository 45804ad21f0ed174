// The art of the skin: page backgrounds and every film strip, at a device
// scale of 1 or 2, placed from the editor's layout tables.
#pragma once

#include "Common.h"

#include "editor/Layout.h"
#include "editor/MeterMapping.h"
#include "resources/SkinIds.h"

#include <vector>

namespace gen {

using VSTGUI::CRect;

enum class Page { Main, MainNoFat, Settings };

// Where a bitmap is drawn in the window. The first place of a bitmap is
// where the generator cuts the piece of page that shows around the control
// in every frame; every other place of the same bitmap gets the same page
// texture, so the strip fits wherever it is drawn.
struct Placement {
    Page page;
    CRect rect;
};
std::vector<Placement> placementsOf(int bitmapId);

struct Pages {
    Image main;      // 19000
    Image mainNoFat; // 19100
    Image settings;  // 19002
    const Image& page(Page p) const { return p == Page::Main ? main : p == Page::MainNoFat ? mainNoFat : settings; }
};

Image drawMainPage(int scale, bool hasFat);
Image drawSettingsPage(int scale);

// The whole strip of a bitmap id at the scale, frames laid out as in
// SkinIds.h.
Image drawBitmap(int id, int scale, const Pages& pages);

// Device-pixel origin of frame k in a strip.
inline void frameOrigin(const skin::BitmapGeometry& g, int k, int scale, int& x, int& y)
{
    int rows = g.height / g.frameHeight;
    x = (k / rows) * g.frameWidth * scale;
    y = (k % rows) * g.frameHeight * scale;
}

// --- Meters -------------------------------------------------------------------

// Needle geometry of the meter faces, in 1x pixels of one frame: the needle
// turns about the pivot (below the face) from angle0 (frame 0) to angle0 +
// sweep (the last frame), angles in degrees clockwise from straight up.
struct MeterGeometry {
    double pivotX = 68;
    double pivotY = 100;
    double angle0 = -46;
    double sweep = 92;
    double arcRadius = 74;   // the scale's baseline; ticks go outwards from here
    double needleInner = 35; // where the needle comes out of the shroud
    double needleTip = 86;
    double needleAngle(int frame) const { return angle0 + sweep * frame / (meter::kMeterFrames - 1); }
};
inline constexpr MeterGeometry kMeter{};

struct MeterMark {
    double db;
    int frame;      // the frame whose needle lies on this mark
    double angle;   // degrees, = kMeter.needleAngle(frame)
    bool major;     // longer tick
    bool labelled;
};
std::vector<MeterMark> meterMarks(meter::Scale scale);

// The meter face without needle (for the page under the meters) and the
// strip of both scales.
Image drawMeterStrip(int id, int scale);
void drawMeterFace(Image& target, int dx, int dy, meter::Scale scale, int frame, bool withNeedle);

// --- Pieces shared by pages and strips ---------------------------------------

// Brushed metal of one tone, horizontal grain.
Image brushedMetal(int width, int height, int scale, const Color& base, double grain, uint64_t seed);
// Fine grain of a dark anodized panel.
Image anodized(int width, int height, int scale, const Color& base, double grain, uint64_t seed);

// Copies the texture around one rectangle onto another, blending over a
// feathered margin, so that a bitmap cut at `from` fits at `to`.
void cloneTexture(Image& page, const CRect& from, const CRect& to, int margin, const Color& base);

// Knob scale printed on a page around a knob centred at (cx, cy).
struct KnobScale {
    int ticks = 11;            // evenly spread from value 0 to 1
    std::vector<std::pair<double, std::string>> labels; // value, text
    std::vector<double> emphasis; // values with a longer tick
};
void drawKnobScale(Pen& pen, double cx, double cy, double innerRadius, double tickLength, const KnobScale& scale,
                   const Color& color, double labelSize);

// Colour of the printing on the light faceplate and on the dark panels.
inline constexpr Color kInk = rgb(40, 40, 40);
inline constexpr Color kLightInk = rgb(176, 176, 172);
inline constexpr Color kAmber = rgb(255, 168, 52);
inline constexpr Color kDisplayGlass = rgb(22, 14, 10);
inline constexpr Color kFaceplate = rgb(208, 209, 206);
inline constexpr Color kBridge = rgb(36, 37, 40);
inline constexpr Color kSettingsPanel = rgb(44, 45, 49);
inline constexpr Color kRail = rgb(30, 31, 33);

// Knob radius (1x) for a bitmap id.
double knobRadius(int bitmapId);

} // namespace gen
