#include "plot/column_roles.h"

namespace tessline {

namespace {

const char* const kQuantityNames[kQuantities] = {"panel power", "panel voltage", "battery voltage",
                                                 "charge current", "load current"};
const char* const kQuantityUnits[kQuantities] = {"W", "V", "V", "A", "A"};

constexpr ColumnRole quantityRole(Quantity quantity) {
    return ColumnRole{ColumnRole::quantity, static_cast<int>(quantity)};
}

ColumnRole roleOf(PlotRole role, int day) {
    switch (role) {
    case PlotRole::none: break;
    case PlotRole::time: return ColumnRole{ColumnRole::time, 0};
    case PlotRole::chargeState: return ColumnRole{ColumnRole::state, 0};
    case PlotRole::panelPower: return quantityRole(Quantity::panelPower);
    case PlotRole::panelVoltage: return quantityRole(Quantity::panelVoltage);
    case PlotRole::batteryVoltage: return quantityRole(Quantity::batteryVoltage);
    case PlotRole::chargeCurrent: return quantityRole(Quantity::chargeCurrent);
    case PlotRole::loadCurrent: return quantityRole(Quantity::loadCurrent);
    case PlotRole::dayYield: return ColumnRole{ColumnRole::dayYield, day};
    case PlotRole::dayMaxPower: return ColumnRole{ColumnRole::dayMaxPower, day};
    }
    return ColumnRole{};
}

}  // namespace

ColumnRole columnRole(std::string_view header) {
    HeaderMatch match = fieldOfHeader(header);
    return match.field ? roleOf(match.field->plot, match.day) : ColumnRole{};
}

const char* quantityName(Quantity quantity) { return kQuantityNames[static_cast<int>(quantity)]; }
const char* quantityUnit(Quantity quantity) { return kQuantityUnits[static_cast<int>(quantity)]; }

ChargeState chargeState(int index) { return {enumName(chargeStates(), index), chargeStateColour(index)}; }

int chargeStateIndex(std::string_view name) { return nameIndex(chargeStates(), name); }

}  // namespace tessline
