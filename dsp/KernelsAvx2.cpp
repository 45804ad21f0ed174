// The block kernels for AVX2; built with -mavx2 and used only where the
// processor has it (dsp/SimdLevel.h).
#define AMBREL_ISA avx2
#include "dsp/KernelBlock.h"

const KernelTable& avx2::kernels()
{
    return table<V4>();
}
