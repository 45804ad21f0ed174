// The resampler's filtered sums for AVX2: four outputs per vector. Built
// with -mavx2 and used only where the processor has it.
#define AMBREL_ISA avx2
#include "dsp/HalfbandSums.h"

void halfbandSumsAvx2(const double* h, const double* weights, int n, double* out)
{
    avx2::blockSums<V4>(h, weights, n, out);
}
