// What a host sees of an effect made in process, without an editor: the
// callbacks during construction, the answers without an editor, the
// processing entry points with missing pins and buffers, and the host
// callback wrappers. The record's fields and the dispatcher's answers are
// checked through the built plug-ins (tests/integration/EffectRecordTest.cpp).
#include "effect/Ambrel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct HostCall {
    VstInt32 opcode, index;
    VstIntPtr value;
    float opt;
};

std::vector<HostCall> g_calls;
VstIntPtr g_pinAnswer = 0;

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float opt)
{
    g_calls.push_back({opcode, index, value, opt});
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterPinConnected)
        return g_pinAnswer;
    return 0;
}

class Record : public ::testing::TestWithParam<const Variant*> {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_pinAnswer = 0;
        effect = (new Ambrel(recordingHost, *GetParam()))->getAeffect();
    }
    void TearDown() override
    {
        if (effect) {
            EXPECT_EQ(call(effClose), 1);
        }
    }
    VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0)
    {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    const Variant& v() const { return *GetParam(); }

    AEffect* effect = nullptr;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Record, ::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),
                         [](const auto& info) { return info.param->hasFat ? "Ambrel2" : "Ambrel"; });

TEST_P(Record, WithoutAnEditorTheEditorRequestsAnswerZero)
{
    EXPECT_EQ(effect->flags, 0x1010); // replacing and double replacing, no editor
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(call(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(call(effEditOpen), 0);
    EXPECT_EQ(call(effEditIdle), 0);
    EXPECT_EQ(call(effEditKeyDown, 'a', 0), 0);
    EXPECT_EQ(call(effSetEditKnobMode, 0, 2), 0);
}

TEST_P(Record, StartsSuspendedAndHostHearsOfEveryParameter)
{
    auto* fx = static_cast<Ambrel*>(AudioEffect::fromAeffect(effect));
    EXPECT_TRUE(fx->isSuspended());
    call(effMainsChanged, 0, 1);
    EXPECT_FALSE(fx->isSuspended());
    // Construction applies the working program through the host: per
    // parameter a begin-edit, two automations and an end-edit.
    int begins = 0, automates = 0, ends = 0;
    for (const HostCall& c : g_calls) {
        begins += c.opcode == audioMasterBeginEdit;
        automates += c.opcode == audioMasterAutomate;
        ends += c.opcode == audioMasterEndEdit;
    }
    EXPECT_EQ(begins, v().numParams);
    EXPECT_EQ(ends, v().numParams);
    EXPECT_EQ(automates, 2 * v().numParams + (v().hasFat ? 1 : 0));
}

TEST_P(Record, ProcessingHonoursUnconnectedPins)
{
    EXPECT_EQ(call(effSetBlockSize, 0, 4096), 0);
    EXPECT_EQ(AudioEffect::fromAeffect(effect)->getBlockSize(), 4096);
    call(effMainsChanged, 0, 1);
    float inL[100], inR[100], outL[100], outR[100];
    for (int i = 0; i < 100; ++i) {
        inL[i] = 0.25f;
        inR[i] = -0.25f;
        outL[i] = outR[i] = 9.0f;
    }
    float* ins[2] = {inL, inR};
    float* outs[2] = {outL, outR};
    effect->processReplacing(effect, ins, outs, 100);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(std::isfinite(outL[i]));
        ASSERT_TRUE(std::isfinite(outR[i]));
    }
    // Null buffers and odd frame counts are survived.
    effect->processReplacing(effect, nullptr, outs, 64);
    float* nullIns[2] = {nullptr, nullptr};
    effect->processReplacing(effect, nullIns, outs, 64);
    effect->processReplacing(effect, ins, outs, 0);
    effect->processReplacing(effect, ins, outs, -5);
    double dl[3] = {}, dr[3] = {};
    double* dins[2] = {dl, dr};
    effect->processDoubleReplacing(effect, dins, dins, 3);
}

TEST(Wrappers, WithoutAHostEveryCallbackAnswersZero)
{
    Ambrel fx(nullptr, variants::kAmbrel2);
    EXPECT_TRUE(fx.isInputConnected(1)); // no answer means connected
    EXPECT_TRUE(fx.isOutputConnected(1));
    EXPECT_FALSE(fx.beginEdit(3));
    EXPECT_FALSE(fx.endEdit(3));
    EXPECT_FALSE(fx.updateDisplay());
    EXPECT_FALSE(fx.canHostDo("sizeWindow"));
    EXPECT_FALSE(fx.sizeWindow(450, 460));
    EXPECT_EQ(fx.getMasterVersion(), 0);
    fx.setParameterAutomated(4, 0.25f);
    EXPECT_FLOAT_EQ(fx.getParameter(4), 0.25f);
}

TEST(Wrappers, AutomationFollowsTheChange)
{
    g_calls.clear();
    Ambrel fx(recordingHost, variants::kAmbrel2);
    g_calls.clear();
    fx.setParameterAutomated(4, 0.75f);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(g_calls[0].index, 4);
    EXPECT_FLOAT_EQ(g_calls[0].opt, 0.75f);
    g_pinAnswer = 1;
    EXPECT_FALSE(fx.isInputConnected(1));
    g_pinAnswer = 0;
}
