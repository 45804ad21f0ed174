// The editor's layout as data: every control of the main page, the settings
// page and the preset strip with its class, binding, rectangle, bitmap,
// default value, wheel step and the caption printed beside it on the page
// background. The editor builds its windows from these tables and the skin
// generator prints the captions, scales and value marks from the same ones,
// so a label on the faceplate cannot drift from its control.
//
// Rectangles are left, top, right, bottom in window pixels (450 x 460).
#pragma once

#include "gui/Geometry.h"
#include "resources/SkinIds.h"
#include "variants/ParamId.h"
#include "variants/Variant.h"

#include <array>

namespace layout {

using VSTGUI::CRect;

inline constexpr int kWindowWidth = 450;
inline constexpr int kWindowHeight = 460;
inline constexpr CRect kMainPage{0, 0, 450, 444};
inline constexpr CRect kSettingsPage{0, 0, 450, 443};
// The preset strip runs along the bottom edge, below both pages.
inline constexpr int kStripTop = kWindowHeight - 16;
inline constexpr int kStripBottom = kWindowHeight - 2;

// Tags of the controls that edit no parameter. The two builds number them
// differently.
enum class EditorTag : unsigned char {
    None,
    Readout,
    ToSettings,
    ToMain,
    OverLeft,
    OverRight,
    LatencyClick,
    EntryField,
    NameField,
    PresetRocker,
    LoadBank,
    SaveBank,
    LoadPreset,
    SavePreset,
    PresetMenu,
    RecallA,
    RecallB,
    StoreA,
    StoreB,
    Count,
};

struct EditorTagNumbers {
    EditorTag tag;
    int withFat;
    int withoutFat;
};
inline constexpr std::array<EditorTagNumbers, 18> kEditorTagNumbers{{
    {EditorTag::Readout, 50, 56},
    {EditorTag::ToSettings, 52, 60},
    {EditorTag::ToMain, 53, 61},
    {EditorTag::OverLeft, 54, 62},
    {EditorTag::OverRight, 55, 63},
    {EditorTag::LatencyClick, 56, 64},
    {EditorTag::EntryField, 58, 66},
    {EditorTag::NameField, 59, 67},
    {EditorTag::PresetRocker, 60, 68},
    {EditorTag::LoadBank, 61, 69},
    {EditorTag::SaveBank, 62, 70},
    {EditorTag::LoadPreset, 63, 71},
    {EditorTag::SavePreset, 64, 72},
    {EditorTag::PresetMenu, 65, 73},
    {EditorTag::RecallA, 66, 74},
    {EditorTag::RecallB, 67, 75},
    {EditorTag::StoreA, 68, 76},
    {EditorTag::StoreB, 69, 77},
}};

// Tag of an editor-only control in a build; -1 for EditorTag::None.
constexpr int editorTag(const Variant& variant, EditorTag tag)
{
    for (const EditorTagNumbers& n : kEditorTagNumbers)
        if (n.tag == tag)
            return variant.hasFat ? n.withFat : n.withoutFat;
    return -1;
}

// The editor-only control a tag names in a build, or EditorTag::None.
constexpr EditorTag editorTagAt(const Variant& variant, int tag)
{
    for (const EditorTagNumbers& n : kEditorTagNumbers)
        if ((variant.hasFat ? n.withFat : n.withoutFat) == tag)
            return n.tag;
    return EditorTag::None;
}

// The control classes the tables use.
enum class ControlKind : unsigned char {
    OnOffButton,     // CMyOnOffButton
    LRUDButton,      // CMyLRUDButton (channel mode)
    VerticalSwitch,  // CMyVerticalSwitch (main page) or CVerticalSwitch (settings page)
    Knob,            // CAnimKnob2
    DriveKnob,       // CAnimKnob3 (frames in columns)
    SettingsKnob,    // CAnimKnob
    Meter,           // CMovieMeter
    Readout,         // CCounter
    EntryField,      // CMyTextEdit
    OverLight,       // CMovieLED
    PageSwitch,      // CViewContainerSwitch (invisible)
    ValueDisplay,    // CParamDisplay
    ClickArea,       // CClickRect (invisible)
    Label,           // CLabel2
};

// What a value display shows.
enum class DisplayKind : unsigned char {
    None,
    LatencyMs,
    LatencySamples,
    Decibel,
    DecibelFullScale,
    Multiplier,
    Milliseconds,
    Integer,
    Percent,
};

// Where the skin generator prints a control's caption on the page: centred
// above or below the rectangle, or beside it, vertically centred (on the
// left it ends at the rectangle, on the right it starts there).
enum class CaptionSide : unsigned char { Above, Below, Left, Right };

struct ControlSpec {
    const char* name;  // for messages and tests
    ControlKind kind;
    ParamId param;     // ParamId::None for editor-only controls
    EditorTag tag;     // EditorTag::None for parameter controls
    CRect rect;
    int bitmap;        // skin id (the build with FAT), 0 for none
    int frames;        // images in the strip, or switch positions
    float defaultValue; // restored by Ctrl+click; 0 where there is none
    float wheelStep;   // 0: the toolkit's default
    const char* caption; // printed on the page background, may be empty
    bool fatOnly = false;
    CaptionSide captionSide = CaptionSide::Above;
};

// The parameter or editor tag of a control in a build.
constexpr int tagOf(const Variant& variant, const ControlSpec& desc)
{
    if (desc.param != ParamId::None)
        return variant.index(desc.param);
    return editorTag(variant, desc.tag);
}

// A bitmap id in a build: the build without FAT has its own background and
// Process button art.
constexpr int bitmapFor(const Variant& variant, int id)
{
    if (variant.hasFat)
        return id;
    if (id == skin::kBackground)
        return skin::kBackgroundNoFat;
    if (id == skin::kProcessButton)
        return skin::kProcessButtonNoFat;
    return id;
}

// Wheel steps of the main-page knobs: 1/32 of the range, 0.625 dB of a
// +-12 dB knob and 0.625 dB of the +-24 dB Drive knob.
inline constexpr float kWheelPercent = 0.03125f;
inline constexpr float kWheelTone = 0.02604167f;
inline constexpr float kWheelDrive = 0.01302084f;

using enum ControlKind;

// Main page, in the order the editor creates the controls.
inline constexpr std::array<ControlSpec, 31> kMainPageControls{{
    {"LatencyMs", ValueDisplay, ParamId::None, EditorTag::None, {120, 428, 165, 438}, 0, 0, 0, 0, ""},
    {"LatencySamples", ValueDisplay, ParamId::None, EditorTag::None, {167, 428, 212, 438}, 0, 0, 0, 0, ""},
    {"LatencyClick", ClickArea, ParamId::None, EditorTag::LatencyClick, {120, 426, 220, 440}, 0, 0, 0, 0,
     "LATENCY", false, CaptionSide::Left},
    {"Process", OnOffButton, ParamId::Process, EditorTag::None, {42, 398, 78, 438}, skin::kProcessButton, 2, 0,
     0, "PROCESS"},
    {"Long", OnOffButton, ParamId::Long, EditorTag::None, {107, 356, 132, 381}, skin::kLongButton, 2, 0, 0,
     "LONG"},
    {"Auto", OnOffButton, ParamId::Auto, EditorTag::None, {107, 317, 132, 342}, skin::kAutoButton, 2, 0, 0,
     "AUTO"},
    {"Brickwall", OnOffButton, ParamId::Brickwall, EditorTag::None, {219, 337, 244, 362},
     skin::kBrickwallButton, 2, 0, 0, "BRICKWALL"},
    {"Fat", OnOffButton, ParamId::Fat, EditorTag::None, {248, 398, 286, 438}, skin::kFatButton, 2, 0, 0, "FAT",
     true},
    {"Mode", OnOffButton, ParamId::Mode, EditorTag::None, {290, 398, 326, 438}, skin::kModeButton, 2, 0, 0,
     "3 BAND"},
    {"ChannelMode", LRUDButton, ParamId::StereoSelector, EditorTag::None, {326, 388, 377, 436},
     skin::kChannelModeButton, 4, 0, 0, "CHANNEL"},
    {"Link", OnOffButton, ParamId::Link, EditorTag::None, {371, 398, 409, 438}, skin::kLinkButton, 2, 0, 0,
     "LINK"},
    {"MeterType", OnOffButton, ParamId::MeterType, EditorTag::None, {206, 88, 246, 138},
     skin::kMeterTypeButton, 2, 0, 0, "VU / PPM"},
    {"Meters", VerticalSwitch, ParamId::Meters, EditorTag::None, {206, 28, 246, 78}, skin::kMetersSwitch, 3,
     0.5f, 0, "METERS"},
    {"Knee", Knob, ParamId::Knee, EditorTag::None, {46, 167, 106, 217}, skin::kKnobSmall, 101, 0.5f,
     kWheelPercent, "KNEE"},
    {"Speed", Knob, ParamId::Speed, EditorTag::None, {46, 245, 106, 295}, skin::kKnobSmall, 101, 0.5f,
     kWheelPercent, "SPEED"},
    {"Drive", DriveKnob, ParamId::Drive, EditorTag::None, {122, 162, 235, 255}, skin::kDriveKnob, 101, 0.5f,
     kWheelDrive, "DRIVE"},
    {"HighFreq", Knob, ParamId::HighFreq, EditorTag::None, {345, 242, 405, 298}, skin::kHighFreqKnob, 101, 0.5f,
     kWheelTone, "HIGH FREQ"},
    {"HighAdjust", Knob, ParamId::HighAdjust, EditorTag::None, {345, 167, 405, 217}, skin::kKnobTone, 101, 0.5f,
     kWheelTone, "HIGH"},
    {"LowFreq", Knob, ParamId::LowFreq, EditorTag::None, {254, 242, 314, 298}, skin::kLowFreqKnob, 101, 0.5f,
     kWheelTone, "LOW FREQ"},
    {"LowAdjust", Knob, ParamId::LowAdjust, EditorTag::None, {254, 167, 314, 217}, skin::kKnobTone, 101, 0.5f,
     kWheelTone, "LOW"},
    {"Output", Knob, ParamId::Output, EditorTag::None, {345, 324, 405, 374}, skin::kKnobTone, 101, 0.5f,
     kWheelTone, "OUTPUT"},
    {"Mix", Knob, ParamId::Mix, EditorTag::None, {253, 323, 313, 373}, skin::kKnobSmall, 101, 1.0f,
     kWheelPercent, "MIX"},
    {"Ceiling", Knob, ParamId::Ceiling, EditorTag::None, {150, 324, 210, 374}, skin::kKnobTone, 101, 0.5f,
     kWheelTone, "CEILING"},
    {"Release", Knob, ParamId::Release, EditorTag::None, {46, 320, 106, 376}, skin::kReleaseKnob, 101, 0.5f,
     kWheelTone, "RELEASE"},
    {"MeterLeft", Meter, ParamId::MeterScale, EditorTag::None, {54, 40, 190, 110}, skin::kMeterNormal, 101, 0, 0,
     "LEFT"},
    {"MeterRight", Meter, ParamId::MeterScale, EditorTag::None, {261, 40, 397, 110}, skin::kMeterNormal, 101, 0,
     0, "RIGHT"},
    {"Readout", Readout, ParamId::None, EditorTag::Readout, {152, 281, 207, 297}, skin::kReadoutGlyphs, 18, 0, 0,
     ""},
    {"EntryField", EntryField, ParamId::None, EditorTag::EntryField, {151, 281, 207, 298}, 0, 0, 0, 0, ""},
    {"OverLeft", OverLight, ParamId::None, EditorTag::OverLeft, {160, 109, 181, 130}, skin::kOverLight, 6, 0, 0,
     "OVER", false, CaptionSide::Left},
    {"OverRight", OverLight, ParamId::None, EditorTag::OverRight, {367, 109, 388, 130}, skin::kOverLight, 6, 0,
     0, "OVER", false, CaptionSide::Left},
    {"ToSettings", PageSwitch, ParamId::None, EditorTag::ToSettings, {78, 404, 247, 422}, 0, 0, 0, 0, ""},
}};

// Settings page: each knob followed by the value display under it, then
// Knob Mode, the version text and the switch back to the main page.
struct SettingsKnobSpec {
    const char* name;
    ParamId param;
    CRect knob;
    float defaultValue;
    CRect display;
    DisplayKind displayKind;
    bool toolkitKnob2; // OverIndic is a CAnimKnob2, the others CAnimKnob
    const char* caption;
    CaptionSide captionSide = CaptionSide::Above;
};

inline constexpr std::array<SettingsKnobSpec, 12> kSettingsKnobs{{
    {"LowSat", ParamId::LowSat, {65, 190, 95, 220}, 0.5f, {55, 221, 105, 235}, DisplayKind::Decibel, false,
     "LOW"},
    {"MidSat", ParamId::MidSat, {112, 190, 142, 220}, 0.5f, {102, 221, 152, 235}, DisplayKind::Decibel, false,
     "MID"},
    {"HighSat", ParamId::HighSat, {158, 190, 188, 220}, 0.5f, {148, 221, 198, 235}, DisplayKind::Decibel, false,
     "HIGH"},
    {"LowRel", ParamId::LowRel, {263, 190, 293, 220}, 0.5f, {253, 221, 303, 235}, DisplayKind::Multiplier, false,
     "LOW"},
    {"MidRel", ParamId::MidRel, {310, 190, 340, 220}, 0.5f, {300, 221, 350, 235}, DisplayKind::Multiplier, false,
     "MID"},
    {"HighRel", ParamId::HighRel, {356, 190, 386, 220}, 0.5f, {346, 221, 396, 235}, DisplayKind::Multiplier,
     false, "HIGH"},
    {"VuIntegr", ParamId::VuIntegr, {65, 260, 95, 290}, 0.5f, {60, 291, 100, 305}, DisplayKind::Milliseconds,
     false, "INTEGRATION", CaptionSide::Right},
    {"VuRefer", ParamId::VuRefer, {65, 309, 95, 339}, 0.4f, {55, 340, 105, 354}, DisplayKind::DecibelFullScale,
     false, "REFERENCE", CaptionSide::Right},
    {"PpmIntegr", ParamId::PpmIntegr, {264, 260, 294, 290}, 0.5f, {254, 291, 304, 305},
     DisplayKind::Milliseconds, false, "INTEGRATION", CaptionSide::Right},
    {"PpmReturn", ParamId::PpmReturn, {264, 309, 294, 339}, 0.5f, {254, 340, 304, 354},
     DisplayKind::Milliseconds, false, "RETURN", CaptionSide::Right},
    {"OverIndic", ParamId::OverIndic, {65, 381, 95, 411}, 0.22222222f, {65, 412, 95, 426}, DisplayKind::Integer,
     true, "SAMPLES", CaptionSide::Right},
    {"FineTune", ParamId::FineTune, {264, 381, 294, 411}, 1.0f, {264, 412, 294, 426}, DisplayKind::Percent, false,
     "FINE TUNE", CaptionSide::Right},
}};
inline constexpr int kSettingsKnobFrames = 51;
inline constexpr int kSettingsKnobFrameHeight = 30;

inline constexpr std::array<ControlSpec, 3> kSettingsPageControls{{
    {"KnobMode", VerticalSwitch, ParamId::KnobMode, EditorTag::None, {375, 389, 390, 418}, skin::kKnobModeSwitch, 2,
     0.5f, 0, "KNOB MODE"},
    {"Version", Label, ParamId::None, EditorTag::None, {300, 45, 329, 55}, 0, 0, 0, 0, ""},
    {"ToMain", PageSwitch, ParamId::None, EditorTag::ToMain, {110, 36, 338, 134}, 0, 0, 0, 0, ""},
}};
inline constexpr const char* kVersionText = "v2.3.1";

// Value displays: the smallest toolkit font, centred, drawn over the piece
// of page background under them.
inline constexpr VSTGUI::CColor kMainPageTextColor{40, 40, 40, 255};
inline constexpr VSTGUI::CColor kSettingsPageTextColor{170, 170, 170, 255};

// Typed-entry field.
inline constexpr VSTGUI::CColor kEntryBackColor{236, 237, 237, 255};
inline constexpr VSTGUI::CColor kEntryTextColor{10, 10, 10, 255};

// Preset strip, in the order the strip creates its controls. All span the
// rows kStripTop .. kStripBottom.
struct StripControlSpec {
    const char* name;
    EditorTag tag;
    int left;
    int right;
    int bitmap; // 0: none (the name field draws the window background)
    int frames;
};
inline constexpr std::array<StripControlSpec, 11> kStripControls{{
    {"NameField", EditorTag::NameField, 176, 290, 0, 0},
    {"PresetMenu", EditorTag::PresetMenu, 293, 303, 0, 0},
    {"PresetRocker", EditorTag::PresetRocker, 313, 344, skin::kPresetRocker, 5},
    {"LoadBank", EditorTag::LoadBank, 70, 82, skin::kLoadBank, 4},
    {"SaveBank", EditorTag::SaveBank, 20, 32, skin::kSaveBank, 4},
    {"LoadPreset", EditorTag::LoadPreset, 150, 162, skin::kLoadPreset, 4},
    {"SavePreset", EditorTag::SavePreset, 91, 103, skin::kSavePreset, 4},
    {"RecallA", EditorTag::RecallA, 374, 386, skin::kRecallA, 4},
    {"RecallB", EditorTag::RecallB, 417, 429, skin::kRecallB, 4},
    {"StoreA", EditorTag::StoreA, 352, 364, skin::kStoreA, 4},
    {"StoreB", EditorTag::StoreB, 395, 407, skin::kStoreB, 4},
}};
constexpr CRect stripRect(const StripControlSpec& desc) { return {desc.left, kStripTop, desc.right, kStripBottom}; }

// Name field colours.
inline constexpr VSTGUI::CColor kNameFieldBackColor{207, 222, 235, 255};
inline constexpr VSTGUI::CColor kNameFieldTextColor{76, 76, 72, 255};

// Readout cells: origin of the first of six glyph cells and their pitch.
inline constexpr int kReadoutX = 152;
inline constexpr int kReadoutY = 281;
inline constexpr int kReadoutPitch = 9;
inline constexpr int kReadoutGlyphHeight = 17;

} // namespace layout
