#include "sim/text_fields.h"

#include <cstdio>

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

// The older charger 0x0300 sends its TEXT values in the units of its
// registers (10 mV, 100 mA, 10 mW); the others in mV, mA and W.
constexpr unsigned kOlderCharger = 0x0300;

std::vector<TextField> liveFields(const DeviceProfile& profile, const LiveValues& live) {
    const bool older = profile.productId == kOlderCharger;
    std::vector<TextField> fields{
        {"V", number(older ? live.batteryCentivolts : live.batteryCentivolts * 10L)},
        {"I", number(older ? live.chargerDeciamps : live.chargerDeciamps * 100L)},
        {"VPV", number(older ? live.panelCentivolts : live.panelCentivolts * 10L)},
        {"PPV", number(older ? live.panelCentiwatts : (live.panelCentiwatts + 50L) / 100)},
        {"CS", number(live.state)},
        {"TRK", number(live.state == kStateOff ? 0 : 2)},  // tracker: off or tracking
        {"ERR", number(live.error)},
    };
    if (profile.loadOutput) {
        fields.push_back({"LOAD", live.loadOn ? "ON" : "OFF"});
        fields.push_back({"IL", number(live.loadDeciamps * 100L)});
    }
    return fields;
}

std::vector<TextField> historyFields(const DeviceModel& model) {
    HistoryDay today = model.day(0);
    HistoryDay yesterday = model.day(1);
    return {
        {"H19", number(model.total().userYieldHundredthsKwh)},
        {"H20", number(today.yieldHundredthsKwh)},
        {"H21", number(today.maxPowerWatts)},
        {"H22", number(yesterday.yieldHundredthsKwh)},
        {"H23", number(yesterday.maxPowerWatts)},
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
