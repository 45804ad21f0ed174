// The library boundary: what each plug-in exports, what its entry point
// returns to a host that is too old, and closing.
#include "IntegrationSupport.h"

#include "platform/ToolPlatform.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

using namespace ambrel;
using namespace ambrel::testing;

namespace {

class EntryPointTest : public ::testing::TestWithParam<const BuildExpectation*> {};

// Exactly the two entry names, at one address: a host may call either, and
// nothing else of ours can clash with the host's own symbols.
TEST_P(EntryPointTest, ExportsOnlyTheEntryPointUnderBothNames)
{
    const CommandResult nm =
        runCommand(shellQuote(AMBREL_NM) + " -D --defined-only " + shellQuote(GetParam()->pluginPath));
    ASSERT_EQ(nm.exitCode, 0) << nm.errors;
    std::map<std::string, std::string> symbols;
    std::istringstream lines(nm.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            symbols[name] = address;
    }
    ASSERT_EQ(symbols.size(), 2u) << nm.output;
    ASSERT_TRUE(symbols.count("VSTPluginMain")) << nm.output;
    ASSERT_TRUE(symbols.count("main")) << nm.output;
    EXPECT_EQ(symbols["VSTPluginMain"], symbols["main"]);
}

TEST_P(EntryPointTest, BothEntryNamesReachOneFunction)
{
    std::string error;
    toolplatform::LibraryHandle library = toolplatform::openLibrary(GetParam()->pluginPath, error);
    ASSERT_TRUE(library) << error;
    void* entry = toolplatform::findSymbol(library, "VSTPluginMain");
    EXPECT_NE(entry, nullptr);
    EXPECT_EQ(entry, toolplatform::findSymbol(library, "main"));
    toolplatform::closeLibrary(library);

    auto host = loadOrFail(GetParam()->pluginPath);
    ASSERT_TRUE(host);
    EXPECT_TRUE(host->entriesShareAddress());
}

TEST_P(EntryPointTest, HostTooOldGetsNoEffect)
{
    PluginHost::Options options;
    options.hostVersion = 0;
    std::string error;
    bool effectWasNull = false;
    std::unique_ptr<PluginHost> host = PluginHost::load(GetParam()->pluginPath, options, error, &effectWasNull);
    EXPECT_FALSE(host);
    EXPECT_TRUE(effectWasNull) << error;
}

TEST_P(EntryPointTest, CloseAnswersOneAfterAFullSession)
{
    auto host = loadOrFail(GetParam()->pluginPath);
    ASSERT_TRUE(host);
    host->setSampleRate(96000.0f);
    host->setBlockSize(256);
    host->resume();
    std::vector<float> a(256, 0.1f), b(256, -0.1f), c(256), d(256);
    float* in[2] = {a.data(), b.data()};
    float* out[2] = {c.data(), d.data()};
    host->processReplacing(in, out, 256);
    host->suspend();
    EXPECT_EQ(host->close(), 1);
}

// Instances share nothing: many created and closed in turn and side by
// side, the way a host opens a session.
TEST_P(EntryPointTest, ManyInstancesSideBySide)
{
    std::vector<std::unique_ptr<PluginHost>> hosts;
    for (int i = 0; i < 8; ++i) {
        hosts.push_back(loadOrFail(GetParam()->pluginPath));
        ASSERT_TRUE(hosts.back());
        hosts.back()->setParameter(4, static_cast<float>(i) / 8.0f);
    }
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(hosts[static_cast<size_t>(i)]->getParameter(4), static_cast<float>(i) / 8.0f) << i;
    for (auto& host : hosts)
        EXPECT_EQ(host->close(), 1);
}

// The six editor settings a closed instance saves are what the next one
// starts with. The tests keep them in a configuration folder of their own,
// so that a test run never changes the settings of the user running it.
TEST_P(EntryPointTest, EditorSettingsOfAClosedInstanceReachTheNextOne)
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(configHome) << "the tests must not use the user's configuration folder";
    const std::filesystem::path store = std::filesystem::path(configHome) / "Nurwerk" / "Ambrel20" / "values";
    ASSERT_FALSE(std::filesystem::exists(store)) << store << " is not a fresh configuration folder";

    const VstInt32 vuIntegr = GetParam()->numParams == 42 ? 43 : 49;
    auto first = loadOrFail(GetParam()->pluginPath);
    ASSERT_TRUE(first);
    first->setParameter(vuIntegr, 0.25f);
    EXPECT_EQ(first->close(), 1);
    EXPECT_TRUE(std::filesystem::exists(store));

    auto second = loadOrFail(GetParam()->pluginPath);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->getParameter(vuIntegr), 0.25f);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, EntryPointTest, ::testing::Values(&kAmbrel2, &kAmbrel1), parameterTestName);

} // namespace
