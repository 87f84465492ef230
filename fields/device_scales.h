// How the charger counts each value it reports: the unit and its steps, for
// every register the dump reads, the TEXT field that carries the same value,
// and every field of the history records. Said here alone: the dump's
// parsers, the history records' decoding and the simulator's encoding all
// take their scales from this table.
#pragma once

#include <cstdint>
#include <string_view>

#include "fields/field.h"

namespace tessline {

// The device sends a value of `unit` as a whole number of 1/steps of it:
// steps 100 for 0.01 V. A plain number, a code or a state has steps 1 and
// no unit ("").
struct DeviceScale {
    const char* unit;
    int steps;

    double fromSteps(double number) const { return number / steps; }
    // The number of steps nearest to `value`.
    long long toSteps(double value) const;
    // A number of `from`'s steps in this scale's, rounded to the nearest.
    long long restep(long long number, const DeviceScale& from) const;
};

struct RegisterScale {
    std::uint16_t id;
    DeviceScale hex;
    const char* textLabel;  // the TEXT field that carries the same value, or nullptr
    DeviceScale text;       // that field's; the register's when there is none
};

// The entry of a register; throws std::logic_error for one the table lacks,
// as reading a register of unknown scale is a programming error.
const RegisterScale& registerScale(std::uint16_t id);
const DeviceScale& hexScale(std::uint16_t id);
const DeviceScale& textScale(std::uint16_t id);

// The scale of a history record's field by its catalogue key; throws
// std::logic_error for a key the records lack.
const DeviceScale& recordFieldScale(Record record, std::string_view key);

}  // namespace tessline
