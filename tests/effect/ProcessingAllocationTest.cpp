// Processing never allocates: every operator new of the program is counted
// while a measured section runs.
#include "tests/effect/ProcessingRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<bool> gArmed{false};
std::atomic<long> gAllocations{0};

void* countedAllocation(std::size_t size)
{
    if (gArmed.load(std::memory_order_relaxed))
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size)
{
    return countedAllocation(size);
}
void* operator new[](std::size_t size)
{
    return countedAllocation(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace
{

TEST(Allocation, ProcessingNeverAllocatesInAnyMode)
{
    for (const Variant* v : {&variants::kAmbrel2, &variants::kAmbrel}) {
        ProcessingRig rig(*v);
        const Stereo in = programSignal(4096, 1.1, 31);
        std::vector<float> fl(in.l.begin(), in.l.end()), fr(in.r.begin(), in.r.end());
        Stereo out(in.size());
        std::vector<float> ofl(in.size()), ofr(in.size());
        rig.fx().setEditorOpen(true);
        for (int kernel = 0; kernel < 7; ++kernel) {
            for (const float fat : {0.0f, 1.0f}) {
                for (const float type : {0.0f, 1.0f}) {
                    rig.selectKernel(kernel);
                    rig.set(ParamId::Fat, fat);
                    rig.set(ParamId::MeterType, type);
                    rig.set(ParamId::Auto, type);
                    gAllocations = 0;
                    gArmed = true;
                    for (size_t pos = 0; pos + 333 <= in.size(); pos += 333) {
                        double* di[2] = {const_cast<double*>(in.l.data() + pos),
                                         const_cast<double*>(in.r.data() + pos)};
                        double* dout[2] = {out.l.data() + pos, out.r.data() + pos};
                        rig.fx().processDoubleReplacing(di, dout, 333);
                        float* fi[2] = {fl.data() + pos, fr.data() + pos};
                        float* fo[2] = {ofl.data() + pos, ofr.data() + pos};
                        rig.fx().processReplacing(fi, fo, 333);
                    }
                    gArmed = false;
                    EXPECT_EQ(gAllocations.load(), 0) << v->effectName << " kernel " << kernel << " fat " << fat;
                }
            }
        }
    }
}

} // namespace
