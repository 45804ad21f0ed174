// The reference renders of tests/effect/RenderChecksums.cpp through this
// target's build: the same checksums as the Linux build, to the bit.
#include "WinTestHarness.h"

#include "tests/effect/RenderChecksums.h"

#include <string>

TEST_CASE(RenderChecksumsMatchTheReference)
{
    const std::vector<std::string> expected = renderChecksums::readFile(AMBREL_RENDER_CHECKSUMS);
    CHECK(!expected.empty());
    const std::string differences = renderChecksums::compare(expected, renderChecksums::render());
    if (!differences.empty())
        std::printf("%s", differences.c_str());
    CHECK(differences.empty());
}
