// Field: what one column of a table means, for every output that shows it.
// The catalogue (field_catalogue.h) holds one for each column solwatch can
// print; nothing else names a column's header, unit or metric.
#pragma once

namespace tessline {

// Where a column's value comes from: a live value, the history's total
// record, or a day record (whose columns carry their day besides).
enum class Record { live, total, day };

enum class FieldKind {
    integer,      // whole numbers
    decimal,      // fixed-point with `digits` decimals
    enumeration,  // a name of `names`, printed in double quotes
    clockTime,    // minutes of the day, printed "hh:mm" in double quotes
    timestamp,    // the row's local time, printed in double quotes
};

// A unit as the header writes it, with what it is in SI units and what Home
// Assistant makes of it.
struct Unit {
    const char* symbol;         // "V", "C", "kWh", "%"
    const char* shown;          // "°C" for "C"
    double toSi;                // a value times toSi is in the metric's unit (J, ratio)
    const char* deviceClass;    // Home Assistant's, or nullptr
    const char* stateClass;     // Home Assistant's
};

// The names an enumeration prints, in value order; a value beyond them
// prints "UNKNOWN", or "UNAVAILABLE" for the device's "not available" value
// where the enumeration has one. A cell's index counts in allNames().
struct Enumeration {
    const char* const* names;
    int count;
    int unavailableValue;  // -1: none
};

// A Prometheus metric family. An enumeration that feeds a family with a
// `oneHotLabel` gives one sample per name (1 for the current one).
struct MetricFamily {
    const char* name;
    const char* type;
    const char* help;
    const char* oneHotLabel;  // or nullptr
};

// What a column is to the charts (the page's and solwatch-plot's).
enum class PlotRole {
    none,
    time,
    chargeState,
    panelPower,
    panelVoltage,
    batteryVoltage,
    chargeCurrent,
    loadCurrent,
    dayYield,
    dayMaxPower,
};

// The page's tiles; a column fills at most one.
enum class PageTile { none, batteryVoltage, batteryCurrent, panelPower, panelVoltage, chargeState, yieldToday,
                      temperature, load, loadCurrent };

struct Field {
    Record record;
    const char* key;      // JSON member and Home Assistant object id, unique in its record
    const char* header;   // CSV header; a day record's without its "Day<n>" prefix
    const char* name;     // Home Assistant's entity name
    FieldKind kind;
    int digits;                      // decimals of a decimal
    const Enumeration* names;        // of an enumeration, else nullptr
    const Unit* unit;                // nullptr: none
    const MetricFamily* metric;      // nullptr: none; a day record's feeds it from today's record
    const char* metricLabels;        // the sample's own labels, or ""
    PlotRole plot;
    PageTile tile;
    // An earlier field of the same metric, plot role or tile wins where a
    // table has both: the catalogue's order is the priority.
};

}  // namespace tessline
