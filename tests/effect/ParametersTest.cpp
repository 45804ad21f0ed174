// The parameter table as the host sees it, in both builds' numberings.
#include "effect/Ambrel.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace {

struct Texts {
    std::string name, label, display;
};

Texts texts(Ambrel& fx, int index)
{
    char name[64], label[64], display[64];
    fx.getParameterName(index, name);
    fx.getParameterLabel(index, label);
    fx.getParameterDisplay(index, display);
    return {name, label, display};
}

std::string display(Ambrel& fx, int index)
{
    return texts(fx, index).display;
}

class Both : public ::testing::TestWithParam<const Variant*> {
protected:
    const Variant& v() const { return *GetParam(); }
    int at(ParamId id) const { return v().index(id); }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Both, ::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),
                         [](const auto& info) { return info.param->hasFat ? "Ambrel2" : "Ambrel"; });

TEST_P(Both, DefaultsShowTheirTexts)
{
    Ambrel fx(nullptr, v());
    EXPECT_EQ(display(fx, at(ParamId::Process)), " On ");
    EXPECT_EQ(display(fx, at(ParamId::Mode)), " SingleBnd ");
    EXPECT_EQ(display(fx, at(ParamId::MonoStereo)), " Stereo ");
    EXPECT_EQ(display(fx, at(ParamId::Link)), " Linked ");
    EXPECT_EQ(display(fx, at(ParamId::Drive)), "0.00");
    EXPECT_EQ(display(fx, at(ParamId::Knee)), "0.0");
    EXPECT_EQ(display(fx, at(ParamId::Speed)), "100.0");
    EXPECT_EQ(display(fx, at(ParamId::Release)), "1.00");
    EXPECT_EQ(display(fx, at(ParamId::HighFreq)), "16000");
    EXPECT_EQ(display(fx, at(ParamId::LowFreq)), "100.0");
    EXPECT_EQ(display(fx, at(ParamId::Ceiling)), "0.00");
    EXPECT_EQ(display(fx, at(ParamId::LowSat)), "0.00");
    EXPECT_EQ(display(fx, at(ParamId::MidRel)), "1.00");
    EXPECT_EQ(display(fx, at(ParamId::Meters)), " GainRed ");
    EXPECT_EQ(display(fx, at(ParamId::MeterType)), " VU ");
    EXPECT_EQ(display(fx, at(ParamId::FineTune)), "100");
    EXPECT_EQ(display(fx, at(ParamId::MeterScale)), "-20..+3");
    EXPECT_EQ(display(fx, at(ParamId::Brickwall)), " BrickWall ");
    EXPECT_EQ(display(fx, at(ParamId::LR)), " OO-O");
    // Editor settings missing from the store start at 0.5.
    EXPECT_EQ(display(fx, at(ParamId::VuIntegr)), "300");
    EXPECT_EQ(display(fx, at(ParamId::PpmReturn)), "1000");
    EXPECT_EQ(display(fx, at(ParamId::OverIndic)), "6.000000");
    EXPECT_EQ(display(fx, at(ParamId::KnobMode)), " Linear ");
    EXPECT_FLOAT_EQ(fx.getParameter(at(ParamId::Speed)), 1.0f);
    EXPECT_FLOAT_EQ(fx.getParameter(at(ParamId::Brickwall)), 1.0f);
}

TEST_P(Both, FineTuneQuantizesAndRescalesTheDecibelRanges)
{
    Ambrel fx(nullptr, v());
    fx.setParameter(at(ParamId::FineTune), 0.2f);
    EXPECT_FLOAT_EQ(fx.getParameter(at(ParamId::FineTune)), 0.3333333f);
    EXPECT_EQ(display(fx, at(ParamId::FineTune)), "25");
    fx.setParameter(at(ParamId::Drive), 1.0f);
    EXPECT_EQ(display(fx, at(ParamId::Drive)), "6.00");
    EXPECT_DOUBLE_EQ(fx.getEngineValue(at(ParamId::Drive)), 6.0);
    fx.setParameter(at(ParamId::Output), 0.0f);
    EXPECT_EQ(display(fx, at(ParamId::Output)), "-6.00"); // sqrt(1/4) of -12 dB
    fx.setParameter(at(ParamId::FineTune), 0.0f);
    EXPECT_EQ(display(fx, at(ParamId::FineTune)), "13"); // 12.5 rounds up
    EXPECT_EQ(display(fx, at(ParamId::Drive)), "3.00");
}

