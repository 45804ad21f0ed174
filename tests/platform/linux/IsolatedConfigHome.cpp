// Test runs keep the per-user settings store out of the real home: the
// configuration directory points at a scratch directory for the whole run, so
// effects that any test creates and destroys save their settings there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace {

class IsolatedConfigHome : public ::testing::Environment {
public:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() / ("ambrel-config-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(dir_);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

private:
    std::filesystem::path dir_;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new IsolatedConfigHome);

} // namespace
