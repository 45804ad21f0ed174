// Construction, suspend and resume, sample-rate changes and destruction of
// the effect, as a host sees them.
#include "ProcessingRig.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Call {
    VstInt32 opcode, index;
    float opt;
};
std::vector<Call> g_calls;

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
{
    g_calls.push_back({opcode, index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

TEST(Lifecycle, ConstructionTellsTheHostOfFatOnlyWhereItExists)
{
    for (const Variant* v : {&variants::kAmbrel2, &variants::kAmbrel}) {
        g_calls.clear();
        Ambrel fx(recordingHost, *v);
        ASSERT_FALSE(g_calls.empty());
        // Before the working program is applied, the only message is FAT off.
        std::vector<Call> before;
        for (const Call& c : g_calls) {
            if (c.opcode == audioMasterBeginEdit)
                break;
            if (c.opcode == audioMasterAutomate)
                before.push_back(c);
        }
        if (v->hasFat) {
            ASSERT_EQ(before.size(), 1u);
            EXPECT_EQ(before[0].index, 26);
            EXPECT_EQ(before[0].opt, 0.0f);
        } else {
            EXPECT_TRUE(before.empty());
        }
        // The working program ends with one display update.
        int updates = 0;
        for (const Call& c : g_calls)
            updates += c.opcode == audioMasterUpdateDisplay;
        EXPECT_EQ(updates, 1);
        EXPECT_TRUE(fx.isSuspended());
    }
}

TEST(Lifecycle, ProcessingStraightAfterConstructionSoundsAsAfterAResume)
{
    // Construction leaves the engine fully reset, so a host that processes
    // before its first resume hears exactly what a resumed effect gives.
    const Stereo in = programSignal(6000, 0.9);
    for (const Variant* v : {&variants::kAmbrel2, &variants::kAmbrel}) {
        Ambrel fresh(nullptr, *v);
        Ambrel resumed(nullptr, *v);
        resumed.resume();
        std::vector<Stereo> out;
        for (Ambrel* fx : {&fresh, &resumed}) {
            fx->setEditorOpen(true);
            Stereo o(in.size());
            double* ins[2] = {const_cast<double*>(in.l.data()), const_cast<double*>(in.r.data())};
            double* outs[2] = {o.l.data(), o.r.data()};
            fx->processDoubleReplacing(ins, outs, static_cast<VstInt32>(in.size()));
            out.push_back(o);
        }
        EXPECT_EQ(out[0].l, out[1].l) << v->effectName;
        EXPECT_EQ(out[0].r, out[1].r) << v->effectName;
        EXPECT_EQ(fresh.getMeterValue(0), resumed.getMeterValue(0)) << v->effectName;
    }
}

TEST(Lifecycle, ResumeWithoutSuspendRunsAFullSuspendFirst)
{
    ProcessingRig rig;
    Ambrel& fx = rig.fx();
    fx.setEditorOpen(true);
    rig.run(programSignal(8192, 0.9));
    ASSERT_GT(fx.getMeterValue(0), 0.0f);
    // A second resume must clear the meters as a suspend does.
    fx.resume();
    EXPECT_EQ(fx.getMeterValue(0), 0.0f);
    EXPECT_EQ(fx.getMeterValue(1), 0.0f);
    EXPECT_FALSE(fx.isSuspended());
}

TEST(Lifecycle, SampleRatesOutsideTheRangeAreClampedOrReplaced)
{
    Ambrel fx(nullptr, variants::kAmbrel2);
    fx.setSampleRate(8000.0f); // suspend clamps, resume keeps the clamped rate
    EXPECT_FLOAT_EQ(fx.getSampleRate(), 22050.0f);
    EXPECT_EQ(fx.getAeffect()->initialDelay, 639);
    fx.setSampleRate(384000.0f);
    EXPECT_FLOAT_EQ(fx.getSampleRate(), 192000.0f);
    EXPECT_EQ(fx.getAeffect()->initialDelay, 2175);
    EXPECT_NEAR(fx.getLatencyMs(), 2175 * 1000.0 / 192000.0, 1e-9);
    EXPECT_EQ(fx.getDelayRingSize(), 2048);
    EXPECT_EQ(fx.getDetectorRingSize(), 1024);
    fx.setSampleRate(96000.0f);
    EXPECT_EQ(fx.getAeffect()->initialDelay, 1151);
    EXPECT_EQ(fx.getLatencySamples(), 1151);
}

TEST(Lifecycle, FatStaysOffAboveOneHundredKilohertz)
{
    Ambrel fx(nullptr, variants::kAmbrel2);
    fx.setParameter(26, 1.0f);
    fx.setSampleRate(176400.0f);
    fx.resume();
    EXPECT_EQ(fx.getEngineValue(26), 0.0);
    char text[16];
    fx.getParameterDisplay(26, text);
    EXPECT_STREQ(text, " FAT ");
    fx.setSampleRate(44100.0f);
    EXPECT_EQ(fx.getEngineValue(26), 1.0);
    EXPECT_EQ(fx.getAeffect()->initialDelay, 639); // latency never depends on FAT
}

TEST(Lifecycle, EditorSettingsOutliveTheInstance)
{
    for (const Variant* v : {&variants::kAmbrel2, &variants::kAmbrel}) {
        const int vu = v->index(ParamId::VuIntegr);
        const int knob = v->index(ParamId::KnobMode);
        const int over = v->index(ParamId::OverIndic);
        {
            Ambrel fx(nullptr, *v);
            // A fresh machine starts from the middle of every range.
            EXPECT_FLOAT_EQ(fx.getParameter(vu), 0.5f);
            EXPECT_DOUBLE_EQ(fx.getEngineValue(over), 6.0);
            fx.setParameter(vu, 0.25f);
            fx.setParameter(knob, 0.0f);
            fx.setParameter(over, 1.0f);
        }
        Ambrel next(nullptr, *v);
        EXPECT_FLOAT_EQ(next.getParameter(vu), 0.25f);
        EXPECT_FLOAT_EQ(next.getParameter(knob), 0.0f);
        EXPECT_DOUBLE_EQ(next.getEngineValue(over), 10.0);
        // The over threshold follows the stored count from the start.
        EXPECT_DOUBLE_EQ(next.engine().controls().overThreshold.load(), 10.0);
        next.setParameter(vu, 0.5f);
        next.setParameter(knob, 0.5f);
        next.setParameter(over, 0.5f);
    }
}
