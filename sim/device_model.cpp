#include "sim/device_model.h"

#include <algorithm>
#include <cmath>

#include "fields/device_scales.h"
#include "sim/sim_random.h"

namespace tessline {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSecondsPerDay = 86400;
constexpr double kAbsorptionVolts = 14.40;
constexpr double kFloatVolts = 13.80;
constexpr double kAbsorptionSeconds = 3600;
constexpr double kEfficiency = 0.96;
constexpr double kLoadAmps = 0.5;
constexpr double kCloudSegmentSeconds = 900;
constexpr unsigned kMaxDayCount = 254;  // 0xFF means "no value" in the record

// The device's numbers: each value in the steps that the program reads it
// in, from the one table of scales.
std::uint16_t scaled16(double value, const DeviceScale& scale) {
    return static_cast<std::uint16_t>(std::clamp(scale.toSteps(value), 0LL, 65535LL));
}

const DeviceScale& dayScale(const char* key) { return recordFieldScale(Record::day, key); }
const DeviceScale& totalScale(const char* key) { return recordFieldScale(Record::total, key); }

constexpr double kWattHoursPerKilowattHour = 1000;

// An energy counter of the records, in kWh steps.
std::uint32_t energySteps(double wattHours, const DeviceScale& scale) {
    return static_cast<std::uint32_t>(std::max(0.0, std::round(wattHours / (kWattHoursPerKilowattHour / scale.steps))));
}

double wattHoursOf(std::uint32_t steps, const DeviceScale& scale) {
    return steps * (kWattHoursPerKilowattHour / scale.steps);
}

LiveValues frozenLive(bool loadOutput) {
    LiveValues v;
    v.state = kStateBulk;
    v.batteryVoltage = 1345;
    v.chargerCurrent = 42;
    v.panelVoltage = 3510;
    v.panelCurrent = 17;
    v.panelPower = 5820;
    v.temperature = 2530;
    v.loadOn = loadOutput;
    v.loadCurrent = loadOutput ? 5 : 0;
    v.daylight = true;
    v.minuteOfDay = 750;
    return v;
}

HistoryDay frozenDay(unsigned d) {
    HistoryDay day;
    day.present = true;
    day.yield = 1000 + 10 * d;
    day.consumption = 150 + d;
    day.batteryMax = 1440;
    day.batteryMin = 1250;
    day.minutesBulk = 180;
    day.minutesAbsorption = 60;
    day.minutesFloat = 240;
    day.maxPowerWatts = 250 + d;
    day.maxBatteryCurrent = 150;
    day.panelMax = 4200;
    day.dayNumber = static_cast<std::uint16_t>(44 - d);
    return day;
}

HistoryTotal frozenTotal() {
    HistoryTotal total;
    total.userYield = 45678;
    total.systemYield = 45678;
    total.panelMax = 4500;
    total.batteryMax = 1460;
    total.days = 45;
    total.batteryMin = 1180;
    return total;
}

// The clear-sky share of full sun at a second of the day.
double sunCurve(double secondOfDay) {
    double rise = DeviceModel::kSunriseMinute * 60.0;
    double set = DeviceModel::kSunsetMinute * 60.0;
    if (secondOfDay <= rise || secondOfDay >= set) return 0;
    return std::pow(std::sin(kPi * (secondOfDay - rise) / (set - rise)), 1.2);
}

}  // namespace

DeviceModel::DeviceModel(const ModelSetup& setup)
    : setup_(setup),
      panelWatts_(setup.maxChargeAmps * 14.0 * 1.3),
      capacityAh_(std::max(10.0, setup.maxChargeAmps * 7.0)) {
    if (setup_.frozen) {
        live_ = frozenLive(setup_.loadOutput);
        return;
    }
    soc_ = 0.35 + 0.3 * unitNoise(setup_.seed, 1);
    dayCount_ = 40 + static_cast<unsigned>(unitNoise(setup_.seed, 2) * 20);
    loadOn_ = setup_.loadOutput;
    batteryVolts_ = 11.8 + soc_;
    today_.batteryMax = today_.batteryMin = batteryVolts_;
    seedPastDays();
    step();
}

