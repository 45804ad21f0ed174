// Resource ids of the editor skin and the geometry of every image: size,
// bit depth and film-strip layout. The generator draws exactly these; the
// editor and the platform layers read the same table.
#pragma once

#include <array>
#include <cstddef>

namespace skin {

enum SkinId : int {
    kBackground = 19000,        // frame and main page background
    kSettingsBackground = 19002, // settings page background
    kMeterNormal = 19003,       // meter face, scale -20..+3
    kMeterAlternate = 19004,    // meter face, scale -40..+6
    kMetersSwitch = 19005,
    kMeterTypeButton = 19006,
    kKnobSmall = 19008,         // Knee, Speed, Mix
    kDriveKnob = 19009,         // 11 columns of 10 frames
    kHighFreqKnob = 19010,
    kLowFreqKnob = 19012,
    kKnobTone = 19013,          // HighAdjust, LowAdjust, Output, Ceiling
    kProcessButton = 19014,
    kModeButton = 19015,
    kChannelModeButton = 19016,
    kLinkButton = 19017,
    kReadoutGlyphs = 19021,
    kReleaseKnob = 19024,
    kOverLight = 19026,
    kSettingsKnob = 19032,
    kKnobModeSwitch = 19033,
    kFatButton = 19034,
    kLongButton = 19035,
    kAutoButton = 19036,
    kBrickwallButton = 19037,
    kBackgroundNoFat = 19100,   // 19000 without the FAT switch
    kProcessButtonNoFat = 19114,
    kRecallA = 19991,
    kRecallB = 19992,
    kLoadBank = 19993,
    kSaveBank = 19994,
    kStoreA = 19995,
    kStoreB = 19996,
    kPresetRocker = 19997,
    kLoadPreset = 19998,
    kSavePreset = 19999,
};

struct BitmapGeometry {
    int id;
    int width;        // 1x pixels
    int height;
    int bitsPerPixel; // 24 (true colour) or 8 (palette)
    int frames;       // images in the strip
    int frameWidth;   // one image; strips run top to bottom, then column by column
    int frameHeight;
};

inline constexpr std::array<BitmapGeometry, 35> kBitmapGeometry{{
    {kBackground, 450, 460, 24, 1, 450, 460},
    {kSettingsBackground, 450, 445, 24, 1, 450, 445},
    {kMeterNormal, 136, 7070, 8, 101, 136, 70},
    {kMeterAlternate, 136, 7070, 8, 101, 136, 70},
    {kMetersSwitch, 40, 150, 8, 3, 40, 50},
    {kMeterTypeButton, 40, 100, 8, 2, 40, 50},
    {kKnobSmall, 60, 5050, 8, 101, 60, 50},
    {kDriveKnob, 1243, 930, 8, 101, 113, 93},
    {kHighFreqKnob, 60, 5656, 8, 101, 60, 56},
    {kLowFreqKnob, 60, 5656, 8, 101, 60, 56},
    {kKnobTone, 60, 5050, 8, 101, 60, 50},
    {kProcessButton, 36, 80, 8, 2, 36, 40},
    {kModeButton, 36, 80, 8, 2, 36, 40},
    {kChannelModeButton, 51, 192, 8, 4, 51, 48},
    {kLinkButton, 38, 80, 8, 2, 38, 40},
    {kReadoutGlyphs, 9, 306, 8, 18, 9, 17},
    {kReleaseKnob, 60, 5656, 8, 101, 60, 56},
    {kOverLight, 21, 126, 8, 6, 21, 21},
    {kSettingsKnob, 30, 1530, 8, 51, 30, 30},
    {kKnobModeSwitch, 15, 58, 8, 2, 15, 29},
    {kFatButton, 38, 80, 8, 2, 38, 40},
    {kLongButton, 25, 50, 8, 2, 25, 25},
    {kAutoButton, 25, 50, 8, 2, 25, 25},
    {kBrickwallButton, 25, 50, 8, 2, 25, 25},
    {kBackgroundNoFat, 450, 460, 24, 1, 450, 460},
    {kProcessButtonNoFat, 36, 80, 8, 2, 36, 40},
    {kRecallA, 12, 56, 8, 4, 12, 14},
    {kRecallB, 12, 56, 8, 4, 12, 14},
    {kLoadBank, 12, 56, 8, 4, 12, 14},
    {kSaveBank, 12, 56, 8, 4, 12, 14},
    {kStoreA, 12, 56, 8, 4, 12, 14},
    {kStoreB, 12, 56, 8, 4, 12, 14},
    {kPresetRocker, 31, 70, 8, 5, 31, 14},
    {kLoadPreset, 12, 56, 8, 4, 12, 14},
    {kSavePreset, 12, 56, 8, 4, 12, 14},
}};

constexpr const BitmapGeometry* findGeometry(int id)
{
    for (const BitmapGeometry& g : kBitmapGeometry)
        if (g.id == id)
            return &g;
    return nullptr;
}

// Readout glyph indices in kReadoutGlyphs.
enum ReadoutGlyph : int {
    kGlyphPoint = 10,
    kGlyphKilo = 11,
    kGlyphPlus = 12,
    kGlyphMinus = 13,
    kGlyphPercent = 14,
    kGlyphDecibel = 15,
    kGlyphHertz = 16,
    kGlyphBlank = 17,
};

} // namespace skin
