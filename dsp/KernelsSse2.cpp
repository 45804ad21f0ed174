// The block kernels for SSE2, which every target has.
#define AMBREL_ISA sse2
#include "dsp/KernelBlock.h"

const KernelTable& sse2Kernels()
{
    return sse2::table<V2>();
}
