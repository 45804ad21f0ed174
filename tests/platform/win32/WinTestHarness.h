// A minimal test harness for the Windows platform tests: TEST_CASE registers a
// function, CHECK and CHECK_EQ record failures with file and line, and main
// prints "N passed, N failed" and fails the process on any failure.
#pragma once

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace wintest {

struct Case {
    const char* name;
    void (*body)();
};

std::vector<Case>& cases();
void fail(const char* file, int line, const std::string& what);

struct Registrar {
    Registrar(const char* name, void (*body)()) { cases().push_back({name, body}); }
};

template <typename T>
std::string show(const T& value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace wintest

#define TEST_CASE(name)                                                                                              \
    static void name();                                                                                              \
    static const wintest::Registrar name##_registrar(#name, name);                                                   \
    static void name()

#define CHECK(cond)                                                                                                  \
    do {                                                                                                             \
        if (!(cond))                                                                                                 \
            wintest::fail(__FILE__, __LINE__, #cond);                                                                \
    } while (0)

#define CHECK_EQ(a, b)                                                                                               \
    do {                                                                                                             \
        const auto& check_a_ = (a);                                                                                  \
        const auto& check_b_ = (b);                                                                                  \
        if (!(check_a_ == check_b_))                                                                                 \
            wintest::fail(__FILE__, __LINE__,                                                                        \
                          std::string(#a " == " #b ": ") + wintest::show(check_a_) + " vs " +                        \
                              wintest::show(check_b_));                                                              \
    } while (0)
