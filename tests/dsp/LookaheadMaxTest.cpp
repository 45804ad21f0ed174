#include "dsp/LookaheadMax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace
{

// Runs the detector and a walk-only twin over the same values and
// positions and requires the same peak, bit for bit, at every step.
struct Twin {
    std::unique_ptr<LookaheadMax> fast = std::make_unique<LookaheadMax>();
    std::unique_ptr<LookaheadMax> walk = std::make_unique<LookaheadMax>();
    long count = 0;
    long segmented = 0;

    // n values at consecutive positions, through run() or step().
    void steps(const double* v, int n, int wpos, int g, int mask, bool block)
    {
        double peak[256];
        if (block)
            fast->run(v, peak, n, wpos, (wpos - g - 1) & mask, mask);
        for (int i = 0; i < n; ++i) {
            const int w = (wpos + i) & mask;
            const int read = (w - g - 1) & mask;
            const double a = block ? peak[i] : fast->step(v[i], w, read, mask);
            ASSERT_EQ(a, walk->stepWalk(v[i], w, read, mask)) << "step " << count << " g " << g;
            ++count;
            segmented += fast->segmented();
        }
    }
};

double level(std::mt19937& rng, int i, int kind)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    switch (kind) {
    case 0:
        return u(rng); // noise
    case 1:
        return std::fabs(std::sin(0.003 * i)); // slow rises and falls: long walks
    default:
        return (i / 37) % 3 == 0 ? 0.0 : 0.5 + 0.001 * (i % 37); // steps, zeros and ties
    }
}

// Changes of g in both directions, idle gaps and clearing: the fast form,
// stepped singly or run in blocks, follows the walk to the bit throughout.
TEST(LookaheadMax, FollowsTheWalkThroughEveryBreak)
{
    for (const int mask : {63, 255, 1023}) {
        Twin twin;
        std::mt19937 rng(static_cast<unsigned>(mask));
        int wpos = mask;
        int g = mask / 4;
        int i = 0;
        for (int phase = 0; phase < 60; ++phase) {
            const int kind = phase % 3;
            const int length = phase % 4 == 0 ? 3 * (mask + 1) : static_cast<int>(rng() % 200);
            for (int k = 0; k < length;) {
                double v[256];
                const int n = std::min(length - k, 1 + static_cast<int>(rng() % 256));
                for (int j = 0; j < n; ++j)
                    v[j] = level(rng, i + j, kind);
                twin.steps(v, n, wpos, g, mask, (phase + k) % 2 == 0);
                if (::testing::Test::HasFatalFailure())
                    return;
                wpos = (wpos + n) & mask;
                k += n;
                i += n;
            }
            switch (phase % 5) {
            case 0:
                g = 1 + static_cast<int>(rng() % static_cast<unsigned>(mask / 2)); // Speed moved
                break;
            case 1:
                wpos = (wpos + 1 + static_cast<int>(rng() % 50)) & mask; // detector idle
                break;
            case 2:
                break; // no break at all
            case 3:
                twin.fast->clear();
                twin.walk->clear();
                break;
            default:
                g = std::max(1, g / 2);
                break;
            }
        }
        EXPECT_GT(twin.segmented, twin.count / 3) << mask;
    }
}

} // namespace
