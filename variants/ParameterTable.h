// Every parameter declared once, as data: its name, label, default, scope,
// stepping, how its stored value is kept, the function from its normalized
// value to its value in user units, and how its text is shown. Each build
// has a table of its own (variants/Variant.h); the effect's host strings and
// getEngineValue, the values the engine receives, the program store and the
// factory presets read it.
#pragma once

#include "variants/ParamId.h"

#include <array>
#include <cmath>
#include <cstdint>

// Meter latency compensation: a value below kMeterLatencyOff switches it
// off (stored as 0); any other value is raised to at least
// kMeterLatencyZero, which means 0 ms, and 1 means 1000 ms. The threshold
// reads like a mistyped 1/16 but is the one stored programs and host
// automation were made against: a value between it and 0.0625 is on.
constexpr float kMeterLatencyOff = 0.06125f;
constexpr float kMeterLatencyZero = 0.125f;
constexpr double kMeterLatencyMaxMs = 1000.0;

// A map from a normalized value v (and the FineTune scale S) to a number.
struct ValueMap {
    enum Kind : uint8_t {
        Zero,           // 0
        Switch,         // (int)(v + 0.5)
        Linear,         // (v a - b), times S or sqrt(S) where `scale` says so
        Exponential,    // a b^v + c
        Complement,     // a^(1 - v)
        FineScale,      // S = 0.125^(1 - c), c = v in steps of a third: 0, 1/3, 2/3, 1
        Percent,        // 100 S
        MeterLatencyMs, // -1 (off) at a stored 0, else 0 to 1000 ms from kMeterLatencyZero up
        Route,          // the channel L R selects: 0, 0.5 or 1
        OverCount,      // the OverIndic count, 1 to 10
    };
    enum Scale : uint8_t { Unscaled, ByFineScale, ByRootFineScale };

    Kind kind = Zero;
    double a = 0.0, b = 0.0, c = 0.0;
    Scale scale = Unscaled;

    double operator()(double v, double s) const
    {
        switch (kind) {
        case Zero:
            return 0.0;
        case Switch:
            return static_cast<int>(v + 0.5);
        case Linear: {
            const double x = v * a - b;
            return scale == ByFineScale ? x * s : (scale == ByRootFineScale ? std::sqrt(s) * x : x);
        }
        case Exponential:
            return a * std::pow(b, v) + c;
        case Complement:
            return std::pow(a, 1.0 - v);
        case FineScale:
            return std::pow(0.125, 1.0 - static_cast<int>(v * 3.0 + 0.5) / 3.0);
        case Percent:
            return s * 100.0;
        case MeterLatencyMs:
            return v == 0.0 ? -1.0 : (v - kMeterLatencyZero) * kMeterLatencyMaxMs / (1.0 - kMeterLatencyZero);
        case Route:
            return v < 0.333 ? 0.0 : (v < 0.66 ? 0.5 : 1.0);
        case OverCount:
            return static_cast<int>(v * 9.0 + 0.5) + 1;
        }
        return 0.0;
    }

    // The normalized value whose user value is u, for the linear and
    // exponential maps (the values typed into the editor, the factory
    // presets' release factors); not limited to [0, 1]. Others, and user
    // values an exponential map never reaches, give 0.
    double inverse(double u, double s) const
    {
        switch (kind) {
        case Linear: {
            const double k = scale == ByFineScale ? s : (scale == ByRootFineScale ? std::sqrt(s) : 1.0);
            return (u + b * k) / (a * k);
        }
        case Exponential:
            return u - c > 0.0 ? std::log((u - c) / a) / std::log(b) : 0.0;
        default:
            return 0.0;
        }
    }
};

struct ParameterSpec {
    // How getParameterProperties describes it.
    enum Stepping : uint8_t { Continuous, OnOff, Positions };
    // How the stored value is kept.
    enum Keep : uint8_t {
        AsSet,
        InThirds,     // FineTune: (int)(3 v + 0.5) / 3
        InNinths,     // OverIndic: round(9 v) / 9
        MeterLatency, // 0 below kMeterLatencyOff, else at least kMeterLatencyZero
        AlwaysZero,   // the FAT position of the build without FAT
    };
    // How getParameterDisplay writes it.
    enum Shown : uint8_t {
        Number,     // the fixed-decimal text of `number` (of `user` when it has none)
        Count,      // the float text of `user`
        Words,      // words[0] below 0.5, words[1] from 0.5
        ThreeWays,  // words[0] below thresholds[0], words[1] below thresholds[1], else words[2]
        MonoStereo, // Mono or Stereo, or L-R whenever L R picks a channel
        Text,       // words[0]
    };

    const char* name = "-";
    const char* label = "-";
    float defaultValue = 0.0f;
    bool global = false; // written into every program slot when set
    Stepping stepping = Continuous;
    int positions = 0; // highest integer position when stepped
    Keep keep = AsSet;
    ValueMap user{};   // the value in user units (getEngineValue)
    Shown shown = Text;
    ValueMap number{}; // the number shown, when it is not `user`
    int decimals = 0;
    const char* words[3] = {"", "", ""};
    float thresholds[2] = {0.0f, 0.0f};
};

