#include "publish/device_payloads.h"

#include <nlohmann/json.hpp>

#include "fields/field_catalogue.h"

namespace tessline {

namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

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
