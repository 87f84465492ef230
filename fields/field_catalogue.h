// The field catalogue: one entry for every column solwatch can print, with
// the units, metric families, enumerations and charge-state colours they use.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "fields/field.h"

namespace tessline {

// Day records 0 (today) to 30.
constexpr int kDayRecords = 31;

// Every field, in the catalogue's order (which is also the priority where
// several fields feed one metric, plot role or tile).
const std::vector<Field>& allFields();

// The field of `record` with this key; throws std::logic_error when there
// is none, as a table that names an unknown field is a programming error.
const Field& catalogueField(Record record, std::string_view key);

// The column's CSV header: a day record's field with its day, "Day3Yield[kWh]".
std::string columnHeader(const Field& field, int day);

// The field of a CSV header as columnHeader() writes it, with the day of a
// day record's column; a live field before a total record's of the same
// header. {nullptr, 0} for a header the catalogue does not know.
struct HeaderMatch {
    const Field* field = nullptr;
    int day = 0;
};
HeaderMatch fieldOfHeader(std::string_view header);

// The live metric families, in the order of the metrics page.
const std::vector<const MetricFamily*>& metricFamilies();

// An enumeration's names for its cells' indexes: the names in value order,
// then "UNAVAILABLE" if it has that value, then "UNKNOWN".
std::vector<std::string> allNames(const Enumeration& names);
// The cell index of a value the device sent.
int enumIndex(const Enumeration& names, long long value);
// The name of a cell's index; "UNKNOWN" for one out of range.
const char* enumName(const Enumeration& names, int index);
// The index of a name as allNames() lists it; a name it does not know is "UNKNOWN".
int nameIndex(const Enumeration& names, std::string_view name);

// The charge states ("State") and their colour, one per name of allNames():
// the charger's twelve, UNAVAILABLE and UNKNOWN.
constexpr int kChargeStateNames = 14;
const Enumeration& chargeStates();
const char* chargeStateColour(int index);  // "#rrggbb"

// The page tile's element id ("battery-voltage") and its label.
const char* tileId(PageTile tile);
const char* tileLabel(PageTile tile);

}  // namespace tessline