using ParameterTable = std::array<ParameterSpec, kParamIdCount>;

// The ranges in which the two builds differ.
struct ParameterRanges {
    bool fat;            // the FAT switch exists
    double satMin;       // band saturation gain = satMin satBase^v,
    double satBase;      // shown as v satRangeDb - satRangeDb / 2
    double satRangeDb;
    double relMin;       // band release factor = relMin relBase^v
    double relBase;
};

namespace parameters {

constexpr ValueMap kSwitch{ValueMap::Switch};

constexpr ParameterSpec onOff(const char* name, float defaultValue, const char* off, const char* on,
                              bool global = false)
{
    ParameterSpec p;
    p.name = name;
    p.label = "";
    p.defaultValue = defaultValue;
    p.global = global;
    p.stepping = ParameterSpec::OnOff;
    p.positions = 1;
    p.user = kSwitch;
    p.shown = ParameterSpec::Words;
    p.words[0] = off;
    p.words[1] = on;
    return p;
}

constexpr ParameterSpec number(const char* name, const char* label, float defaultValue, ValueMap user,
                               int decimals)
{
    ParameterSpec p;
    p.name = name;
    p.label = label;
    p.defaultValue = defaultValue;
    p.user = user;
    p.shown = ParameterSpec::Number;
    p.decimals = decimals;
    return p;
}

constexpr ParameterSpec withNumber(ParameterSpec p, ValueMap shown)
{
    p.number = shown;
    return p;
}

constexpr ParameterSpec stepped(ParameterSpec p, int positions)
{
    p.stepping = ParameterSpec::Positions;
    p.positions = positions;
    return p;
}

constexpr ParameterSpec global(ParameterSpec p)
{
    p.global = true;
    return p;
}

constexpr ParameterSpec kept(ParameterSpec p, ParameterSpec::Keep keep)
{
    p.keep = keep;
    return p;
}

constexpr ParameterSpec threeWays(const char* name, float defaultValue, const char* a, const char* b, const char* c,
                                  float below1, float below2, ValueMap user)
{
    ParameterSpec p;
    p.name = name;
    p.label = "";
    p.defaultValue = defaultValue;
    p.user = user;
    p.shown = ParameterSpec::ThreeWays;
    p.words[0] = a;
    p.words[1] = b;
    p.words[2] = c;
    p.thresholds[0] = below1;
    p.thresholds[1] = below2;
    return p;
}

constexpr ParameterSpec text(const char* name, const char* label, const char* shown)
{
    ParameterSpec p;
    p.name = name;
    p.label = label;
    p.words[0] = shown;
    return p;
}

// (v a - b), scaled as given.
constexpr ValueMap linear(double a, double b, ValueMap::Scale scale = ValueMap::Unscaled)
{
    return {ValueMap::Linear, a, b, 0.0, scale};
}

// a b^v + c.
constexpr ValueMap exponential(double a, double b, double c = 0.0)
{
    return {ValueMap::Exponential, a, b, c};
}

// The VU meters' reference level runs from this linear level at 0 to full
// scale at 1: -24.26 dBFS, not the -24.08 dBFS of 1/16 it resembles. The
// meters' calibration and every saved setting rest on the exact value.
constexpr double kVuReferenceLowest = 0.06125;

constexpr ParameterTable table(const ParameterRanges& r)
{
    using P = ParameterSpec;
    using enum ParamId;
    ParameterTable t{};
    auto at = [&t](ParamId id) -> ParameterSpec& { return t[static_cast<size_t>(id)]; };

    at(Process) = onOff(" Process ", 1.0f, " Off ", " On ", true);
    at(Mode) = onOff(" Mode", 0.0f, " SingleBnd ", " MultiBand ");
    at(MonoStereo) = onOff(" Mono Stereo", 1.0f, " Mono ", " Stereo ", true);
    at(MonoStereo).shown = P::MonoStereo;
    at(Link) = onOff(" Link", 1.0f, " Unlinked ", " Linked ");
    // The dB ranges shrink with the FineTune scale S (Ceiling and Output by
    // sqrt(S)); Drive is +-24 dB, the others +-12 dB at S = 1.
    at(Drive) = number(" Drive ", " dB ", 0.5f, linear(48.0, 24.0, ValueMap::ByFineScale), 2);
    at(Knee) = number(" Knee ", " % ", 0.0f, linear(100.0, 0.0), 1);
    at(Speed) = number(" Speed ", " % ", 1.0f, linear(100.0, 0.0), 1);
    at(Release) = number(" Release ", " * ", 0.5f, exponential(0.25, 16.0), 2); // a multiplier, 0.25 to 4
    at(HighAdjust) = number(" HighAdjust ", " dB ", 0.5f, linear(24.0, 12.0, ValueMap::ByFineScale), 2);
    at(LowAdjust) = number(" LowAdjust ", " dB ", 0.5f, linear(24.0, 12.0, ValueMap::ByFineScale), 2);
    at(HighFreq) = number(" HighFreq ", " Hz ", 1.0f, exponential(1000.0, 16.0), 0);
    at(LowFreq) = number(" LowFreq ", " Hz ", 0.5f, exponential(25.0, 16.0), 1);
    at(Mix) = number(" Mix ", " % ", 1.0f, linear(100.0, 0.0), 1);
    at(Ceiling) = number(" Ceiling ", " dB ", 0.5f, linear(24.0, 12.0, ValueMap::ByRootFineScale), 2);
    at(Output) = number(" Output ", " dB ", 0.5f, linear(24.0, 12.0, ValueMap::ByRootFineScale), 2);
    // Per band: the saturation gain, shown in dB; the release factor.
    const ParameterSpec sat = withNumber(number("", " dB ", 0.5f, exponential(r.satMin, r.satBase), 2),
                                         linear(r.satRangeDb, r.satRangeDb / 2.0));
    at(LowSat) = sat;
    at(LowSat).name = " LowSat";
    at(MidSat) = sat;
    at(MidSat).name = " MidSat ";
    at(HighSat) = sat;
    at(HighSat).name = " HighSat ";
    at(LowRel) = number(" LowRel ", " * ", 0.5f, exponential(r.relMin, r.relBase), 2);
    at(MidRel) = number(" MidRel ", " * ", 0.5f, exponential(r.relMin, r.relBase), 2);
    at(HighRel) = number(" HighRel ", " * ", 0.5f, exponential(r.relMin, r.relBase), 2);
    at(Meters) = global(stepped(threeWays(" Meters ", 0.5f, " Pre ", " GainRed ", " Post ", 0.3333333f, 0.6666667f,
                                          ValueMap{}),
                                2));
    at(MeterType) = onOff(" MeterType ", 0.0f, " VU ", " PPM ", true);
    at(MeterType).user = ValueMap{};
    // Unnamed: the meters' latency compensation in ms, -1 when off.
    at(MeterLatency) = global(kept(text("-", " ms ", "-"), P::MeterLatency));
    at(MeterLatency).user = ValueMap{ValueMap::MeterLatencyMs};
    // The scale S itself is the user value; shown as a percentage.
    at(FineTune) = kept(stepped(withNumber(number(" FineTune ", " % ", 1.0f, ValueMap{ValueMap::FineScale}, 0),
                                           ValueMap{ValueMap::Percent}),
                                3),
                        P::InThirds);
    at(MeterScale) = onOff(" MeterScale ", 0.0f, "-20..+3", "-40..+6", true);
    at(MeterScale).label = " dB ";
    at(MeterScale).user = ValueMap{};
    if (r.fat) {
        at(Fat) = onOff(" FAT ", 0.0f, " Off ", " FAT ", true);
    } else {
        // The position stays, unnamed, at 0.
        at(Fat) = onOff("-", 0.0f, "-", "-", true);
        at(Fat).shown = P::Text;
        at(Fat).keep = P::AlwaysZero;
    }
    at(Long) = onOff(" Long ", 0.0f, " Off ", " Long ");
    at(Auto) = onOff(" Auto ", 0.0f, " Off ", " Auto ");
    at(Brickwall) = onOff(" Brickwall ", 1.0f, " Off ", " BrickWall ");
    at(LR) = threeWays(" L R ", 0.0f, " OO-O", " L ", " R ", 0.333f, 0.66f, ValueMap{ValueMap::Route});
    // Editor settings, kept per machine rather than in programs.
    at(VuIntegr) = number(" VU Integr ", " ms ", 0.5f, exponential(30.0, 100.0), 0);
    at(VuRefer) = number(" VU Refer ", " dBFS ", 0.5f, ValueMap{ValueMap::Complement, kVuReferenceLowest}, 1);
    at(PpmIntegr) = number(" PPM Integr ", " ms ", 0.5f, exponential(1.0, 101.0, -1.0), 0);
    at(PpmReturn) = number(" PPM Return ", " ms ", 0.5f, exponential(100.0, 100.0), 0);
    at(OverIndic) = kept(number(" OverIndic ", " samples ", 0.5f, ValueMap{ValueMap::OverCount}, 0), P::InNinths);
    at(OverIndic).shown = P::Count;
    at(KnobMode) = onOff(" Knob Mode ", 0.5f, " Circular ", " Linear ");
    at(KnobMode).label = " ";
    at(KnobMode).stepping = P::Continuous;
    at(KnobMode).positions = 0;
    at(KnobMode).user = linear(1.0, 0.0);
    // The editor's combined Mono Stereo / L R selector.
    at(StereoSelector) = text("-", "-", "");
    return t;
}

} // namespace parameters
