// The interface of a fuzz target: one function that takes any bytes, the
// one libFuzzer calls. A target checks what must hold for every input and
// stops the program with fuzzFailure() when it does not, so that both
// drivers (libFuzzer and the mutation loop of MutationMain.cpp) report it
// like a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

[[noreturn]] inline void fuzzFailure(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(cond)                                                                                             \
    do {                                                                                                             \
        if (!(cond))                                                                                                 \
            fuzzFailure(__FILE__, __LINE__, #cond);                                                                  \
    } while (0)
