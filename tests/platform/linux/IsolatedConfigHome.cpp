// Tests keep the per-user settings store out of the real home, and out of each
// other's way: every test starts with the configuration directory pointing at
// a fresh, empty scratch directory, so effects that a test creates read the
// default settings and the settings they save on destruction go no further.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace {

class IsolatedConfigHome : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        dir_ = std::filesystem::temp_directory_path() / ("ambrel-config-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(dir_);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::filesystem::path dir_;
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new IsolatedConfigHome);
    return true;
}();

} // namespace
