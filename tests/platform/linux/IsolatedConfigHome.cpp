// Every test run keeps the per-user settings store out of the real home: the
// configuration directory points at a fresh scratch directory for the whole
// run, so effects constructed and destroyed by any test read and save their
// editor settings there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

class IsolatedConfigHome : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() / ("ambrel-config-" + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

private:
    std::filesystem::path dir_;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new IsolatedConfigHome);

} // namespace
