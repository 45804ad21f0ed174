// The AVX2 kernels are built with -mavx2 beside baseline code. A function
// that more than one translation unit may emit (an inline function, a
// template instantiation) and that the AVX2 units emitted with AVX
// instructions could be the copy the linker keeps for every caller, and a
// processor without AVX2 would fault in it. Every function with AVX
// instructions that the core library exports to the linker must therefore
// belong to the AVX2 code itself (namespace avx2).
#include "IntegrationSupport.h"

#include <map>
#include <set>

using namespace ambrel::testing;

namespace {

TEST(InstructionSets, OnlyTheAvx2CodeLinksAvxInstructions)
{
    if (std::string(AMBREL_OBJDUMP).empty() || std::string(AMBREL_NM).empty())
        GTEST_SKIP() << "objdump or nm not found";
    // Functions the linker may choose between or call across units: global
    // and weak text symbols.
    const CommandResult symbols =
        runCommand(shellQuote(AMBREL_NM) + " -C --defined-only " + shellQuote(AMBREL_CORE_LIBRARY));
    ASSERT_EQ(symbols.exitCode, 0) << symbols.errors;
    std::set<std::string> linked;
    std::istringstream symbolLines(symbols.output);
    for (std::string line; std::getline(symbolLines, line);)
        if (line.size() > 19 && (line[17] == 'T' || line[17] == 'W'))
            linked.insert(line.substr(19));
    ASSERT_FALSE(linked.empty()) << symbols.output;

    const CommandResult code = runCommand(shellQuote(AMBREL_OBJDUMP) + " -d -C --no-show-raw-insn " +
                                          shellQuote(AMBREL_CORE_LIBRARY));
    ASSERT_EQ(code.exitCode, 0) << code.errors;
    std::map<std::string, int> avxFunctions;
    std::string function;
    std::istringstream codeLines(code.output);
    for (std::string line; std::getline(codeLines, line);) {
        if (line.size() > 2 && line.back() == ':' && line.find(" <") != std::string::npos) {
            function = line.substr(line.find(" <") + 2, line.size() - line.find(" <") - 4);
            continue;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || function.empty())
            continue;
        // VEX-encoded instructions: vaddpd, vmovsd, vbroadcastsd...
        const std::string mnemonic = line.substr(tab + 1, line.find_first_of(" \t", tab + 1) - tab - 1);
        if (mnemonic.size() > 1 && mnemonic[0] == 'v' && mnemonic != "verr" && mnemonic != "verw")
            ++avxFunctions[function];
    }
    int avx2Functions = 0;
    for (const auto& [name, count] : avxFunctions) {
        // The name, after any return type, starts in namespace avx2.
        const size_t avx2 = name.find("avx2::");
        if (avx2 != std::string::npos && avx2 < name.find('(') && (avx2 == 0 || name[avx2 - 1] == ' ')) {
            ++avx2Functions;
            continue;
        }
        EXPECT_FALSE(linked.count(name)) << name << " holds " << count << " AVX instructions and is linked globally";
    }
    EXPECT_GT(avx2Functions, 0) << "no AVX2 code found: is the AVX2 kernel built?";
}

} // namespace
