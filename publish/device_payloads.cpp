#include "publish/device_payloads.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "fields/field_catalogue.h"
#include "identity/device_info.h"

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

void addClasses(Json& config, const Field& field) {
    if (field.names) {
        config["device_class"] = "enum";
        config["options"] = allNames(*field.names);
        return;
    }
    const Unit* unit = field.unit;
    if (!unit) return;
    config["unit_of_measurement"] = unit->shown;
    if (unit->deviceClass) config["device_class"] = unit->deviceClass;
    config["state_class"] = unit->stateClass;
}

struct Entity {
    std::string objectId;  // unique within the device
    std::string name;
    std::string valuePath;  // after value_json
    const Field* field;
};

// The live columns, the total record and today's record; the time stamp
// and the past days are no sensors.
std::vector<Entity> entitiesOf(const std::vector<TableColumn>& columns) {
    std::vector<Entity> entities;
    for (const TableColumn& column : columns) {
        const Field* field = column.field;
        if (!field) continue;
        std::string key = field->key;
        if (column.history == kLiveColumn && field->kind != FieldKind::timestamp) {
            entities.push_back({key, field->name, "." + key, field});
        } else if (column.history == kHistoryTotal) {
            entities.push_back({"history_total_" + key, std::string("Total ") + field->name,
                                ".history.total." + key, field});
        } else if (column.history == 0) {
            entities.push_back({"history_day0_" + key, std::string("Today ") + field->name,
                                ".history.days[0]." + key, field});
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
        addClasses(config, *entity.field);
        config["availability_topic"] = topics.status;
        config["payload_available"] = "online";
        config["payload_not_available"] = "offline";
        config["device"] = device;
        configs.push_back({prefix + "/sensor/" + nodeId + "/" + entity.objectId + "/config", dumped(config)});
    }
    return configs;
}

}  // namespace tessline
