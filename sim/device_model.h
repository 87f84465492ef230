// DeviceModel: a charger's day. A sun curve with passing clouds drives the
// panel; the charger goes through BULK, ABSORPTION and FLOAT while the battery
// voltage follows; a load draws from the battery; the day records grow.
// The model moves in fixed steps of simulated time, so its values depend only
// on the seed and on how much simulated time has passed.
#pragma once

#include <cstdint>
#include <deque>

#include "sim/live_values.h"

namespace tessline {

struct ModelSetup {
    std::uint64_t seed = 1;
    int startMinute = 750;  // simulated time of day at the start (12:30)
    bool frozen = false;    // documented fixed values, nothing moves
    bool loadOutput = true;
    double maxChargeAmps = 15;
};

class DeviceModel {
public:
    static constexpr unsigned kHistoryDays = 31;  // day 0 (today) to day 30
    static constexpr int kSunriseMinute = 6 * 60;
    static constexpr int kSunsetMinute = 20 * 60;

    explicit DeviceModel(const ModelSetup& setup);

    // Moves the model to `simSeconds` after its start; earlier times are ignored.
    void advanceTo(double simSeconds);

    const LiveValues& live() const { return live_; }
    HistoryDay day(unsigned d) const;  // d = 0 today ... 30
    HistoryTotal total() const;

private:
    struct Today {
        double yieldWh = 0, consumptionWh = 0;
        double batteryMax = 0, batteryMin = 0;
        double bulkSeconds = 0, absorptionSeconds = 0, floatSeconds = 0;
        double maxPanelWatts = 0, maxChargeAmps = 0, maxPanelVolts = 0;
    };

    void step();
    double sunshine(double absSeconds) const;
    void runCharger(double availableWatts);
    void runBattery(double loadAmps);
    void updateLoad();
    void publish(double panelVolts, double panelWatts, double sun, double secondOfDay);
    void recordToday(double panelVolts, double panelWatts);
    void rollDay();
    void seedPastDays();
    HistoryDay todayRecord() const;
    double loadAmps() const;

    ModelSetup setup_;
    double panelWatts_;
    double capacityAh_;
    std::int64_t steps_ = 0;  // simulated seconds since the start

    std::uint8_t state_ = kStateOff;
    double soc_ = 0.5;
    double batteryVolts_ = 12.5;
    double chargeAmps_ = 0;
    double absorptionSeconds_ = 0;
    bool loadOn_ = false;

    LiveValues live_;
    Today today_;
    std::deque<HistoryDay> pastDays_;  // day 1 first
    unsigned dayCount_ = 0;            // days on record, today included
    double olderYieldWh_ = 0;          // yield of days no longer on record
    double panelMaxEver_ = 0, batteryMaxEver_ = 0, batteryMinEver_ = 0;
};

}  // namespace tessline
