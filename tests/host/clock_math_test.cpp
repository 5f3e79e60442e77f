// Time of day in seconds, and the steps a pause counts between two readings.
#include "editor/clock_math.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SecondsOfDay, AddsTheFields)
{
    EXPECT_DOUBLE_EQ(0.0, SecondsOfDay({0, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(3600 * 13 + 60 * 5 + 7 + 0.42, SecondsOfDay({13, 5, 7, 42}));
    EXPECT_DOUBLE_EQ(86399.99, SecondsOfDay({23, 59, 59, 99}));
}

// Adds up the steps of successive readings as a pause does.
unsigned Elapsed(const std::vector<double> &readings)
{
    unsigned total = 0;
    for (size_t i = 1; i < readings.size(); i++)
        total += ClockStepMs(readings[i - 1], readings[i]);
    return total;
}

TEST(ClockStep, CountsOrdinaryStepsExactly)
{
    EXPECT_EQ(0u, ClockStepMs(100.0, 100.0));
    EXPECT_EQ(10u, ClockStepMs(SecondsOfDay({0, 0, 1, 99}), SecondsOfDay({0, 0, 2, 0})));
    EXPECT_EQ(MaxClockStepMs, ClockStepMs(5.0, 6.0));
    // 25 hundredths, read one at a time, make exactly 250 ms, not 249.99.
    std::vector<double> readings;
    for (unsigned char h = 0; h <= 25; h++)
        readings.push_back(SecondsOfDay({10, 20, 30, h}));
    EXPECT_EQ(250u, Elapsed(readings));
}

TEST(ClockStep, MidnightAndClockChangesCountAsNothing)
{
    // Across midnight the pause still counts the hundredths on either side.
    std::vector<double> midnight;
    for (unsigned char h = 90; h < 100; h++)
        midnight.push_back(SecondsOfDay({23, 59, 59, h}));
    for (unsigned char h = 0; h <= 15; h++)
        midnight.push_back(SecondsOfDay({0, 0, 0, h}));
    EXPECT_EQ(90u + 150u, Elapsed(midnight));

    EXPECT_EQ(0u, ClockStepMs(50000.0, 49000.0));      // set back an hour
    EXPECT_EQ(0u, ClockStepMs(50000.0, 50000.0 - 0.01));
    EXPECT_EQ(0u, ClockStepMs(50000.0, 53600.0));      // set forward an hour
    EXPECT_EQ(0u, ClockStepMs(50000.0, 50001.01));
}

} // namespace