void DeviceModel::seedPastDays() {
    double panelVoltsMax = 0, batteryMax = 0, batteryMin = 99;
    for (unsigned d = 1; d < kHistoryDays && d < dayCount_; ++d) {
        double sunny = 0.3 + 0.7 * unitNoise(setup_.seed, 100 + d);
        HistoryDay day;
        day.present = true;
        day.yield = energySteps(panelWatts_ * 5.5 * sunny * kEfficiency, dayScale("yield_kwh"));
        day.consumption = energySteps(setup_.loadOutput ? kLoadAmps * 12.6 * 24 : 0, dayScale("cons_kwh"));
        bool full = sunny > 0.55;
        day.batteryMax = scaled16(full ? kAbsorptionVolts : 13.6 + 0.6 * sunny, dayScale("vbat_max_v"));
        day.batteryMin = scaled16(12.1 + 0.4 * unitNoise(setup_.seed, 200 + d), dayScale("vbat_min_v"));
        day.minutesBulk = static_cast<std::uint16_t>(120 + 150 * (1 - sunny));
        day.minutesAbsorption = full ? 60 : 0;
        day.minutesFloat = full ? static_cast<std::uint16_t>(400 * sunny) : 0;
        day.maxPowerWatts = static_cast<std::uint32_t>(panelWatts_ * (0.55 + 0.4 * sunny));
        day.maxBatteryCurrent =
            scaled16(std::min(setup_.maxChargeAmps, day.maxPowerWatts / 13.5), dayScale("ibat_max_a"));
        day.panelMax = scaled16(38 + 4 * sunny, dayScale("vpnl_max_v"));
        day.dayNumber = static_cast<std::uint16_t>(dayCount_ - 1 - d);
        pastDays_.push_back(day);
        panelVoltsMax = std::max(panelVoltsMax, dayScale("vpnl_max_v").fromSteps(day.panelMax));
        batteryMax = std::max(batteryMax, dayScale("vbat_max_v").fromSteps(day.batteryMax));
        batteryMin = std::min(batteryMin, dayScale("vbat_min_v").fromSteps(day.batteryMin));
    }
    unsigned olderDays = dayCount_ > kHistoryDays ? dayCount_ - kHistoryDays : 0;
    olderYieldWh_ = olderDays * panelWatts_ * 4.0;
    panelMaxEver_ = panelVoltsMax;
    batteryMaxEver_ = batteryMax;
    batteryMinEver_ = std::min(batteryMin, batteryVolts_);
}

void DeviceModel::advanceTo(double simSeconds) {
    if (setup_.frozen) return;
    auto target = static_cast<std::int64_t>(simSeconds);
    while (steps_ < target) {
        ++steps_;
        step();
    }
}

double DeviceModel::sunshine(double absSeconds) const {
    double secondOfDay = std::fmod(absSeconds, kSecondsPerDay);
    // Cloud cover changes smoothly between segments of a quarter hour.
    double segment = absSeconds / kCloudSegmentSeconds;
    auto index = static_cast<std::uint64_t>(segment);
    double along = segment - double(index);
    auto cover = [&](std::uint64_t i) { return 1.0 - 0.6 * std::pow(unitNoise(setup_.seed, 1000 + i), 3); };
    double clouds = cover(index) * (1 - along) + cover(index + 1) * along;
    return sunCurve(secondOfDay) * clouds;
}

double DeviceModel::loadAmps() const { return loadOn_ ? kLoadAmps : 0.0; }

