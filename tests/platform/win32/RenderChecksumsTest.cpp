// The reference renders of tests/effect/RenderChecksums.cpp through this
// target's build and each instruction set the processor has: the same
// checksums as the Linux build, to the bit.
#include "WinTestHarness.h"

#include "dsp/SimdLevel.h"
#include "tests/effect/RenderChecksums.h"

#include <cstdlib>
#include <string>

TEST_CASE(RenderChecksumsMatchTheReference)
{
    const std::vector<std::string> expected = renderChecksums::readFile(AMBREL_RENDER_CHECKSUMS);
    CHECK(!expected.empty());
    for (const SimdLevel level : {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2}) {
        if (!simdLevelSupported(level))
            continue;
        _putenv((std::string("AMBREL_SIMD=") + simdLevelName(level)).c_str());
        const std::string differences = renderChecksums::compare(expected, renderChecksums::render());
        std::printf("  %s: %s\n", simdLevelName(level), differences.empty() ? "same" : "different");
        if (!differences.empty())
            std::printf("%s", differences.c_str());
        CHECK(differences.empty());
    }
    _putenv("AMBREL_SIMD=");
}
