// The effect record and the dispatcher answers, driven through the record's
// function pointers as a host does.
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
    std::string text(VstInt32 opcode, VstInt32 index = 0)
    {
        char buffer[256];
        std::memset(buffer, 0, sizeof(buffer));
        call(opcode, index, 0, buffer);
        return buffer;
    }
    const Variant& v() const { return *GetParam(); }

    AEffect* effect = nullptr;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Record, ::testing::Values(&variants::kAmbrel2, &variants::kAmbrel),
                         [](const auto& info) { return info.param->hasFat ? "Ambrel2" : "Ambrel"; });

TEST_P(Record, FieldsDescribeTheEffect)
{
    EXPECT_EQ(effect->magic, fourCharCode('V', 's', 't', 'P'));
    EXPECT_EQ(effect->numPrograms, 1);
    EXPECT_EQ(effect->numParams, v().numParams);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, 0x1010); // replacing and double replacing; made without an editor
    EXPECT_EQ(effect->initialDelay, v().hasFat ? 639 : 127);
    EXPECT_EQ(effect->uniqueID, v().hasFat ? 0x4E524142 : 0x4E724142);
    EXPECT_EQ(effect->version, 1);
    EXPECT_FLOAT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->realQualities, 0);
    EXPECT_EQ(effect->offQualities, 0);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->processDoubleReplacing, nullptr);
    EXPECT_NE(effect->process, nullptr);
}

TEST_P(Record, IdentityAnswers)
{
    EXPECT_EQ(text(effGetEffectName), v().effectName);
    EXPECT_EQ(call(effGetEffectName, 0, 0, nullptr), 0); // no buffer, no answer
    EXPECT_EQ(text(effGetProductString), std::string(v().effectName) + " - analog saturation & compression emulator");
    EXPECT_EQ(text(effGetVendorString), "Nurwerk");
    char buffer[80];
    EXPECT_EQ(call(effGetProductString, 0, 0, buffer), 1);
    EXPECT_EQ(call(effGetVendorVersion), 2310);
    EXPECT_EQ(call(effGetPlugCategory), kPlugCategMastering);
    EXPECT_EQ(call(effGetVstVersion), 2400);
    EXPECT_EQ(call(effIdentify), 0x4E764566);
    EXPECT_EQ(call(effGetTailSize), 0);
}

