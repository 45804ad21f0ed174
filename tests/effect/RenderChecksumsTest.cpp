// Every render of the reference matrix against the checksums kept in
// render-checksums.txt beside this file (see RenderChecksums.h), through
// each instruction set the processor has.
#include "tests/effect/RenderChecksums.h"

#include "dsp/Engine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// The source folder comes from the build: __FILE__ may be relative to the
// compiler's folder (ccache's base directory makes it so), not the test's.
const std::string kChecksumFile =
    (std::filesystem::path(AMBREL_TEST_SOURCE_DIR) / "effect" / "render-checksums.txt").string();

// Sets AMBREL_SIMD for the test's duration.
class ForcedSimd {
public:
    explicit ForcedSimd(SimdLevel level)
    {
        if (const char* old = std::getenv("AMBREL_SIMD"))
            saved_ = old;
        ::setenv("AMBREL_SIMD", simdLevelName(level), 1);
    }
    ~ForcedSimd()
    {
        if (saved_.empty())
            ::unsetenv("AMBREL_SIMD");
        else
            ::setenv("AMBREL_SIMD", saved_.c_str(), 1);
    }

private:
    std::string saved_;
};

class RenderChecksums : public ::testing::TestWithParam<SimdLevel> {};

TEST_P(RenderChecksums, EveryRenderMatchesTheReference)
{
    if (!simdLevelSupported(GetParam()))
        GTEST_SKIP() << simdLevelName(GetParam()) << " not supported by this processor";
    ForcedSimd forced(GetParam());
    ASSERT_EQ(Engine(Engine::Config{}).simdLevel(), GetParam());
    const std::vector<std::string> rendered = renderChecksums::render();
    if (const char* target = std::getenv("AMBREL_WRITE_RENDER_CHECKSUMS")) {
        ASSERT_TRUE(renderChecksums::writeFile(target, rendered)) << target;
        GTEST_SKIP() << "wrote " << rendered.size() << " checksums to " << target;
    }
    const std::vector<std::string> expected = renderChecksums::readFile(kChecksumFile);
    ASSERT_FALSE(expected.empty()) << "cannot read " << kChecksumFile;
    EXPECT_EQ(renderChecksums::compare(expected, rendered), "");
}

INSTANTIATE_TEST_SUITE_P(Levels, RenderChecksums,
                         ::testing::Values(SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2),
                         [](const ::testing::TestParamInfo<SimdLevel>& info) {
                             return std::string(simdLevelName(info.param));
                         });

} // namespace
