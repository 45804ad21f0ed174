// The process-wide cache of decoded skin bitmaps that both window-system
// layers hand out: one decode per image while anything holds it, freed with
// its last holder, and safe when several threads open editors at once.
#include "gui/SharedBitmaps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using VSTGUI::PlatformBitmap;
using VSTGUI::SharedBitmaps;

std::atomic<int> decodes{0};
std::atomic<int> alive{0};

class CountedBitmap final : public PlatformBitmap {
public:
    explicit CountedBitmap(int32_t id) : id_(id) { alive.fetch_add(1); }
    ~CountedBitmap() override { alive.fetch_sub(1); }
    int32_t width() const override { return id_; }
    int32_t height() const override { return 1; }

private:
    int32_t id_;
};

// Ids up to 100 exist; decoding takes a moment, so threads overlap in it.
std::shared_ptr<PlatformBitmap> decode(int32_t id)
{
    decodes.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (id <= 0 || id > 100)
        return nullptr;
    return std::make_shared<CountedBitmap>(id);
}

class SharedBitmapsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        decodes = 0;
        alive = 0;
    }
    SharedBitmaps cache{decode};
};

TEST_F(SharedBitmapsTest, OneDecodeWhileHeldAndFreedWithTheLastHolder)
{
    std::shared_ptr<PlatformBitmap> first = cache.load(7);
    std::shared_ptr<PlatformBitmap> second = cache.load(7);
    ASSERT_TRUE(first);
    EXPECT_EQ(first, second); // the second editor draws the first one's art
    EXPECT_EQ(first->width(), 7);
    EXPECT_EQ(decodes, 1);
    EXPECT_NE(cache.load(8), first);
    EXPECT_EQ(decodes, 2);

    first.reset();
    EXPECT_EQ(alive, 1); // still held
    second.reset();
    EXPECT_EQ(alive, 0); // the last editor closed: nothing kept
    std::shared_ptr<PlatformBitmap> again = cache.load(7);
    ASSERT_TRUE(again);
    EXPECT_EQ(decodes, 3); // decoded anew
}

TEST_F(SharedBitmapsTest, AMissingImageIsNullEveryTime)
{
    EXPECT_FALSE(cache.load(0));
    EXPECT_FALSE(cache.load(1000));
    EXPECT_FALSE(cache.load(1000));
    EXPECT_EQ(decodes, 3); // nothing cached for it
}

TEST_F(SharedBitmapsTest, EditorsOpeningOnSeveralThreadsShareEachImage)
{
    constexpr int kThreads = 8, kIds = 20, kRounds = 5;
    std::vector<std::vector<std::shared_ptr<PlatformBitmap>>> held(kThreads);
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                ready.fetch_add(1);
                while (ready.load() < kThreads) {
                }
                held[static_cast<size_t>(t)].clear(); // this thread's editor closes...
                for (int id = 1; id <= kIds; ++id)   // ...and opens again
                    held[static_cast<size_t>(t)].push_back(cache.load(id));
            });
        for (std::thread& thread : threads)
            thread.join();
        for (int t = 1; t < kThreads; ++t)
            EXPECT_EQ(held[static_cast<size_t>(t)], held[0]) << "round " << round;
        EXPECT_EQ(alive, kIds);
    }
    held.clear();
    EXPECT_EQ(alive, 0);
}

} // namespace
