#include "plot/column_roles.h"

#include <array>
#include <charconv>

namespace tessline {

namespace {

struct NamedRole {
    const char* header;
    ColumnRole role;
};

constexpr ColumnRole quantityRole(Quantity quantity) {
    return ColumnRole{ColumnRole::quantity, static_cast<int>(quantity)};
}

// The full table says "bat", the fast table "chr" (charger output), the
// channels table "out"; all three are the battery side.
const NamedRole kNamedRoles[] = {
    {"Timestamp", {ColumnRole::time, 0}},
    {"State", {ColumnRole::state, 0}},
    {"Ppnl[W]", quantityRole(Quantity::panelPower)},
    {"Vpnl[V]", quantityRole(Quantity::panelVoltage)},
    {"Vpanel", quantityRole(Quantity::panelVoltage)},
    {"Vbat[V]", quantityRole(Quantity::batteryVoltage)},
    {"Vchr[V]", quantityRole(Quantity::batteryVoltage)},
    {"Vout", quantityRole(Quantity::batteryVoltage)},
    {"Ibat[A]", quantityRole(Quantity::chargeCurrent)},
    {"Ichr[A]", quantityRole(Quantity::chargeCurrent)},
    {"Iout1", quantityRole(Quantity::chargeCurrent)},
    {"Iload[A]", quantityRole(Quantity::loadCurrent)},
};

const char* const kQuantityNames[kQuantities] = {"panel power", "panel voltage", "battery voltage",
                                                 "charge current", "load current"};
const char* const kQuantityUnits[kQuantities] = {"W", "V", "V", "A", "A"};

// "Day<d><field>" with d from 0 to 30, as the day records' headers read.
bool dayColumn(std::string_view header, std::string_view field, int& day) {
    if (header.substr(0, 3) != "Day" || header.size() <= field.size() + 3) return false;
    std::string_view number = header.substr(3, header.size() - 3 - field.size());
    if (header.substr(header.size() - field.size()) != field) return false;
    if (number.size() > 1 && number[0] == '0') return false;
    auto result = std::from_chars(number.data(), number.data() + number.size(), day);
    return result.ec == std::errc() && result.ptr == number.data() + number.size() && day >= 0 &&
           day < kHistoryDayCount;
}

}  // namespace

const ChargeState kChargeStateTable[kChargeStates] = {
    {"OFF", "#9e9e9e"},        {"LOW_POWER_MODE", "#c7c7c7"}, {"FAULT", "#d62728"},
    {"BULK", "#ff9f1c"},       {"ABSORPTION", "#f2d024"},     {"FLOAT", "#2ca02c"},
    {"STORAGE", "#17becf"},    {"EQUALIZE", "#9467bd"},       {"PASSTHRU", "#8c564b"},
    {"INVERTING", "#e377c2"},  {"ASSISTING", "#bcbd22"},      {"PSU", "#1f77b4"},
    {"UNAVAILABLE", "#e0e0e0"}, {"UNKNOWN", "#404040"},
};

ColumnRole columnRole(std::string_view header) {
    for (const NamedRole& named : kNamedRoles)
        if (header == named.header) return named.role;
    int day = 0;
    if (dayColumn(header, "Yield[kWh]", day)) return ColumnRole{ColumnRole::dayYield, day};
    if (dayColumn(header, "Pmax[W]", day)) return ColumnRole{ColumnRole::dayMaxPower, day};
    return ColumnRole{};
}

const char* quantityName(Quantity quantity) { return kQuantityNames[static_cast<int>(quantity)]; }
const char* quantityUnit(Quantity quantity) { return kQuantityUnits[static_cast<int>(quantity)]; }

int chargeStateIndex(std::string_view name) {
    // Asked for every row: the names' lengths are taken once.
    static const auto kNames = [] {
        std::array<std::string_view, kChargeStates> names;
        for (int i = 0; i < kChargeStates; ++i) names[i] = kChargeStateTable[i].name;
        return names;
    }();
    for (int i = 0; i < kChargeStates; ++i)
        if (name == kNames[i]) return i;
    return kChargeStates - 1;
}

}  // namespace tessline
