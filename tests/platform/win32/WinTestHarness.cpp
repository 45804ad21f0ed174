#include "WinTestHarness.h"

int main()
{
    int passed = 0, failed = 0;
    for (const wintest::Case& c : wintest::cases()) {
        const int before = wintest::failures;
        c.body();
        const bool ok = wintest::failures == before;
        std::printf("[ %s ] %s\n", ok ? " OK " : "FAIL", c.name);
        (ok ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
