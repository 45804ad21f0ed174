#include "WinTestHarness.h"

namespace wintest {

int g_failures = 0;

std::vector<Case>& cases()
{
    static std::vector<Case> all;
    return all;
}

void fail(const char* file, int line, const std::string& what)
{
    ++g_failures;
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
}

} // namespace wintest

int main()
{
    int passed = 0;
    int failed = 0;
    for (const wintest::Case& c : wintest::cases()) {
        std::printf("[ RUN  ] %s\n", c.name);
        const int before = wintest::g_failures;
        c.body();
        const bool ok = wintest::g_failures == before;
        std::printf("[ %s ] %s\n", ok ? " OK " : "FAIL", c.name);
        (ok ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
