// Readings into rates and totals, where the counters are large or misbehave.
#include <gtest/gtest.h>

#include "traffic/Traffic.h"

namespace vx {
namespace {

constexpr double k2p32 = 4294967296.0;
constexpr double k2p53 = 9007199254740992.0;

TEST(Traffic, RatesStayExactPast2To32AndUpTo2To53) {
    Traffic t({0, 0}, true);
    EXPECT_FALSE(t.take({k2p32 - 700, 2147483648.0}));
    auto moved = t.take({k2p32 + 1296, 2147483648.0 + 1000});
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->in, 1996);
    EXPECT_EQ(moved->out, 1000);

    t.forgetBaseline();
    EXPECT_FALSE(t.take({k2p53 - 3, k2p53 - 1}));
    moved = t.take({k2p53, k2p53});
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->in, 3);
    EXPECT_EQ(moved->out, 1);
    EXPECT_EQ(t.totals().in, 1999);
    EXPECT_EQ(t.totals().out, 1001);
}

TEST(Traffic, ACounterThatGoesBackAddsNothingAndTheOtherStillCounts) {
    Traffic t({10000, 20000}, true);
    t.take({1000, 500});
    auto moved = t.take({300, 900});
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->in, -700) << "the rate shows it";
    EXPECT_EQ(moved->out, 400);
    EXPECT_EQ(t.totals().in, 10000);
    EXPECT_EQ(t.totals().out, 20400);
    t.take({400, 900});
    EXPECT_EQ(t.totals().in, 10100) << "counting goes on from the lower counter";
}

TEST(Traffic, ForgettingTheBaselineTakesTheNextReadingAsANewStart) {
    Traffic t({0, 0}, true);
    t.take({1000, 1000});
    t.take({1500, 1200});
    t.forgetBaseline();
    EXPECT_FALSE(t.take({90000000, 80000000})) << "a new connection's counters are no traffic";
    EXPECT_EQ(t.totals().in, 500);
    EXPECT_EQ(t.totals().out, 200);
    auto moved = t.take({90000100, 80000000});
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->in, 100);
    EXPECT_EQ(t.totals().in, 600);
}

}  // namespace
}  // namespace vx
