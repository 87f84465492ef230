#include "publish/device_payloads.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "dumper/value_format.h"
#include "identity/device_info.h"
#include "output/json_key.h"

namespace tessline {

namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

// "KZ_REG_CAPABILITIES1_HAS_LOAD_OUTPUT" is "load_output".
std::string capabilityKey(const char* name) {
    std::string key = name;
    std::size_t has = key.find("_HAS_");
    if (has != std::string::npos) key = key.substr(has + 5);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// What Home Assistant makes of a column with this unit.
struct UnitClass {
    const char* unit;
    const char* shownUnit;
    const char* deviceClass;
    const char* stateClass;
};

const UnitClass kUnitClasses[] = {
    {"V", "V", "voltage", "measurement"},
    {"A", "A", "current", "measurement"},
    {"W", "W", "power", "measurement"},
    {"C", "°C", "temperature", "measurement"},
    // Yields count up and restart; Home Assistant's energy view wants that.
    {"kWh", "kWh", "energy", "total_increasing"},
    {"min", "min", "duration", "measurement"},
};

// The names a text column can show, for the columns that print names.
std::vector<std::string> enumOptions(const std::string& name) {
    std::vector<std::string> options;
    if (name == "State") {
        options = stateNames();
        options.push_back("UNAVAILABLE");
    } else if (name == "Load") {
        options = onOffNames();
    } else if (name == "RtcState") {
        options = dayNightNames();
    } else {
        return options;
    }
    options.push_back("UNKNOWN");
    return options;
}

// The channels variant's headers carry no unit in brackets.
const std::pair<const char*, const char*> kChannelUnits[] = {
    {"Vout", "V"}, {"Iout1", "A"}, {"Iout2", "A"}, {"Vpanel", "V"}, {"Temp", "C"},
};

// "Err[0]" has an index in its brackets, not a unit.
bool isIndex(const std::string& bracketed) {
    return !bracketed.empty() && bracketed.find_first_not_of("0123456789") == std::string::npos;
}

std::string unitOf(const std::string& header) {
    std::string unit = headerUnit(header);
    if (isIndex(unit)) return std::string();
    if (!unit.empty()) return unit;
    for (const auto& [name, channelUnit] : kChannelUnits)
        if (header == name) return channelUnit;
    return unit;
}

// "Err[2]" is "Err 2": four error columns need four names.
std::string entityName(const std::string& header) {
    std::string bracketed = headerUnit(header);
    return headerName(header) + (isIndex(bracketed) ? " " + bracketed : std::string());
}

void addClasses(Json& config, const std::string& header) {
    std::string unit = unitOf(header);
    std::vector<std::string> options = enumOptions(headerName(header));
    if (!options.empty()) {
        config["device_class"] = "enum";
        config["options"] = options;
        return;
    }
    if (unit.empty()) return;
    for (const UnitClass& known : kUnitClasses) {
        if (unit != known.unit) continue;
        config["unit_of_measurement"] = known.shownUnit;
        config["device_class"] = known.deviceClass;
        config["state_class"] = known.stateClass;
        return;
    }
    // Any other unit ("%") is shown as it is; numbers with a unit are measurements.
    config["unit_of_measurement"] = unit;
    config["state_class"] = "measurement";
}

struct Entity {
    std::string objectId;  // unique within the device
    std::string name;
    std::string valuePath;  // after value_json
    std::string header;
};

std::vector<Entity> entitiesOf(const std::vector<TableColumn>& columns) {
    std::vector<Entity> entities;
    for (const TableColumn& column : columns) {
        std::string key = jsonKey(column.header);
        if (column.history == kLiveColumn && key != "timestamp") {
            entities.push_back({key, entityName(column.header), "." + key, column.header});
        } else if (column.history == kHistoryTotal) {
            entities.push_back({"history_total_" + key, "Total " + entityName(column.header),
                                ".history.total." + key, column.header});
        } else if (column.history == 0) {
            std::string header = column.header.substr(column.header.compare(0, 4, "Day0") == 0 ? 4 : 0);
            std::string dayKey = jsonKey(header);
            entities.push_back({"history_day0_" + dayKey, "Today " + entityName(header),
                                ".history.days[0]." + dayKey, header});
        }
    }
    return entities;
}

}  // namespace

std::string productIdText(const Identity& identity) {
    char productId[8];
    std::snprintf(productId, sizeof productId, "0x%04X", static_cast<unsigned>(identity.productId));
    return productId;
}

std::string infoPayload(const Identity& identity, const DeviceInfo& info) {
    Json capabilities = Json::array();
    for (const CapabilityFlag& flag : capabilityFlags)
        if (info.*(flag.member)) capabilities.push_back(capabilityKey(flag.name));
    Json payload = {
        {"manufacturer", identity.manufacturer},
        {"model", identity.model},
        {"serial_number", identity.serialNumber},
        {"software_version", identity.softwareVersion},
        {"product_id", productIdText(identity)},
        {"capabilities", capabilities},
        {"history_version", info.historyVersion},
        {"ratings",
         {{"min_voltage_v", info.minVoltage},
          {"max_voltage_v", info.maxVoltage},
          {"max_current_a", info.maxCurrent},
          {"max_pv_voltage_v", info.maxPvVoltage}}},
    };
    return dumped(payload);
}

std::vector<RetainedMessage> discoveryConfigs(const std::string& prefix, const Topics& topics,
                                              const Identity& identity, const std::vector<TableColumn>& columns) {
    std::string nodeId = discoveryNodeId(identity, topics);
    Json device = {
        {"identifiers", Json::array({nodeId})},
        {"name", identity.model + " " + chargerKey(identity, topics)},
        {"manufacturer", identity.manufacturer},
        {"model", identity.model},
        {"sw_version", identity.softwareVersion},
        {"serial_number", identity.serialNumber},
    };
    std::vector<RetainedMessage> configs;
    for (const Entity& entity : entitiesOf(columns)) {
        Json config = {
            {"name", entity.name},
            {"unique_id", nodeId + "_" + entity.objectId},
            {"state_topic", topics.state},
            // A null value renders as "None", which Home Assistant shows as unknown.
            {"value_template", "{{ value_json" + entity.valuePath + " }}"},
        };
        addClasses(config, entity.header);
        config["availability_topic"] = topics.status;
        config["payload_available"] = "online";
        config["payload_not_available"] = "offline";
        config["device"] = device;
        configs.push_back({prefix + "/sensor/" + nodeId + "/" + entity.objectId + "/config", dumped(config)});
    }
    return configs;
}

}  // namespace tessline
