// Both plug-ins loaded through their entry point as a host loads them: the
// effect record and the dispatcher's answers, for each build.
#include "IntegrationSupport.h"

#include "tools/ambrel/Info.h"

#include <algorithm>
#include <cstring>

using namespace ambrel;
using namespace ambrel::testing;

namespace {

class EffectRecordTest : public ::testing::TestWithParam<const BuildExpectation*> {
protected:
    void SetUp() override
    {
        host = loadOrFail(GetParam()->pluginPath);
        ASSERT_TRUE(host);
    }

    const BuildExpectation& build() const { return *GetParam(); }

    VstInt32 latencyAt(float rate)
    {
        host->suspend();
        host->setSampleRate(rate);
        host->resume();
        return host->effect()->initialDelay;
    }

    std::unique_ptr<PluginHost> host;
};

TEST_P(EffectRecordTest, RecordHoldsTheBuildsValues)
{
    host->setSampleRate(44100.0f);
    host->resume();
    const AEffect* e = host->effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(fourCharText(e->uniqueID), build().uniqueId);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numParams, build().numParams);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    // An editor, and replacing in both precisions.
    EXPECT_EQ(e->flags, 0x1011);
    EXPECT_EQ(e->initialDelay, build().latency44k);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
}

TEST_P(EffectRecordTest, LatencyFollowsTheSampleRateBandOnEveryResume)
{
    EXPECT_EQ(latencyAt(44100.0f), build().latency44k);
    EXPECT_EQ(latencyAt(48000.0f), build().latency44k);
    EXPECT_EQ(latencyAt(49999.0f), build().latency44k);
    EXPECT_EQ(latencyAt(50000.0f), build().latency96k);
    EXPECT_EQ(latencyAt(88200.0f), build().latency96k);
    EXPECT_EQ(latencyAt(96000.0f), build().latency96k);
    EXPECT_EQ(latencyAt(99999.0f), build().latency96k);
    EXPECT_EQ(latencyAt(100000.0f), build().latency192k);
    EXPECT_EQ(latencyAt(192000.0f), build().latency192k);
    // Back down: the report follows the new rate, not the highest seen.
    EXPECT_EQ(latencyAt(44100.0f), build().latency44k);
    // Rates outside 22050..192000 Hz are clamped into the range.
    EXPECT_EQ(latencyAt(8000.0f), build().latency44k);
    EXPECT_EQ(latencyAt(500000.0f), build().latency192k);
}

