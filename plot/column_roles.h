// What the plot takes from each column of a solwatch table, found by the
// column's header, whatever its position and whichever table it is in.
#pragma once

#include <string_view>

#include "fields/field_catalogue.h"

namespace tessline {

// The measured quantities that the plot draws as lines.
enum class Quantity { panelPower, panelVoltage, batteryVoltage, chargeCurrent, loadCurrent };
constexpr int kQuantities = 5;

struct ColumnRole {
    enum Kind { unused, time, state, quantity, dayYield, dayMaxPower };
    Kind kind = unused;
    int index = 0;  // the Quantity, or the history day (0 is today)
};

constexpr int kHistoryDayCount = kDayRecords;

// The role of a column by its header, as the catalogue gives its field.
ColumnRole columnRole(std::string_view header);

// The quantity's series name ("panel power") and unit ("W").
const char* quantityName(Quantity quantity);
const char* quantityUnit(Quantity quantity);

// Charge states in solwatch's names, each with its band colour, as the
// catalogue lists them.
struct ChargeState {
    const char* name;
    const char* colour;  // "#rrggbb"
};
constexpr int kChargeStates = kChargeStateNames;
ChargeState chargeState(int index);

// The index of a state name in the table; a name it does not know is the
// "UNKNOWN" state.
int chargeStateIndex(std::string_view name);

}  // namespace tessline
