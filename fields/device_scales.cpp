#include "fields/device_scales.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace tessline {

namespace {

constexpr DeviceScale kNumber{"", 1};
constexpr DeviceScale kCentivolt{"V", 100};
constexpr DeviceScale kMillivolt{"V", 1000};
constexpr DeviceScale kDeciampere{"A", 10};
constexpr DeviceScale kMilliampere{"A", 1000};
constexpr DeviceScale kWatt{"W", 1};
constexpr DeviceScale kCentiwatt{"W", 100};
constexpr DeviceScale kCentidegree{"C", 100};
constexpr DeviceScale kHundredthKilowattHour{"kWh", 100};
constexpr DeviceScale kMinute{"min", 1};
constexpr DeviceScale kPercent{"%", 1};

const RegisterScale kRegisters[] = {
    {0x0201, kNumber, "CS", kNumber},                 // charge state
    {0xEDD7, kDeciampere, "I", kMilliampere},         // battery (charger) current
    {0xEDD5, kCentivolt, "V", kMillivolt},            // battery voltage
    {0xEDBD, kDeciampere, nullptr, kDeciampere},      // panel current
    {0xEDBB, kCentivolt, "VPV", kMillivolt},          // panel voltage
    {0xEDBC, kCentiwatt, "PPV", kWatt},               // panel power
    {0xEDDB, kCentidegree, nullptr, kCentidegree},    // charger temperature
    {0xEDDA, kNumber, "ERR", kNumber},                // error code
    {0xEDA8, kNumber, "LOAD", kNumber},               // load output state; TEXT says ON or OFF
    {0xEDAD, kDeciampere, "IL", kMilliampere},        // load current
    {0xEDD4, kNumber, nullptr, kNumber},              // additional charger state
    {0x2030, kNumber, nullptr, kNumber},              // real-time clock state
    {0x2031, kMinute, nullptr, kMinute},              // real-time clock: minute of the day
    {0xEDA6, kPercent, nullptr, kPercent},            // light level of the load output
    {0xED96, kNumber, nullptr, kNumber},              // clock stratum
    {0xED95, kMinute, nullptr, kMinute},              // expected switch-on
    {0xED94, kMinute, nullptr, kMinute},              // expected switch-off
    {0xED93, kMinute, nullptr, kMinute},              // last switch-off
    {0xED92, kMinute, nullptr, kMinute},              // last switch-on
    {0xEE80, kMillivolt, nullptr, kMillivolt},        // channel: battery voltage
    {0xEE81, kMilliampere, nullptr, kMilliampere},    // channel: charger current
    {0xEE82, kMillivolt, nullptr, kMillivolt},        // channel: panel voltage
    {0xEE83, kMilliampere, nullptr, kMilliampere},    // channel: panel current
    {0xEE84, kMilliampere, nullptr, kMilliampere},    // channel: load current
    {0xEE85, kMilliampere, nullptr, kMilliampere},    // channel: second output current
    {0xEDDC, kHundredthKilowattHour, "H19", kHundredthKilowattHour},  // user yield
    {0xEDD3, kHundredthKilowattHour, "H20", kHundredthKilowattHour},  // yield today
    {0xEDD2, kWatt, "H21", kWatt},                            // maximum power today
    {0xEDD1, kHundredthKilowattHour, "H22", kHundredthKilowattHour},  // yield yesterday
    {0xEDD0, kWatt, "H23", kWatt},                            // maximum power yesterday
    {0xEDDF, kDeciampere, nullptr, kDeciampere},              // rating: maximum charge current
    {0xEDB8, kCentivolt, nullptr, kCentivolt},                // rating: maximum panel voltage
};

struct RecordFieldScale {
    Record record;
    const char* key;
    DeviceScale scale;
};

const RecordFieldScale kRecordFields[] = {
    {Record::total, "err_0", kNumber},
    {Record::total, "err_1", kNumber},
    {Record::total, "err_2", kNumber},
    {Record::total, "err_3", kNumber},
    {Record::total, "yield_user_kwh", kHundredthKilowattHour},
    {Record::total, "yield_sys_kwh", kHundredthKilowattHour},
    {Record::total, "vpnl_max_v", kCentivolt},
    {Record::total, "vbat_max_v", kCentivolt},
    {Record::total, "days", kNumber},
    {Record::total, "vbat_min_v", kCentivolt},
    {Record::day, "yield_kwh", kHundredthKilowattHour},
    {Record::day, "cons_kwh", kHundredthKilowattHour},
    {Record::day, "vbat_max_v", kCentivolt},
    {Record::day, "vbat_min_v", kCentivolt},
    {Record::day, "err_0", kNumber},
    {Record::day, "err_1", kNumber},
    {Record::day, "err_2", kNumber},
    {Record::day, "err_3", kNumber},
    {Record::day, "timebulk_min", kMinute},
    {Record::day, "timeabs_min", kMinute},
    {Record::day, "timefloat_min", kMinute},
    {Record::day, "pmax_w", kWatt},
    {Record::day, "ibat_max_a", kDeciampere},
    {Record::day, "vpnl_max_v", kCentivolt},
    {Record::day, "day", kNumber},
};

}  // namespace

long long DeviceScale::toSteps(double value) const { return std::llround(value * steps); }

long long DeviceScale::restep(long long number, const DeviceScale& from) const {
    if (steps % from.steps == 0) return number * (steps / from.steps);
    return std::llround(static_cast<double>(number) * steps / from.steps);
}

const RegisterScale& registerScale(std::uint16_t id) {
    for (const RegisterScale& entry : kRegisters)
        if (entry.id == id) return entry;
    throw std::logic_error("no scale for register " + std::to_string(id));
}

const DeviceScale& hexScale(std::uint16_t id) { return registerScale(id).hex; }

const DeviceScale& textScale(std::uint16_t id) { return registerScale(id).text; }

const DeviceScale& recordFieldScale(Record record, std::string_view key) {
    for (const RecordFieldScale& entry : kRecordFields)
        if (entry.record == record && key == entry.key) return entry.scale;
    throw std::logic_error("no scale for the record field \"" + std::string(key) + "\"");
}

}  // namespace tessline