TEST_P(EffectRecordTest, IdentityAnswers)
{
    const TextAnswer name = host->readText(effGetEffectName);
    EXPECT_EQ(name.answer, 1);
    EXPECT_EQ(name.text, build().effectName);
    const TextAnswer product = host->readText(effGetProductString);
    EXPECT_EQ(product.answer, 1);
    EXPECT_EQ(product.text, build().productString);
    const TextAnswer vendor = host->readText(effGetVendorString);
    EXPECT_EQ(vendor.answer, 1);
    EXPECT_EQ(vendor.text, "Nurwerk");
    // No buffer, no answer.
    EXPECT_EQ(host->dispatch(effGetEffectName, 0, 0, nullptr), 0);
    EXPECT_EQ(host->dispatch(effGetParamName, 4, 0, nullptr), 0);
    EXPECT_EQ(host->dispatch(effGetParamDisplay, 4, 0, nullptr), 0);
    EXPECT_EQ(host->dispatch(effGetInputProperties, 0, 0, nullptr), 0);

    EXPECT_EQ(host->dispatch(effGetVendorVersion), 2310);
    EXPECT_EQ(host->dispatch(effGetPlugCategory), kPlugCategMastering);
    EXPECT_EQ(host->dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(host->dispatch(effIdentify), fourCharCode('N', 'v', 'E', 'f'));
    EXPECT_EQ(host->dispatch(effGetTailSize), 0);
}

TEST_P(EffectRecordTest, DeclaresNoCapabilities)
{
    for (const char* what : {"receiveVstTimeInfo", "bypass", "offline", "sendVstEvents", "receiveVstEvents",
                             "receiveVstMidiEvent", "midiProgramNames", "2in2out", "plugAsChannelInsert", ""}) {
        std::string text = what;
        EXPECT_EQ(host->dispatch(effCanDo, 0, 0, text.data()), 0) << what;
    }
}

TEST_P(EffectRecordTest, UnsupportedRequestsAnswerZero)
{
    void* chunk = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(host->dispatch(effGetChunk, 0, 0, &chunk), 0);
    EXPECT_EQ(host->dispatch(effGetChunk, 1, 0, &chunk), 0);
    char data[16] = {};
    EXPECT_EQ(host->dispatch(effSetChunk, 0, sizeof(data), data), 0);
    EXPECT_EQ(host->dispatch(effProcessEvents), 0);
    EXPECT_EQ(host->dispatch(effString2Parameter, 4, 0, nullptr), 0);
    EXPECT_EQ(host->dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(host->dispatch(effEditGetRect), 0);
    EXPECT_EQ(host->dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host->dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(host->dispatch(effSetTotalSampleToProcess, 0, 4096), 4096);
    for (const VstInt32 opcode : std::initializer_list<VstInt32>{effSetPanLaw, effSetProcessPrecision, effSetSpeakerArrangement, effBeginSetProgram, effEndSetProgram,
          effBeginLoadBank, effBeginLoadProgram, effStartProcess, effStopProcess, effGetNumMidiOutputChannels,
          effShellGetNextPlugin, effOfflineNotify, effProcessVarIo, effGetVu, effEditDraw, effKeysRequired, 80,
          1000, 9999, -1})
        EXPECT_EQ(host->dispatch(opcode), 0) << opcode;

    static int sentinel = 0;
    void* in = &sentinel;
    void* out = &sentinel;
    EXPECT_EQ(host->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);

    for (VstInt32 i : {-1, 0, 5, build().numParams - 1, build().numParams + 10})
        EXPECT_EQ(host->dispatch(effCanBeAutomated, i), 1) << i;
}

TEST_P(EffectRecordTest, PinProperties)
{
    for (const VstInt32 opcode : {effGetInputProperties, effGetOutputProperties}) {
        const std::string dir = opcode == effGetInputProperties ? "In" : "Out";
        VstPinProperties pin;
        std::memset(&pin, 0, sizeof(pin));
        ASSERT_EQ(host->dispatch(opcode, 0, 0, &pin), 1);
        EXPECT_STREQ(pin.label, ("My 1 " + dir).c_str());
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
        std::memset(&pin, 0, sizeof(pin));
        ASSERT_EQ(host->dispatch(opcode, 1, 0, &pin), 1);
        EXPECT_STREQ(pin.label, ("My 2 " + dir).c_str());
        EXPECT_EQ(pin.flags, kVstPinIsActive);

        // Beyond the two pins: answer 0 and leave the record alone.
        for (const VstInt32 index : {2, 3, -1}) {
            VstPinProperties guard;
            std::memset(&guard, 0x5A, sizeof(guard));
            VstPinProperties untouched = guard;
            EXPECT_EQ(host->dispatch(opcode, index, 0, &guard), 0) << dir << " " << index;
            EXPECT_EQ(std::memcmp(&guard, &untouched, sizeof(guard)), 0) << dir << " " << index;
        }
    }
}

TEST_P(EffectRecordTest, ProgramRequests)
{
    EXPECT_EQ(host->dispatch(effGetProgram), 0);
    host->dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(host->dispatch(effGetProgram), 0);

    char name[] = "Live Bus";
    host->dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(host->readText(effGetProgramName).text, "Live Bus");
    const TextAnswer indexed = host->readText(effGetProgramNameIndexed, 0);
    EXPECT_EQ(indexed.answer, 1);
    EXPECT_EQ(indexed.text, "Live Bus");
    const TextAnswer beyond = host->readText(effGetProgramNameIndexed, 1);
    EXPECT_EQ(beyond.answer, 0);
    EXPECT_EQ(beyond.bytesWritten, 0u);

    // A name longer than a program name holds is cut, never written past 24
    // characters and the terminator.
    char longName[] = "A program name far longer than twenty-four characters";
    host->dispatch(effSetProgramName, 0, 0, longName);
    const TextAnswer cut = host->readText(effGetProgramName);
    EXPECT_EQ(cut.text, std::string(longName, 24));
    EXPECT_LE(cut.bytesWritten, 25u);
}

// Every text stays within the lengths the effect promises, whatever the
// parameter values: names 12 characters, labels 9, displays 11.
TEST_P(EffectRecordTest, TextsStayWithinTheirLengths)
{
    for (const float rate : {44100.0f, 192000.0f}) {
        host->setSampleRate(rate);
        host->resume();
        for (const float value : {0.0f, 0.001f, 0.2f, 0.25f, 0.5f, 0.7f, 0.9999f, 1.0f}) {
            for (VstInt32 i = -2; i < build().numParams + 30; ++i) {
                host->setParameter(i, value);
                const TextAnswer name = host->readText(effGetParamName, i);
                const TextAnswer label = host->readText(effGetParamLabel, i);
                const TextAnswer display = host->readText(effGetParamDisplay, i);
                EXPECT_LE(name.bytesWritten, 13u) << "name " << i << " at " << value << ": '" << name.text << "'";
                EXPECT_LE(label.bytesWritten, 10u) << "label " << i << ": '" << label.text << "'";
                EXPECT_LE(display.bytesWritten, 12u)
                    << "display " << i << " at " << value << ": '" << display.text << "'";
                EXPECT_TRUE(name.terminated && label.terminated && display.terminated) << i;
            }
        }
        host->suspend();
    }
    EXPECT_LE(host->readText(effGetEffectName).bytesWritten, 33u);
    EXPECT_LE(host->readText(effGetProductString).bytesWritten, 65u);
    EXPECT_LE(host->readText(effGetVendorString).bytesWritten, 65u);
}

TEST_P(EffectRecordTest, OutOfRangeIndicesGiveTheDefaults)
{
    host->setParameter(4, 0.75f);
    for (const VstInt32 i : {-1, build().numParams, 1000, -100000}) {
        host->setParameter(i, 0.5f);
        EXPECT_EQ(host->getParameter(i), 0.0f) << i;
        EXPECT_EQ(host->parameterName(i), "-") << i;
        const std::string label = host->parameterLabel(i);
        EXPECT_TRUE(label == "-" || label.empty()) << i << ": '" << label << "'";
        EXPECT_EQ(host->parameterDisplay(i), "") << i;
        VstParameterProperties props;
        std::memset(&props, 0x5A, sizeof(props));
        EXPECT_EQ(host->dispatch(effGetParameterProperties, i, 0, &props), 0) << i;
    }
    EXPECT_EQ(host->getParameter(4), 0.75f);
}

TEST_P(EffectRecordTest, ParameterPropertiesOfSwitchesAndSteppedParameters)
{
    for (VstInt32 i = 0; i < build().numParams; ++i) {
        VstParameterProperties props;
        std::memset(&props, 0, sizeof(props));
        const VstIntPtr answer = host->dispatch(effGetParameterProperties, i, 0, &props);
        const bool isSwitch =
            std::find(build().switches.begin(), build().switches.end(), i) != build().switches.end();
        if (isSwitch) {
            EXPECT_EQ(answer, 1) << i;
            EXPECT_EQ(props.flags, 0x0B) << i;
            EXPECT_EQ(props.minInteger, 0) << i;
            EXPECT_EQ(props.maxInteger, 1) << i;
            EXPECT_EQ(props.stepInteger, 1) << i;
            EXPECT_EQ(props.largeStepInteger, 1) << i;
        } else if (i == 21 || i == build().fineTuneIndex) {
            EXPECT_EQ(answer, 1) << i;
            EXPECT_EQ(props.flags, 0x0A) << i;
            EXPECT_EQ(props.minInteger, 0) << i;
            EXPECT_EQ(props.maxInteger, i == 21 ? 2 : 3) << i;
            EXPECT_EQ(props.stepInteger, 1) << i;
        } else {
            EXPECT_EQ(answer, 0) << i;
        }
    }
}

// A few displays that depend on more than one parameter or on the build.
TEST_P(EffectRecordTest, DisplaysThroughTheRecord)
{
    const bool fat = build().numParams == 42;
    host->setParameter(build().fineTuneIndex, 1.0f);
    host->setParameter(4, 0.5f);
    EXPECT_EQ(host->parameterDisplay(4), "0.00");
    host->setParameter(build().fineTuneIndex, 0.2f); // four steps: 1/3, a quarter of the range
    EXPECT_NEAR(host->getParameter(build().fineTuneIndex), 1.0f / 3.0f, 1e-6);
    host->setParameter(4, 1.0f);
    EXPECT_EQ(host->parameterDisplay(4), "6.00");
    EXPECT_EQ(host->parameterDisplay(build().fineTuneIndex), "25");

    host->setParameter(10, 1.0f);
    EXPECT_EQ(host->parameterDisplay(10), "16000");
    host->setParameter(15, 1.0f);
    EXPECT_EQ(host->parameterDisplay(15), fat ? "12.00" : "6.00");
    host->setParameter(18, 1.0f);
    EXPECT_EQ(host->parameterDisplay(18), fat ? "16.00" : "4.00");

    const VstInt32 lr = fat ? 30 : 36;
    host->setParameter(2, 1.0f);
    host->setParameter(lr, 0.0f);
    EXPECT_EQ(host->parameterDisplay(2), " Stereo ");
    host->setParameter(lr, 0.5f);
    EXPECT_EQ(host->parameterDisplay(2), " L-R ");
    EXPECT_EQ(host->parameterDisplay(lr), " L ");
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, EffectRecordTest, ::testing::Values(&kAmbrel2, &kAmbrel1), parameterTestName);

TEST(EffectRecordNumbering, NurAmbrel2)
{
    auto host = loadOrFail(kAmbrel2.pluginPath);
    ASSERT_TRUE(host);
    EXPECT_EQ(host->parameterName(0), " Process ");
    EXPECT_EQ(host->parameterName(4), " Drive ");
    EXPECT_EQ(host->parameterLabel(4), " dB ");
    EXPECT_EQ(host->parameterName(23), "-");
    EXPECT_EQ(host->parameterLabel(23), " ms ");
    EXPECT_EQ(host->parameterName(26), " FAT ");
    EXPECT_EQ(host->parameterLabel(26), "");
    EXPECT_EQ(host->parameterName(30), " L R ");
    EXPECT_EQ(host->parameterName(31), "-");
    EXPECT_EQ(host->parameterLabel(31), "-");
    EXPECT_EQ(host->parameterDisplay(31), "");

    // FAT above 100 kHz: shown as set, though the engine runs without it.
    host->setSampleRate(192000.0f);
    host->resume();
    host->setParameter(26, 1.0f);
    EXPECT_EQ(host->getParameter(26), 1.0f);
    EXPECT_EQ(host->parameterDisplay(26), " FAT ");
}

TEST(EffectRecordNumbering, NurAmbrel)
{
    auto host = loadOrFail(kAmbrel1.pluginPath);
    ASSERT_TRUE(host);
    EXPECT_EQ(host->parameterName(4), " Drive ");
    for (const VstInt32 i : {23, 24, 25, 26, 29, 30, 37, 47}) {
        EXPECT_EQ(host->parameterName(i), "-") << i;
        EXPECT_EQ(host->parameterLabel(i), "-") << i;
        EXPECT_EQ(host->parameterDisplay(i), "") << i;
    }
    EXPECT_EQ(host->parameterName(27), "-");
    EXPECT_EQ(host->parameterLabel(27), " ms ");
    EXPECT_EQ(host->parameterDisplay(27), "-");
    EXPECT_EQ(host->parameterName(28), " FineTune ");
    EXPECT_EQ(host->parameterName(31), "-");
    EXPECT_EQ(host->parameterLabel(31), "");
    EXPECT_EQ(host->parameterDisplay(31), "-");
    EXPECT_EQ(host->parameterName(32), " Long ");
    EXPECT_EQ(host->parameterName(33), " Auto ");
    EXPECT_EQ(host->parameterName(34), " Brickwall ");
    EXPECT_EQ(host->parameterName(35), " MeterScale ");
    EXPECT_EQ(host->parameterName(36), " L R ");

    // No FAT in this build: its position stays at 0 whatever the host sets.
    host->setParameter(31, 1.0f);
    EXPECT_EQ(host->getParameter(31), 0.0f);
}

} // namespace
