// Automation from a second thread while the audio thread processes. Run
// under ThreadSanitizer (configure with -DAMBREL_SANITIZE=thread) it must
// report no data race; in any build the output must stay finite.
#include "tests/effect/ProcessingRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace
{

TEST(ConcurrencyTest, AutomationThreadAgainstAudioThread)
{
    for (const Variant* v : {&variants::kAmbrel2, &variants::kAmbrel}) {
        ProcessingRig rig(*v);
        rig.fx().setEditorOpen(true);
        std::atomic<bool> done{false};
        std::atomic<bool> finite{true};

        std::thread audio([&] {
            const Stereo in = programSignal(8192, 1.0, 41);
            Stereo out(256);
            for (int round = 0; round < 300; ++round) {
                const size_t pos = static_cast<size_t>(round % 32) * 256;
                double* ins[2] = {const_cast<double*>(in.l.data() + pos), const_cast<double*>(in.r.data() + pos)};
                double* outs[2] = {out.l.data(), out.r.data()};
                rig.fx().processDoubleReplacing(ins, outs, 256);
                for (size_t i = 0; i < 256; ++i)
                    if (!std::isfinite(out.l[i]) || !std::isfinite(out.r[i]))
                        finite = false;
            }
            done = true;
        });

        // Every parameter index the build has, the FAT switch and the
        // combined stereo selector included, plus the editor's readers.
        std::thread automation([&] {
            unsigned step = 0;
            while (!done.load()) {
                for (int index = 0; index < kParamIndexLimit; ++index) {
                    if (v->paramAt(index) == ParamId::None)
                        continue;
                    const float value =
                        static_cast<float>((step * 7919u + static_cast<unsigned>(index) * 104729u) % 1000u) / 999.0f;
                    rig.fx().setParameter(index, value);
                }
                rig.fx().getMeterValue(0);
                rig.fx().takeOverFlag(1);
                rig.fx().getEngineValue(v->index(ParamId::Fat));
                ++step;
            }
        });
        audio.join();
        automation.join();
        EXPECT_TRUE(finite.load()) << v->effectName;
    }
}

} // namespace