void DeviceModel::step() {
    double absSeconds = setup_.startMinute * 60.0 + double(steps_);
    double secondOfDay = std::fmod(absSeconds, kSecondsPerDay);
    if (steps_ > 0 && secondOfDay == 0) rollDay();
    double sun = sunshine(absSeconds);
    runCharger(panelWatts_ * sun);
    runBattery(loadAmps());
    updateLoad();
    double panelWatts = chargeAmps_ * batteryVolts_ / kEfficiency;
    // A charger that takes less than the panel offers lets its voltage rise.
    bool limited = state_ == kStateAbsorption || state_ == kStateFloat;
    double panelVolts = sun <= 0 ? 0 : (limited ? 40.0 + 2.0 * sun : 31.0 + 5.0 * sun);
    publish(panelVolts, panelWatts, sun, secondOfDay);
    recordToday(panelVolts, panelWatts);
}

void DeviceModel::runCharger(double availableWatts) {
    if (availableWatts < 3) {
        state_ = kStateOff;
        chargeAmps_ = 0;
        absorptionSeconds_ = 0;
        return;
    }
    if (state_ == kStateOff) state_ = kStateBulk;
    double possible = std::min(setup_.maxChargeAmps, availableWatts * kEfficiency / batteryVolts_);
    switch (state_) {
    case kStateBulk:
        chargeAmps_ = possible;
        if (batteryVolts_ >= kAbsorptionVolts) state_ = kStateAbsorption;
        break;
    case kStateAbsorption: {
        double taper = setup_.maxChargeAmps * std::clamp((1 - soc_) * 4, 0.05, 1.0) + loadAmps();
        chargeAmps_ = std::min(possible, taper);
        absorptionSeconds_ += 1;
        if (absorptionSeconds_ >= kAbsorptionSeconds) state_ = kStateFloat;
        break;
    }
    default:
        chargeAmps_ = std::min(possible, loadAmps() + 0.3);
        break;
    }
}

void DeviceModel::runBattery(double loadAmps) {
    soc_ = std::clamp(soc_ + (chargeAmps_ - loadAmps) / 3600.0 / capacityAh_, 0.02, 1.0);
    switch (state_) {
    case kStateBulk:
        batteryVolts_ = std::min(kAbsorptionVolts, 12.2 + 2.4 * soc_ + 0.03 * chargeAmps_);
        break;
    case kStateAbsorption:
        batteryVolts_ = kAbsorptionVolts;
        break;
    case kStateFloat:
        batteryVolts_ = kFloatVolts;
        break;
    default:
        batteryVolts_ = 11.8 + 1.0 * soc_ - 0.04 * loadAmps;
        break;
    }
}

void DeviceModel::updateLoad() {
    if (!setup_.loadOutput) return;
    // Low-voltage disconnect with hysteresis, as a load output does.
    loadOn_ = loadOn_ ? batteryVolts_ > 11.5 : batteryVolts_ > 12.4;
}

void DeviceModel::publish(double panelVolts, double panelWatts, double sun, double secondOfDay) {
    live_.state = state_;
    live_.batteryVoltage = scaled16(batteryVolts_, hexScale(0xEDD5));
    live_.chargerCurrent = scaled16(chargeAmps_, hexScale(0xEDD7));
    live_.panelVoltage = scaled16(panelVolts, hexScale(0xEDBB));
    live_.panelCurrent = scaled16(panelVolts > 0 ? panelWatts / panelVolts : 0, hexScale(0xEDBD));
    live_.panelPower = scaled16(panelWatts, hexScale(0xEDBC));
    live_.temperature =
        static_cast<std::int16_t>(hexScale(0xEDDB).toSteps(15 + 13 * sun + 0.15 * chargeAmps_));
    live_.error = 0;
    live_.loadOn = loadOn_;
    live_.loadCurrent = scaled16(loadAmps(), hexScale(0xEDAD));
    live_.daylight = sunCurve(secondOfDay) > 0;
    live_.minuteOfDay = static_cast<std::uint16_t>(secondOfDay / 60);
    live_.lightPercent = (!live_.daylight && loadOn_) ? 100 : 0;
}