TEST_P(Both, MeterLatencyCompensationSwitchesOffBelowItsThreshold)
{
    Ambrel fx(nullptr, v());
    const int i = at(ParamId::MeterLatency);
    fx.setParameter(i, 0.1f);
    EXPECT_FLOAT_EQ(fx.getParameter(i), 0.125f);
    EXPECT_DOUBLE_EQ(fx.getEngineValue(i), 0.0);
    fx.setParameter(i, 1.0f);
    EXPECT_DOUBLE_EQ(fx.getEngineValue(i), 1000.0);
    fx.setParameter(i, 0.05f);
    EXPECT_FLOAT_EQ(fx.getParameter(i), 0.0f);
    EXPECT_DOUBLE_EQ(fx.getEngineValue(i), -1.0);
    EXPECT_EQ(texts(fx, i).name, "-");
    EXPECT_EQ(texts(fx, i).label, " ms ");
    EXPECT_EQ(texts(fx, i).display, "-");
}

TEST_P(Both, MonoStereoAndLRAreShownTogether)
{
    Ambrel fx(nullptr, v());
    fx.setParameter(at(ParamId::MonoStereo), 1.0f);
    fx.setParameter(at(ParamId::LR), 0.5f);
    EXPECT_EQ(display(fx, at(ParamId::MonoStereo)), " L-R ");
    EXPECT_EQ(display(fx, at(ParamId::LR)), " L ");
    EXPECT_DOUBLE_EQ(fx.getEngineValue(at(ParamId::LR)), 0.5);
    fx.setParameter(at(ParamId::LR), 0.0f);
    fx.setParameter(at(ParamId::MonoStereo), 0.4f);
    EXPECT_EQ(display(fx, at(ParamId::MonoStereo)), " Mono ");
}

TEST_P(Both, StereoSelectorSetsBothValuesAndReadsBackTheirCombination)
{
    Ambrel fx(nullptr, v());
    const int sel = at(ParamId::StereoSelector);
    struct Case {
        float in, monoStereo, lr, readBack;
    };
    for (Case c : {Case{0.1f, 0.0f, 0.0f, 0.0f}, Case{0.3f, 0.0f, 0.5f, 0.333f}, Case{0.6f, 0.0f, 1.0f, 0.667f},
                   Case{0.9f, 1.0f, 0.0f, 1.0f}}) {
        fx.setParameter(sel, c.in);
        EXPECT_FLOAT_EQ(fx.getParameter(at(ParamId::MonoStereo)), c.monoStereo) << c.in;
        EXPECT_FLOAT_EQ(fx.getParameter(at(ParamId::LR)), c.lr) << c.in;
        EXPECT_FLOAT_EQ(fx.getParameter(sel), c.readBack) << c.in;
    }
    EXPECT_EQ(texts(fx, sel).name, "-");
    EXPECT_EQ(texts(fx, sel).label, "-");
    EXPECT_EQ(texts(fx, sel).display, "");
}

TEST_P(Both, OverIndicHoldsWholeCounts)
{
    Ambrel fx(nullptr, v());
    const int i = at(ParamId::OverIndic);
    fx.setParameter(i, 0.2222222f);
    EXPECT_EQ(display(fx, i), "3.000000");
    EXPECT_EQ(texts(fx, i).label, " samples ");
    EXPECT_DOUBLE_EQ(fx.getEngineValue(i), 3.0);
    fx.setParameter(i, 0.3f); // rounds to 3/9
    EXPECT_FLOAT_EQ(fx.getParameter(i), static_cast<float>(3.0 / 9.0));
}

