// Every render of the reference matrix against the checksums kept in
// render-checksums.txt beside this file (see RenderChecksums.h).
#include "tests/effect/RenderChecksums.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

const std::string kChecksumFile = (std::filesystem::path(__FILE__).parent_path() / "render-checksums.txt").string();

TEST(RenderChecksums, EveryRenderMatchesTheReference)
{
    const std::vector<std::string> rendered = renderChecksums::render();
    if (const char* target = std::getenv("AMBREL_WRITE_RENDER_CHECKSUMS")) {
        ASSERT_TRUE(renderChecksums::writeFile(target, rendered)) << target;
        GTEST_SKIP() << "wrote " << rendered.size() << " checksums to " << target;
    }
    const std::vector<std::string> expected = renderChecksums::readFile(kChecksumFile);
    ASSERT_FALSE(expected.empty()) << "cannot read " << kChecksumFile;
    EXPECT_EQ(renderChecksums::compare(expected, rendered), "");
}

} // namespace