void DeviceModel::recordToday(double panelVolts, double panelWatts) {
    today_.yieldWh += chargeAmps_ * batteryVolts_ / 3600.0;
    today_.consumptionWh += loadAmps() * batteryVolts_ / 3600.0;
    today_.batteryMax = std::max(today_.batteryMax, batteryVolts_);
    today_.batteryMin = std::min(today_.batteryMin, batteryVolts_);
    if (state_ == kStateBulk) today_.bulkSeconds += 1;
    if (state_ == kStateAbsorption) today_.absorptionSeconds += 1;
    if (state_ == kStateFloat) today_.floatSeconds += 1;
    today_.maxPanelWatts = std::max(today_.maxPanelWatts, panelWatts);
    today_.maxChargeAmps = std::max(today_.maxChargeAmps, chargeAmps_);
    today_.maxPanelVolts = std::max(today_.maxPanelVolts, panelVolts);
    panelMaxEver_ = std::max(panelMaxEver_, panelVolts);
    batteryMaxEver_ = std::max(batteryMaxEver_, batteryVolts_);
    batteryMinEver_ = std::min(batteryMinEver_, batteryVolts_);
}

void DeviceModel::rollDay() {
    pastDays_.push_front(todayRecord());
    if (pastDays_.size() > kHistoryDays - 1) {
        olderYieldWh_ += wattHoursOf(pastDays_.back().yield, dayScale("yield_kwh"));
        pastDays_.pop_back();
    }
    dayCount_ = std::min(dayCount_ + 1, kMaxDayCount);
    today_ = Today{};
    today_.batteryMax = today_.batteryMin = batteryVolts_;
}

HistoryDay DeviceModel::todayRecord() const {
    HistoryDay day;
    day.present = true;
    day.yield = energySteps(today_.yieldWh, dayScale("yield_kwh"));
    day.consumption = energySteps(today_.consumptionWh, dayScale("cons_kwh"));
    day.batteryMax = scaled16(today_.batteryMax, dayScale("vbat_max_v"));
    day.batteryMin = scaled16(today_.batteryMin, dayScale("vbat_min_v"));
    day.minutesBulk = static_cast<std::uint16_t>(today_.bulkSeconds / 60);
    day.minutesAbsorption = static_cast<std::uint16_t>(today_.absorptionSeconds / 60);
    day.minutesFloat = static_cast<std::uint16_t>(today_.floatSeconds / 60);
    day.maxPowerWatts = static_cast<std::uint32_t>(dayScale("pmax_w").toSteps(today_.maxPanelWatts));
    day.maxBatteryCurrent = scaled16(today_.maxChargeAmps, dayScale("ibat_max_a"));
    day.panelMax = scaled16(today_.maxPanelVolts, dayScale("vpnl_max_v"));
    day.dayNumber = static_cast<std::uint16_t>(dayCount_ - 1);
    return day;
}

HistoryDay DeviceModel::day(unsigned d) const {
    if (setup_.frozen) return d < kHistoryDays ? frozenDay(d) : HistoryDay{};
    if (d == 0) return todayRecord();
    if (d - 1 < pastDays_.size()) return pastDays_[d - 1];
    return HistoryDay{};
}

HistoryTotal DeviceModel::total() const {
    if (setup_.frozen) return frozenTotal();
    double yieldWh = olderYieldWh_ + today_.yieldWh;
    for (const auto& day : pastDays_) yieldWh += wattHoursOf(day.yield, dayScale("yield_kwh"));
    HistoryTotal total;
    total.userYield = energySteps(yieldWh, totalScale("yield_user_kwh"));
    total.systemYield = total.userYield;
    total.panelMax = scaled16(panelMaxEver_, totalScale("vpnl_max_v"));
    total.batteryMax = scaled16(batteryMaxEver_, totalScale("vbat_max_v"));
    total.days = static_cast<std::uint8_t>(dayCount_);
    total.batteryMin = scaled16(batteryMinEver_, totalScale("vbat_min_v"));
    return total;
}

}  // namespace tessline