TEST_P(Record, UnsupportedRequestsAnswerZero)
{
    for (const char* what : {"receiveVstTimeInfo", "bypass", "plugAsChannelInsert", ""}) {
        std::string s = what;
        EXPECT_EQ(call(effCanDo, 0, 0, s.data()), 0) << what;
    }
    void* chunk = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(call(effGetChunk, 0, 0, &chunk), 0);
    char junk[16] = {};
    EXPECT_EQ(call(effSetChunk, 0, sizeof(junk), junk), 0);
    for (VstInt32 op : std::initializer_list<VstInt32>{effProcessEvents, effString2Parameter, effSetBypass, effSetPanLaw, effSetProcessPrecision,
                        effSetSpeakerArrangement, effBeginSetProgram, effEndSetProgram, effBeginLoadBank,
                        effBeginLoadProgram, effStartProcess, effStopProcess, effGetNumMidiInputChannels,
                        effGetNumMidiOutputChannels, effShellGetNextPlugin, effOfflineNotify, effProcessVarIo,
                        effGetVu, effEditDraw, effKeysRequired, 80, 1000, -1})
        EXPECT_EQ(call(op), 0) << op;
    EXPECT_EQ(call(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(call(effSetTotalSampleToProcess, 0, 12345), 12345);
    EXPECT_EQ(call(effCanBeAutomated, 4), 1);
    EXPECT_EQ(call(effCanBeAutomated, 999), 1);
    // No editor yet: the editor requests answer 0.
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(call(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(call(effEditOpen), 0);
    EXPECT_EQ(call(effEditIdle), 0);
    EXPECT_EQ(call(effEditKeyDown, 'a', 0), 0);
    EXPECT_EQ(call(effSetEditKnobMode, 0, 2), 0);
}

TEST_P(Record, SpeakerArrangementPointersAreCleared)
{
    void* in = reinterpret_cast<void*>(0x10);
    void* out = reinterpret_cast<void*>(0x20);
    EXPECT_EQ(call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

TEST_P(Record, PinProperties)
{
    VstPinProperties pin;
    std::memset(&pin, 0, sizeof(pin));
    EXPECT_EQ(call(effGetInputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "My 1 In");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_EQ(call(effGetInputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "My 2 In");
    EXPECT_EQ(pin.flags, 1);
    EXPECT_EQ(call(effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "My 1 Out");
    EXPECT_EQ(pin.flags, 3);

    VstPinProperties untouched;
    std::memset(&untouched, 0x33, sizeof(untouched));
    pin = untouched;
    EXPECT_EQ(call(effGetInputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(call(effGetOutputProperties, -1, 0, &pin), 0);
    EXPECT_EQ(std::memcmp(&pin, &untouched, sizeof(pin)), 0);
    EXPECT_EQ(call(effGetInputProperties, 0, 0, nullptr), 0);
}

TEST_P(Record, ProgramRequests)
{
    EXPECT_EQ(text(effGetProgramName), "Current");
    char name[64] = {};
    EXPECT_EQ(call(effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_STREQ(name, "Current");
    EXPECT_EQ(call(effGetProgramNameIndexed, 1, 0, name), 0);
    EXPECT_EQ(call(effSetProgram, 0, 5), 0);
    EXPECT_EQ(call(effGetProgram), 0);
    char longName[] = "A name much longer than twenty-four";
    call(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(text(effGetProgramName), "A name much longer than ");
}

TEST_P(Record, ParameterRequestsGoThroughTheRecord)
{
    const int drive = v().index(ParamId::Drive);
    effect->setParameter(effect, drive, 1.0f);
    EXPECT_FLOAT_EQ(effect->getParameter(effect, drive), 1.0f);
    EXPECT_EQ(text(effGetParamName, drive), " Drive ");
    EXPECT_EQ(text(effGetParamLabel, drive), " dB ");
    EXPECT_EQ(text(effGetParamDisplay, drive), "24.00");
    VstParameterProperties props{};
    EXPECT_EQ(call(effGetParameterProperties, 0, 0, &props), 1);
    EXPECT_EQ(call(effGetParameterProperties, drive, 0, &props), 0);
    // Null text buffers are ignored rather than written through.
    EXPECT_EQ(call(effGetParamName, drive, 0, nullptr), 0);
    EXPECT_EQ(call(effGetParamDisplay, drive, 0, nullptr), 0);
}

TEST_P(Record, SampleRateBandsSetTheLatency)
{
    struct Band {
        float rate;
        VstInt32 latency2, latency1;
    };
    for (Band b : {Band{44100.0f, 639, 127}, Band{48000.0f, 639, 127}, Band{96000.0f, 1151, 255},
                   Band{192000.0f, 2175, 511}, Band{8000.0f, 639, 127}, Band{500000.0f, 2175, 511}}) {
        call(effSetSampleRate, 0, 0, nullptr, b.rate);
        call(effMainsChanged, 0, 1);
        EXPECT_EQ(effect->initialDelay, v().hasFat ? b.latency2 : b.latency1) << b.rate;
        call(effMainsChanged, 0, 0);
    }
    // A rate below the supported range is clamped and then kept.
    call(effSetSampleRate, 0, 0, nullptr, 8000.0f);
    EXPECT_FLOAT_EQ(static_cast<Ambrel*>(AudioEffect::fromAeffect(effect))->getSampleRate(), 22050.0f);
    EXPECT_EQ(call(effSetBlockSize, 0, 4096), 0);
    EXPECT_EQ(AudioEffect::fromAeffect(effect)->getBlockSize(), 4096);
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
