#include "viewer/graph/ProgramRandom.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(RandomGenerator, FollowsTheClassicSequenceFromSeedOne) {
    RandomGenerator random;
    EXPECT_EQ(random.Next(), 41);
    EXPECT_EQ(random.Next(), 18467);
    EXPECT_EQ(random.Next(), 6334);
    EXPECT_EQ(random.Next(), 26500);
}

TEST(RandomGenerator, SeedRestartsTheSequence) {
    RandomGenerator random(77);
    int first = random.Next();
    int second = random.Next();
    random.Seed(77);
    EXPECT_EQ(random.Next(), first);
    EXPECT_EQ(random.Next(), second);
}

TEST(RandomGenerator, StaysWithinFifteenBitsAndReachesBothEnds) {
    RandomGenerator random(12345);
    int low = RandomGenerator::kMax, high = 0;
    for (int i = 0; i < 200000; ++i) {
        int value = random.Next();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, RandomGenerator::kMax);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_LT(low, 10);
    EXPECT_GT(high, RandomGenerator::kMax - 10);
}
