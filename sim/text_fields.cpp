#include "sim/text_fields.h"

#include <cstdio>

#include "fields/device_scales.h"

namespace tessline {

namespace {

std::string hexText(unsigned value, const char* format) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string number(long value) { return std::to_string(value); }

std::vector<TextField> identityFields(const DeviceProfile& profile) {
    return {
        {"PID", profile.pidText ? *profile.pidText : hexText(profile.productId, "0x%04X")},
        {"FW", profile.fwText ? *profile.fwText : hexText(profile.firmwareVersion(), "%03X")},
        {"SER#", profile.serial},
    };
}

// The older charger 0x0300 sends its TEXT values as its registers count
// them; the others in the TEXT fields' own steps.
constexpr unsigned kOlderCharger = 0x0300;

// The number of a TEXT field that carries register `id`'s value.
long textNumber(std::uint16_t id, long registerNumber) {
    return static_cast<long>(textScale(id).restep(registerNumber, hexScale(id)));
}

std::vector<TextField> liveFields(const DeviceProfile& profile, const LiveValues& live) {
    const bool older = profile.productId == kOlderCharger;
    auto text = [older](std::uint16_t id, long registerNumber) {
        return number(older ? registerNumber : textNumber(id, registerNumber));
    };
    std::vector<TextField> fields{
        {"V", text(0xEDD5, live.batteryVoltage)},
        {"I", text(0xEDD7, live.chargerCurrent)},
        {"VPV", text(0xEDBB, live.panelVoltage)},
        {"PPV", text(0xEDBC, live.panelPower)},
        {"CS", number(live.state)},
        {"TRK", number(live.state == kStateOff ? 0 : 2)},  // tracker: off or tracking
        {"ERR", number(live.error)},
    };
    if (profile.loadOutput) {
        fields.push_back({"LOAD", live.loadOn ? "ON" : "OFF"});
        fields.push_back({"IL", number(textNumber(0xEDAD, live.loadCurrent))});
    }
    return fields;
}

// A history record's number in the steps of the TEXT field of register `id`.
long recordText(std::uint16_t id, Record record, const char* key, long recordNumber) {
    return static_cast<long>(textScale(id).restep(recordNumber, recordFieldScale(record, key)));
}

std::vector<TextField> historyFields(const DeviceModel& model) {
    HistoryDay today = model.day(0);
    HistoryDay yesterday = model.day(1);
    return {
        {"H19", number(recordText(0xEDDC, Record::total, "yield_user_kwh", model.total().userYield))},
        {"H20", number(recordText(0xEDD3, Record::day, "yield_kwh", today.yield))},
        {"H21", number(recordText(0xEDD2, Record::day, "pmax_w", today.maxPowerWatts))},
        {"H22", number(recordText(0xEDD1, Record::day, "yield_kwh", yesterday.yield))},
        {"H23", number(recordText(0xEDD0, Record::day, "pmax_w", yesterday.maxPowerWatts))},
        {"DAY", number(today.dayNumber)},
    };
}

void append(std::vector<TextField>& to, const std::vector<TextField>& from) { to.insert(to.end(), from.begin(), from.end()); }

}  // namespace

std::vector<TextField> textFieldsFor(const DeviceProfile& profile, const DeviceModel& model) {
    std::vector<TextField> all = identityFields(profile);
    append(all, liveFields(profile, model.live()));
    append(all, historyFields(model));
    append(all, profile.extraFields);
    std::vector<TextField> kept;
    for (auto& field : all) {
        bool omitted = profile.omittedFields.count(field.label) > 0 || (field.label == "SER#" && field.value.empty());
        if (!omitted) kept.push_back(std::move(field));
    }
    return kept;
}

std::string deviceTextBlock(const DeviceProfile& profile, const DeviceModel& model) {
    std::vector<TextField> fields = textFieldsFor(profile, model);
    std::string block = buildTextBlock(fields);
    if (block.back() != ':') return block;
    for (auto& field : fields) {
        if (field.label == "DAY") {
            field.value.insert(0, "0");
            return buildTextBlock(fields);
        }
    }
    return block;
}

}  // namespace tessline
