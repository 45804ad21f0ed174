// The resampler's filtered sums for AVX2: four outputs per vector. Built
// with -mavx2 and used only where the processor has it.
#define AMBREL_ISA avx2
#include "dsp/HalfbandSums.h"

void avx2::halfbandSums(const double* h, const double* weights, int n, double* out)
{
    blockSums<V4>(h, weights, n, out);
}
