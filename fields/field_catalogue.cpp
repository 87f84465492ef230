#include "fields/field_catalogue.h"

#include <charconv>
#include <iterator>
#include <stdexcept>

namespace tessline {

namespace {

// Units. Yields count up and restart; Home Assistant's energy view wants
// that ("total_increasing").
const Unit kVolt{"V", "V", 1, "voltage", "measurement"};
const Unit kAmpere{"A", "A", 1, "current", "measurement"};
const Unit kWatt{"W", "W", 1, "power", "measurement"};
const Unit kCelsius{"C", "°C", 1, "temperature", "measurement"};
const Unit kKilowattHour{"kWh", "kWh", 3.6e6, "energy", "total_increasing"};
const Unit kMinute{"min", "min", 60, "duration", "measurement"};
const Unit kPercent{"%", "%", 0.01, nullptr, "measurement"};

// Enumerations. 255 is the charger's "not available" state.
const char* const kStateNames[] = {"OFF",        "LOW_POWER_MODE", "FAULT",     "BULK",
                                   "ABSORPTION", "FLOAT",          "STORAGE",   "EQUALIZE",
                                   "PASSTHRU",   "INVERTING",      "ASSISTING", "PSU"};
const Enumeration kStates{kStateNames, static_cast<int>(std::size(kStateNames)), 255};
const char* const kOnOffNames[] = {"OFF", "ON"};
const Enumeration kOnOff{kOnOffNames, 2, -1};
const char* const kDayNightNames[] = {"NIGHT", "DAY"};
const Enumeration kDayNight{kDayNightNames, 2, -1};

// One colour per name of allNames(kStates): the states, UNAVAILABLE, UNKNOWN.
const char* const kStateColours[] = {"#9e9e9e", "#c7c7c7", "#d62728", "#ff9f1c", "#f2d024", "#2ca02c", "#17becf",
                                     "#9467bd", "#8c564b", "#e377c2", "#bcbd22", "#1f77b4", "#e0e0e0", "#404040"};
static_assert(std::size(kStateColours) == std::size(kStateNames) + 2, "a colour for each charge state");
static_assert(std::size(kStateColours) == kChargeStateNames, "the charge states' count");

// Metric families of the columns, in the page's order.
const MetricFamily kBatteryVoltage{"solwatch_battery_voltage_volts", "gauge", "Battery voltage (charger output voltage on the fast table).", nullptr};
const MetricFamily kBatteryCurrent{"solwatch_battery_current_amperes", "gauge", "Battery charge current (charger output current on the fast table).", nullptr};
const MetricFamily kPanelVoltage{"solwatch_panel_voltage_volts", "gauge", "Solar panel voltage.", nullptr};
const MetricFamily kPanelCurrent{"solwatch_panel_current_amperes", "gauge", "Solar panel current.", nullptr};
const MetricFamily kPanelPower{"solwatch_panel_power_watts", "gauge", "Solar panel power.", nullptr};
const MetricFamily kOutputVoltage{"solwatch_output_voltage_volts", "gauge", "Voltage of the outputs.", nullptr};
const MetricFamily kOutputCurrent{"solwatch_output_current_amperes", "gauge", "Current of each output.", nullptr};
const MetricFamily kTemperature{"solwatch_temperature_celsius", "gauge", "Charger temperature.", nullptr};
const MetricFamily kLoadCurrent{"solwatch_load_current_amperes", "gauge", "Load output current.", nullptr};
const MetricFamily kLoadOn{"solwatch_load_on", "gauge", "Whether the load output is on (1) or off (0).", nullptr};
const MetricFamily kErrorCode{"solwatch_error_code", "gauge", "The charger's error code (0: no error).", nullptr};
const MetricFamily kLightRatio{"solwatch_light_ratio", "gauge", "Street light dimming level (0 to 1).", nullptr};
const MetricFamily kChargeState{"solwatch_charge_state", "gauge", "The charge state: 1 for the current one, 0 for the others.", "state"};
const MetricFamily kYieldToday{"solwatch_yield_today_joules", "gauge", "Energy harvested today.", nullptr};
const MetricFamily kYieldTotal{"solwatch_yield_joules_total", "counter", "Energy harvested since the user's last reset.", nullptr};
const MetricFamily kMaxPowerToday{"solwatch_max_power_today_watts", "gauge", "Highest panel power today.", nullptr};

// Plain arrays, constant-initialised: tables built by other files' static
// objects may read them before any dynamic initialisation.
const MetricFamily* const kFamilies[] = {
    &kBatteryVoltage, &kBatteryCurrent, &kPanelVoltage, &kPanelCurrent, &kPanelPower, &kOutputVoltage,
    &kOutputCurrent,  &kTemperature,    &kLoadCurrent,  &kLoadOn,       &kErrorCode,  &kLightRatio,
    &kChargeState,    &kYieldToday,     &kYieldTotal,   &kMaxPowerToday,
};

constexpr Record L = Record::live;
constexpr Record T = Record::total;
constexpr Record D = Record::day;
constexpr FieldKind kInt = FieldKind::integer;
constexpr FieldKind kDec = FieldKind::decimal;
constexpr FieldKind kEnum = FieldKind::enumeration;
constexpr FieldKind kClock = FieldKind::clockTime;
using P = PlotRole;
using Tile = PageTile;

// The full table says "bat", the fast table "chr" (charger output), the
// channels table "out"; all three are the battery side.
const Field kFields[] = {
    // record key header name kind digits names unit metric labels plot tile
    {L, "timestamp", "Timestamp", "Timestamp", FieldKind::timestamp, 0, nullptr, nullptr, nullptr, "", P::time, Tile::none},
    {L, "customstate", "Custom State", "Custom State", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {L, "state", "State", "State", kEnum, 0, &kStates, nullptr, &kChargeState, "", P::chargeState, Tile::chargeState},
    {L, "vbat_v", "Vbat[V]", "Vbat", kDec, 2, nullptr, &kVolt, &kBatteryVoltage, "", P::batteryVoltage, Tile::batteryVoltage},
    {L, "vchr_v", "Vchr[V]", "Vchr", kDec, 2, nullptr, &kVolt, &kBatteryVoltage, "", P::batteryVoltage, Tile::batteryVoltage},
    {L, "ibat_a", "Ibat[A]", "Ibat", kDec, 1, nullptr, &kAmpere, &kBatteryCurrent, "", P::chargeCurrent, Tile::batteryCurrent},
    {L, "ichr_a", "Ichr[A]", "Ichr", kDec, 1, nullptr, &kAmpere, &kBatteryCurrent, "", P::chargeCurrent, Tile::batteryCurrent},
    {L, "vpnl_v", "Vpnl[V]", "Vpnl", kDec, 1, nullptr, &kVolt, &kPanelVoltage, "", P::panelVoltage, Tile::panelVoltage},
    {L, "vpanel", "Vpanel", "Vpanel", kDec, 3, nullptr, &kVolt, &kPanelVoltage, "", P::panelVoltage, Tile::panelVoltage},
    {L, "ipnl_a", "Ipnl[A]", "Ipnl", kDec, 1, nullptr, &kAmpere, &kPanelCurrent, "", P::none, Tile::none},
    {L, "ppnl_w", "Ppnl[W]", "Ppnl", kDec, 1, nullptr, &kWatt, &kPanelPower, "", P::panelPower, Tile::panelPower},
    {L, "vout", "Vout", "Vout", kDec, 3, nullptr, &kVolt, &kOutputVoltage, "", P::batteryVoltage, Tile::batteryVoltage},
    {L, "iout1", "Iout1", "Iout1", kDec, 3, nullptr, &kAmpere, &kOutputCurrent, "output=\"1\"", P::chargeCurrent, Tile::batteryCurrent},
    {L, "iout2", "Iout2", "Iout2", kDec, 3, nullptr, &kAmpere, &kOutputCurrent, "output=\"2\"", P::none, Tile::none},
    {L, "temp_c", "Temp[C]", "Temp", kDec, 1, nullptr, &kCelsius, &kTemperature, "", P::none, Tile::temperature},
    {L, "temp", "Temp", "Temp", kDec, 1, nullptr, &kCelsius, &kTemperature, "", P::none, Tile::temperature},
    {L, "iload_a", "Iload[A]", "Iload", kDec, 1, nullptr, &kAmpere, &kLoadCurrent, "", P::loadCurrent, Tile::loadCurrent},
    {L, "load", "Load", "Load", kEnum, 0, &kOnOff, nullptr, &kLoadOn, "", P::none, Tile::load},
    {L, "err", "Err", "Err", kInt, 0, nullptr, nullptr, &kErrorCode, "", P::none, Tile::none},
    {L, "light_pct", "Light[%]", "Light", kInt, 0, nullptr, &kPercent, &kLightRatio, "", P::none, Tile::none},
    {L, "rtcstate", "RtcState", "RtcState", kEnum, 0, &kDayNight, nullptr, nullptr, "", P::none, Tile::none},
    {L, "rtctime", "RtcTime", "RtcTime", kClock, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {L, "rtcstratum", "rtcStratum", "rtcStratum", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {L, "rtctonexpected", "rtcTonExpected", "rtcTonExpected", kClock, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {L, "rtctoffexpected", "rtcToffExpected", "rtcToffExpected", kClock, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {L, "rtcofftime", "rtcOffTime", "rtcOffTime", kClock, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {L, "rtcontime", "rtcOnTime", "rtcOnTime", kClock, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    // Older chargers' history as live TEXT values.
    {L, "yield_user_kwh", "Yield_user[kWh]", "Yield_user", kDec, 1, nullptr, &kKilowattHour, &kYieldTotal, "", P::none, Tile::none},
    {L, "yield_today_kwh", "Yield_today[kWh]", "Yield_today", kDec, 1, nullptr, &kKilowattHour, &kYieldToday, "", P::none, Tile::yieldToday},
    {L, "pmax_today_w", "Pmax_today[W]", "Pmax_today", kDec, 0, nullptr, &kWatt, &kMaxPowerToday, "", P::none, Tile::none},
    {L, "yield_yesterday_kwh", "Yield_yesterday[kWh]", "Yield_yesterday", kDec, 1, nullptr, &kKilowattHour, nullptr, "", P::none, Tile::none},
    {L, "pmax_yesterday_w", "Pmax_yesterday[W]", "Pmax_yesterday", kDec, 0, nullptr, &kWatt, nullptr, "", P::none, Tile::none},
    // The total record, in record order.
    {T, "err_0", "Err[0]", "Err 0", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {T, "err_1", "Err[1]", "Err 1", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {T, "err_2", "Err[2]", "Err 2", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {T, "err_3", "Err[3]", "Err 3", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {T, "yield_user_kwh", "Yield_user[kWh]", "Yield_user", kDec, 2, nullptr, &kKilowattHour, &kYieldTotal, "", P::none, Tile::none},
    {T, "yield_sys_kwh", "Yield_sys[kWh]", "Yield_sys", kDec, 2, nullptr, &kKilowattHour, nullptr, "", P::none, Tile::none},
    {T, "vpnl_max_v", "Vpnl_max[V]", "Vpnl_max", kDec, 1, nullptr, &kVolt, nullptr, "", P::none, Tile::none},
    {T, "vbat_max_v", "Vbat_max[V]", "Vbat_max", kDec, 2, nullptr, &kVolt, nullptr, "", P::none, Tile::none},
    {T, "days", "#Days", "#Days", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {T, "vbat_min_v", "Vbat_min[V]", "Vbat_min", kDec, 2, nullptr, &kVolt, nullptr, "", P::none, Tile::none},
    // A day record, in record order.
    {D, "yield_kwh", "Yield[kWh]", "Yield", kDec, 2, nullptr, &kKilowattHour, &kYieldToday, "", P::dayYield, Tile::yieldToday},
    {D, "cons_kwh", "Cons[kWh]", "Cons", kDec, 2, nullptr, &kKilowattHour, nullptr, "", P::none, Tile::none},
    {D, "vbat_max_v", "Vbat_max[V]", "Vbat_max", kDec, 2, nullptr, &kVolt, nullptr, "", P::none, Tile::none},
    {D, "vbat_min_v", "Vbat_min[V]", "Vbat_min", kDec, 2, nullptr, &kVolt, nullptr, "", P::none, Tile::none},
    {D, "err_0", "Err[0]", "Err 0", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {D, "err_1", "Err[1]", "Err 1", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {D, "err_2", "Err[2]", "Err 2", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {D, "err_3", "Err[3]", "Err 3", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
    {D, "timebulk_min", "TimeBulk[min]", "TimeBulk", kInt, 0, nullptr, &kMinute, nullptr, "", P::none, Tile::none},
    {D, "timeabs_min", "TimeAbs[min]", "TimeAbs", kInt, 0, nullptr, &kMinute, nullptr, "", P::none, Tile::none},
    {D, "timefloat_min", "TimeFloat[min]", "TimeFloat", kInt, 0, nullptr, &kMinute, nullptr, "", P::none, Tile::none},
    {D, "pmax_w", "Pmax[W]", "Pmax", kInt, 0, nullptr, &kWatt, &kMaxPowerToday, "", P::dayMaxPower, Tile::none},
    {D, "ibat_max_a", "Ibat_max[A]", "Ibat_max", kDec, 1, nullptr, &kAmpere, nullptr, "", P::none, Tile::none},
    {D, "vpnl_max_v", "Vpnl_max[V]", "Vpnl_max", kDec, 1, nullptr, &kVolt, nullptr, "", P::none, Tile::none},
    {D, "day", "Day#", "Day#", kInt, 0, nullptr, nullptr, nullptr, "", P::none, Tile::none},
};

const char* const kDayPrefix = "Day";

struct TileText {
    const char* id;
    const char* label;
};
// Each tile's texts, by a switch without a default: a tile added to the
// enumeration and not here stops the build.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wswitch"
constexpr TileText tileText(PageTile tile) {
    switch (tile) {
        case Tile::none: return {"", ""};
        case Tile::batteryVoltage: return {"battery-voltage", "Battery voltage"};
        case Tile::batteryCurrent: return {"battery-current", "Battery current"};
        case Tile::panelPower: return {"panel-power", "Panel power"};
        case Tile::panelVoltage: return {"panel-voltage", "Panel voltage"};
        case Tile::chargeState: return {"charge-state", "Charge state"};
        case Tile::yieldToday: return {"yield-today", "Yield today"};
        case Tile::temperature: return {"temperature", "Temperature"};
        case Tile::load: return {"load", "Load"};
        case Tile::loadCurrent: return {"load-current", "Load current"};
    }
    return {"", ""};  // no tile of the enumeration
}
#pragma GCC diagnostic pop

// "<d><rest>" with d a day number without a leading zero; the day and rest.
bool splitDay(std::string_view text, int& day, std::string_view& rest) {
    const char* end = text.data() + text.size();
    if (text.size() > 1 && text[0] == '0' && text[1] >= '0' && text[1] <= '9') return false;
    auto result = std::from_chars(text.data(), end, day);
    if (result.ec != std::errc() || day < 0 || day >= kDayRecords) return false;
    rest = std::string_view(result.ptr, static_cast<std::size_t>(end - result.ptr));
    return true;
}

const Field* findField(Record record, std::string_view header) {
    for (const Field& field : allFields())
        if (field.record == record && header == field.header) return &field;
    return nullptr;
}

}  // namespace

const std::vector<Field>& allFields() {
    // Every Field pointer handed out points into this one copy.
    static const std::vector<Field> fields(std::begin(kFields), std::end(kFields));
    return fields;
}

const Field& catalogueField(Record record, std::string_view key) {
    for (const Field& field : allFields())
        if (field.record == record && key == field.key) return field;
    throw std::logic_error("no field \"" + std::string(key) + "\" in the catalogue");
}

std::string columnHeader(const Field& field, int day) {
    if (field.record != Record::day) return field.header;
    return kDayPrefix + std::to_string(day) + field.header;
}

HeaderMatch fieldOfHeader(std::string_view header) {
    if (const Field* live = findField(Record::live, header)) return {live, 0};
    int day = 0;
    std::string_view rest;
    if (header.substr(0, 3) == kDayPrefix && splitDay(header.substr(3), day, rest))
        if (const Field* dayField = findField(Record::day, rest)) return {dayField, day};
    return {findField(Record::total, header), 0};
}

const std::vector<const MetricFamily*>& metricFamilies() {
    static const std::vector<const MetricFamily*> families(std::begin(kFamilies), std::end(kFamilies));
    return families;
}

std::vector<std::string> allNames(const Enumeration& names) {
    std::vector<std::string> all(names.names, names.names + names.count);
    if (names.unavailableValue >= 0) all.push_back("UNAVAILABLE");
    all.push_back("UNKNOWN");
    return all;
}

int enumIndex(const Enumeration& names, long long value) {
    if (value >= 0 && value < names.count) return static_cast<int>(value);
    bool unavailable = names.unavailableValue >= 0 && value == names.unavailableValue;
    return names.count + (names.unavailableValue >= 0 ? 1 : 0) - (unavailable ? 1 : 0);
}

const char* enumName(const Enumeration& names, int index) {
    if (index >= 0 && index < names.count) return names.names[index];
    if (names.unavailableValue >= 0 && index == names.count) return "UNAVAILABLE";
    return "UNKNOWN";
}

int nameIndex(const Enumeration& names, std::string_view name) {
    int unknown = names.count + (names.unavailableValue >= 0 ? 1 : 0);
    for (int i = 0; i < unknown; ++i)
        if (name == enumName(names, i)) return i;
    return unknown;
}

const Enumeration& chargeStates() { return kStates; }

const char* chargeStateColour(int index) {
    int last = static_cast<int>(std::size(kStateColours)) - 1;
    return kStateColours[index >= 0 && index < last ? index : last];
}

const char* tileId(PageTile tile) { return tileText(tile).id; }
const char* tileLabel(PageTile tile) { return tileText(tile).label; }

}  // namespace tessline
