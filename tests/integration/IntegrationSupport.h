// Shared pieces of the integration tests: where the built binaries are, the
// two builds' expected identities, running a command and reading its output.
#pragma once

#include "tools/ambrel/PluginHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace ambrel::testing {

// What each build must answer.
struct BuildExpectation {
    const char* label; // test-name friendly
    const char* pluginPath;
    const char* effectName;
    const char* productString;
    const char* uniqueId; // four characters
    int numParams;
    int latency44k, latency96k, latency192k;
    int fineTuneIndex;
    std::vector<int> switches;
};

inline const BuildExpectation kAmbrel2{"NurAmbrel2", AMBREL2_PLUGIN, "Nur Ambrel2",
                                       "Nur Ambrel2 - analog saturation & compression emulator",
                                       "NRAB", 42, 639, 1151, 2175, 24,
                                       {0, 1, 2, 3, 22, 25, 26, 27, 28, 29}};
inline const BuildExpectation kAmbrel1{"NurAmbrel", AMBREL1_PLUGIN, "Nur Ambrel",
                                       "Nur Ambrel - analog saturation & compression emulator",
                                       "NrAB", 48, 127, 255, 511, 28,
                                       {0, 1, 2, 3, 22, 31, 32, 33, 34, 35}};

inline void PrintTo(const BuildExpectation* build, std::ostream* os)
{
    *os << build->label;
}

inline std::string parameterTestName(const ::testing::TestParamInfo<const BuildExpectation*>& info)
{
    return info.param->label;
}

// Loads a plug-in or fails the test.
inline std::unique_ptr<PluginHost> loadOrFail(const std::string& path,
                                              const PluginHost::Options& options = PluginHost::Options{})
{
    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::load(path, options, error);
    EXPECT_TRUE(host) << error;
    return host;
}

struct CommandResult {
    int exitCode = -1;
    std::string output; // standard output
    std::string errors; // standard error
};

// Runs a shell command line, capturing both streams.
inline CommandResult runCommand(const std::string& commandLine)
{
    static int counter = 0;
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string errFile =
        (dir / ("ambrel-test-stderr-" + std::to_string(::getpid()) + "-" + std::to_string(++counter))).string();
    CommandResult result;
    std::FILE* pipe = ::popen((commandLine + " 2>" + errFile).c_str(), "r");
    if (!pipe) {
        result.errors = "popen failed";
        return result;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    std::ifstream err(errFile);
    std::stringstream text;
    text << err.rdbuf();
    result.errors = text.str();
    std::filesystem::remove(errFile);
    return result;
}

// A single-quoted shell word.
inline std::string shellQuote(const std::string& text)
{
    std::string q = "'";
    for (const char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A fresh folder for one test's files.
inline std::filesystem::path workDir(const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::path(AMBREL_TEST_WORK_DIR) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace ambrel::testing
