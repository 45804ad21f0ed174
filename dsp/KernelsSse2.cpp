// The block kernels for SSE2, which every target has.
#define AMBREL_ISA sse2
#include "dsp/KernelBlock.h"

const KernelTable& sse2::kernels()
{
    return table<V2>();
}
