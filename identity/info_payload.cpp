#include "identity/info_payload.h"

#include <cctype>
#include <cstdio>

#include <nlohmann/json.hpp>

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

}  // namespace tessline
