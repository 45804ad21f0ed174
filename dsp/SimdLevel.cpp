#include "dsp/SimdLevel.h"

#include <cstdlib>
#include <cstring>

bool simdLevelSupported(SimdLevel level)
{
    if (level != SimdLevel::Avx2)
        return true;
    // Checks the processor's flags and that the system saves the AVX
    // registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

SimdLevel chooseSimdLevel()
{
    SimdLevel level = simdLevelSupported(SimdLevel::Avx2) ? SimdLevel::Avx2 : SimdLevel::Sse2;
    if (const char* forced = std::getenv("AMBREL_SIMD")) {
        if (std::strcmp(forced, "scalar") == 0)
            level = SimdLevel::Scalar;
        else if (std::strcmp(forced, "sse2") == 0 && level == SimdLevel::Avx2)
            level = SimdLevel::Sse2;
    }
    return level;
}

const char* simdLevelName(SimdLevel level)
{
    switch (level) {
    case SimdLevel::Scalar:
        return "scalar";
    case SimdLevel::Sse2:
        return "sse2";
    case SimdLevel::Avx2:
        return "avx2";
    }
    return "";
}
