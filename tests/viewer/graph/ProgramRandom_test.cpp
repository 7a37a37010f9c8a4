#include "viewer/graph/ProgramRandom.h"

#include <gtest/gtest.h>


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