TEST_P(Both, SwitchesAndSteppedParametersDescribeTheirSteps)
{
    Ambrel fx(nullptr, v());
    const ParamId switches[] = {ParamId::Process,    ParamId::Mode, ParamId::MonoStereo, ParamId::Link,
                                ParamId::MeterType,  ParamId::MeterScale, ParamId::Fat,  ParamId::Long,
                                ParamId::Auto,       ParamId::Brickwall};
    for (ParamId id : switches) {
        VstParameterProperties p{};
        ASSERT_TRUE(fx.getParameterProperties(at(id), &p)) << at(id);
        EXPECT_EQ(p.flags, 0x0B);
        EXPECT_EQ(p.minInteger, 0);
        EXPECT_EQ(p.maxInteger, 1);
        EXPECT_EQ(p.stepInteger, 1);
        EXPECT_EQ(p.largeStepInteger, 1);
    }
    VstParameterProperties meters{};
    ASSERT_TRUE(fx.getParameterProperties(at(ParamId::Meters), &meters));
    EXPECT_EQ(meters.flags, 0x0A);
    EXPECT_EQ(meters.maxInteger, 2);
    VstParameterProperties fine{};
    ASSERT_TRUE(fx.getParameterProperties(at(ParamId::FineTune), &fine));
    EXPECT_EQ(fine.flags, 0x0A);
    EXPECT_EQ(fine.maxInteger, 3);

    // Every other index answers 0 and leaves the record alone.
    VstParameterProperties untouched;
    std::memset(&untouched, 0x5A, sizeof(untouched));
    for (int i : {at(ParamId::Drive), at(ParamId::LR), at(ParamId::MeterLatency), 41, 42, 1000, -3}) {
        VstParameterProperties p = untouched;
        EXPECT_FALSE(fx.getParameterProperties(i, &p)) << i;
        EXPECT_EQ(std::memcmp(&p, &untouched, sizeof(p)), 0) << i;
    }
    EXPECT_FALSE(fx.getParameterProperties(at(ParamId::Process), nullptr));
}

TEST_P(Both, IndicesWithoutAParameterAnswerDefaultsAndStoreNothing)
{
    Ambrel fx(nullptr, v());
    for (int i : {-1, 42 + (v().hasFat ? 0 : 100), 56, 58, 64, 66, 1000, INT_MIN, INT_MAX}) {
        if (v().paramAt(i) != ParamId::None)
            continue;
        fx.setParameter(i, 0.7f);
        EXPECT_FLOAT_EQ(fx.getParameter(i), 0.0f) << i;
        Texts t = texts(fx, i);
        EXPECT_EQ(t.name, "-") << i;
        EXPECT_EQ(t.label, "-") << i;
        EXPECT_EQ(t.display, "") << i;
        EXPECT_EQ(fx.getEngineValue(i), 0.0) << i;
    }
}

TEST_P(Both, NoTextOverrunsTheLengthsHostsAreGiven)
{
    // Names up to 12 characters, labels up to 9, displays up to 11, at any value.
    Ambrel fx(nullptr, v());
    for (int i = -2; i < kParamIndexLimit + 2; ++i) {
        for (float value : {0.0f, 0.05f, 0.2f, 0.3333f, 0.5f, 0.6f, 0.77f, 0.999f, 1.0f}) {
            fx.setParameter(i, value);
            for (int which = 0; which < 3; ++which) {
                char buffer[64];
                std::memset(buffer, '#', sizeof(buffer));
                if (which == 0)
                    fx.getParameterName(i, buffer);
                else if (which == 1)
                    fx.getParameterLabel(i, buffer);
                else
                    fx.getParameterDisplay(i, buffer);
                const size_t limit = which == 0 ? 12 : (which == 1 ? 9 : 11);
                const char* terminator = static_cast<const char*>(std::memchr(buffer, 0, sizeof(buffer)));
                ASSERT_NE(terminator, nullptr);
                EXPECT_LE(static_cast<size_t>(terminator - buffer), limit) << i << " " << which << " " << buffer;
                EXPECT_EQ(buffer[limit + 1], '#') << i << " " << which;
            }
        }
    }
}

