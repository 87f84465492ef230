#include <gtest/gtest.h>

#include <set>

#include "sim/device_model.h"

namespace tessline {
namespace {

// A whole simulated day: the charger wakes in BULK, reaches ABSORPTION and
// FLOAT on a sunny day, sleeps at night, and the day records move on.
TEST(DeviceModel, DayRunsThroughTheChargerStates) {
    ModelSetup setup;
    setup.seed = 5;
    setup.startMinute = 0;
    DeviceModel model(setup);
    HistoryDay yesterday = model.day(1);
    std::set<int> states;
    int noonPanel = 0, nightPanel = -1;
    for (int minute = 1; minute <= 24 * 60; ++minute) {
        model.advanceTo(minute * 60.0);
        states.insert(model.live().state);
        if (minute == 13 * 60) noonPanel = model.live().panelVoltage;
        if (minute == 2 * 60) nightPanel = model.live().panelVoltage;
    }
    EXPECT_EQ(states, (std::set<int>{kStateOff, kStateBulk, kStateAbsorption, kStateFloat}));
    EXPECT_GT(noonPanel, 3000);
    EXPECT_EQ(nightPanel, 0);
    // Midnight passed: yesterday's record is now day 2, and today's is new.
    EXPECT_EQ(model.day(2).dayNumber, yesterday.dayNumber);
    EXPECT_EQ(model.day(2).yield, yesterday.yield);
    EXPECT_EQ(model.day(0).dayNumber, yesterday.dayNumber + 2);
    EXPECT_GT(model.day(1).yield, 0u);
}

TEST(DeviceModel, CountersOnlyGrowDuringTheDay) {
    ModelSetup setup;
    setup.seed = 9;
    setup.startMinute = 6 * 60;
    DeviceModel model(setup);
    std::uint32_t yield = 0, total = 0;
    for (int minute = 1; minute < 17 * 60; minute += 5) {
        model.advanceTo(minute * 60.0);
        EXPECT_GE(model.day(0).yield, yield) << minute;
        EXPECT_GE(model.total().userYield, total) << minute;
        yield = model.day(0).yield;
        total = model.total().userYield;
    }
    EXPECT_GT(yield, 20u) << "a day's sun yields something";
}

TEST(DeviceModel, StepsDoNotDependOnHowOftenItIsAdvanced) {
    ModelSetup setup;
    setup.seed = 11;
    DeviceModel often(setup), once(setup);
    for (int s = 1; s <= 7200; ++s) often.advanceTo(s);
    once.advanceTo(7200.5);
    EXPECT_EQ(often.live().batteryVoltage, once.live().batteryVoltage);
    EXPECT_EQ(often.live().panelPower, once.live().panelPower);
    EXPECT_EQ(often.day(0).yield, once.day(0).yield);
}

TEST(DeviceModel, FrozenModelDoesNotMove) {
    ModelSetup setup;
    setup.frozen = true;
    setup.seed = 1234;
    DeviceModel model(setup);
    model.advanceTo(86400.0 * 3);
    EXPECT_EQ(model.live().state, kStateBulk);
    EXPECT_EQ(model.live().batteryVoltage, 1345);
    EXPECT_EQ(model.total().days, 45);
}

}  // namespace
}  // namespace tessline
