// A minimal harness for the Windows platform tests (GoogleTest is not built
// for the cross compiler): TEST_CASE registers a function, CHECK records a
// failure with its line, main prints "N passed, N failed".
#pragma once

#include <cstdio>
#include <vector>

namespace wintest {
struct Case {
    const char* name;
    void (*body)();
};
inline std::vector<Case>& cases()
{
    static std::vector<Case> all;
    return all;
}
inline int failures = 0;
struct Registrar {
    Registrar(const char* name, void (*body)()) { cases().push_back({name, body}); }
};
} // namespace wintest

#define TEST_CASE(name)                                                                                              \
    static void name();                                                                                              \
    static const wintest::Registrar name##_registrar(#name, name);                                                   \
    static void name()

#define CHECK(cond)                                                                                                  \
    do {                                                                                                             \
        if (!(cond)) {                                                                                               \
            ++wintest::failures;                                                                                     \
            std::printf("  %s:%d: %s\n", __FILE__, __LINE__, #cond);                                                 \
        }                                                                                                            \
    } while (0)