TEST_P(Both, NonFiniteAndOutOfRangeValuesNeverReachTheStore)
{
    Ambrel fx(nullptr, v());
    const int drive = at(ParamId::Drive);
    fx.setParameter(drive, 0.75f);
    fx.setParameter(drive, std::nanf(""));
    EXPECT_FLOAT_EQ(fx.getParameter(drive), 0.75f);
    fx.setParameter(drive, 7.0f);
    EXPECT_FLOAT_EQ(fx.getParameter(drive), 1.0f);
    fx.setParameter(drive, -std::numeric_limits<float>::infinity());
    EXPECT_FLOAT_EQ(fx.getParameter(drive), 0.0f);
    EXPECT_EQ(display(fx, drive), "-24.00");
}

TEST(ParametersAmbrel2, FatShowsItsStoredValue)
{
    Ambrel fx(nullptr, variants::kAmbrel2);
    EXPECT_EQ(texts(fx, 26).name, " FAT ");
    fx.setParameter(26, 1.0f);
    EXPECT_EQ(display(fx, 26), " FAT ");
    EXPECT_FLOAT_EQ(fx.getParameter(26), 1.0f);
    EXPECT_EQ(texts(fx, 31).name, "-");
    EXPECT_EQ(texts(fx, 23).name, "-");
    EXPECT_EQ(display(fx, 15), "0.00");
    fx.setParameter(15, 1.0f);
    EXPECT_EQ(display(fx, 15), "12.00");
    EXPECT_DOUBLE_EQ(fx.getEngineValue(15), 4.0);
    fx.setParameter(18, 1.0f);
    EXPECT_EQ(display(fx, 18), "16.00");
}

TEST(ParametersAmbrel, RenumberedTableAndNoFat)
{
    Ambrel fx(nullptr, variants::kAmbrel);
    EXPECT_EQ(fx.getAeffect()->numParams, 48);
    EXPECT_EQ(texts(fx, 26).name, "-");
    EXPECT_EQ(texts(fx, 26).label, "-");
    EXPECT_EQ(texts(fx, 32).name, " Long ");
    EXPECT_EQ(texts(fx, 28).name, " FineTune ");
    EXPECT_EQ(texts(fx, 34).name, " Brickwall ");
    EXPECT_EQ(texts(fx, 35).name, " MeterScale ");
    EXPECT_EQ(texts(fx, 36).name, " L R ");
    EXPECT_EQ(texts(fx, 49).name, " VU Integr ");
    EXPECT_EQ(texts(fx, 54).name, " Knob Mode ");
    // The FAT position exists but holds nothing.
    Texts fat = texts(fx, 31);
    EXPECT_EQ(fat.name, "-");
    EXPECT_EQ(fat.label, "");
    EXPECT_EQ(fat.display, "-");
    fx.setParameter(31, 1.0f);
    EXPECT_FLOAT_EQ(fx.getParameter(31), 0.0f);
    // ... and neither do the programs, where it is global.
    EXPECT_FLOAT_EQ(fx.programs()[0].getParameter(31), 0.0f);
    EXPECT_FLOAT_EQ(fx.programs()[17].getParameter(31), 0.0f);
    // Narrower band ranges.
    fx.setParameter(15, 1.0f);
    EXPECT_EQ(display(fx, 15), "6.00");
    EXPECT_DOUBLE_EQ(fx.getEngineValue(15), 2.0);
    fx.setParameter(18, 1.0f);
    EXPECT_EQ(display(fx, 18), "4.00");
    fx.setParameter(18, 0.0f);
    EXPECT_EQ(display(fx, 18), "0.25");
}
