// `ambrel validate` against a plug-in that behaves and against the same
// plug-in making one mistake at a time: each mistake fails the check that
// is there to catch it, and only a plug-in without mistakes passes.
#include "tools/ambrel/Validate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Outcome {
    int exitCode;
    std::string text;
};

Outcome validate(const char* fault)
{
    ::setenv("AMBREL_VALIDATE_FAULT", fault, 1);
    std::FILE* out = std::tmpfile();
    ambrel::ValidateOptions options;
    options.loadCycles = 3;
    Outcome outcome{ambrel::runValidate(VALIDATE_FIXTURE, options, out), {}};
    std::rewind(out);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), out)) > 0;)
        outcome.text.append(buffer, n);
    std::fclose(out);
    ::unsetenv("AMBREL_VALIDATE_FAULT");
    return outcome;
}

} // namespace

TEST(Validate, APluginWithoutMistakesPasses)
{
    const Outcome outcome = validate("none");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.text;
    EXPECT_EQ(outcome.text.find("FAIL"), std::string::npos) << outcome.text;
    EXPECT_NE(outcome.text.find("SKIP  editor (0.0 s): the plug-in has no editor"), std::string::npos)
        << outcome.text;
    EXPECT_NE(outcome.text.find("8 passed, 0 failed, 1 skipped"), std::string::npos) << outcome.text;
}

TEST(Validate, EachMistakeFailsTheCheckThatLooksForIt)
{
    const struct {
        const char* fault;
        const char* check;
        const char* finding;
    } cases[] = {
        {"no-unique-id", "entry point and effect record", "no unique id"},
        {"long-name", "text requests", "effGetParamName 1 wrote 33 bytes into a buffer of 24"},
        {"nan", "random and extreme parameter values", "NaN in the output: every parameter at 1"},
        {"denormal", "processing", "denormal numbers in the output"},
        {"short-write", "processing", "output frames left unwritten"},
        {"overrun", "processing", "wrote past the end of an output block"},
        {"changes-input", "processing", "changed an input block"},
        {"out-of-range", "random and extreme parameter values", "getParameter outside 0 to 1: parameter 2 reads 2"},
        {"hidden-state", "state restored through the parameters", "the restored instance sounds different"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const Outcome outcome = validate(c.fault);
        EXPECT_EQ(outcome.exitCode, 1);
        const size_t line = outcome.text.find(std::string("FAIL  ") + c.check + " (");
        ASSERT_NE(line, std::string::npos) << outcome.text;
        EXPECT_NE(outcome.text.find(c.finding, line), std::string::npos) << outcome.text;
    }
}
