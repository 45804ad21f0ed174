#include "dsp/LookaheadMax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <random>

namespace
{

// Runs the detector and a walk-only twin over the same values and
// positions and requires the same peak, bit for bit, at every step.
struct Twin {
    std::unique_ptr<LookaheadMax> fast = std::make_unique<LookaheadMax>();
    std::unique_ptr<LookaheadMax> walk = std::make_unique<LookaheadMax>();
    long steps = 0;
    long queued = 0;

    void step(double v, int wpos, int g, int mask)
    {
        const int read = (wpos - g - 1) & mask;
        const double a = fast->step(v, wpos, read, mask);
        const double b = walk->stepWalk(v, wpos, read, mask);
        ASSERT_EQ(a, b) << "step " << steps << " g " << g;
        ++steps;
        queued += fast->segmented();
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

// Steady windows, a sliding window maximum in the steady state.
TEST(LookaheadMax, IsTheWindowMaximumInTheSteadyState)
{
    const int mask = 255, g = 40;
    LookaheadMax det;
    std::mt19937 rng(1);
    std::deque<double> history;
    int wpos = 0;
    for (int i = 0; i < 5000; ++i) {
        const double v = level(rng, i, i / 1000 % 3);
        history.push_back(v);
        if (history.size() > static_cast<size_t>(g + 2))
            history.pop_front();
        const double peak = det.step(v, wpos, (wpos - g - 1) & mask, mask);
        ASSERT_EQ(peak, *std::max_element(history.begin(), history.end())) << i;
        wpos = (wpos + 1) & mask;
    }
    EXPECT_TRUE(det.segmented());
}

// Block runs give the peaks of single steps.
TEST(LookaheadMax, BlockRunsMatchSingleSteps)
{
    const int mask = 511;
    auto single = std::make_unique<LookaheadMax>();
    auto blocks = std::make_unique<LookaheadMax>();
    std::mt19937 rng(3);
    int wpos = 0, g = 30;
    double v[128], peak[128];
    for (int block = 0; block < 400; ++block) {
        const int n = 1 + static_cast<int>(rng() % 128);
        if (block % 37 == 5)
            g = 1 + static_cast<int>(rng() % 200);
        if (block % 53 == 7)
            wpos = static_cast<int>(rng() % 512);
        for (int i = 0; i < n; ++i)
            v[i] = level(rng, block * 128 + i, block / 20 % 3);
        blocks->run(v, peak, n, wpos, (wpos - g - 1) & mask, mask);
        for (int i = 0; i < n; ++i) {
            const int w = (wpos + i) & mask;
            ASSERT_EQ(peak[i], single->step(v[i], w, (w - g - 1) & mask, mask)) << block << " " << i;
        }
        wpos = (wpos + n) & mask;
    }
}

// Changes of g in both directions, idle gaps and clearing: the fast form
// follows the walk to the bit throughout.
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
            for (int k = 0; k < length; ++k, ++i) {
                twin.step(level(rng, i, kind), wpos, g, mask);
                if (::testing::Test::HasFatalFailure())
                    return;
                wpos = (wpos + 1) & mask;
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
        EXPECT_GT(twin.queued, twin.steps / 3) << mask;
    }
}

} // namespace
