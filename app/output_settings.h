// The command line's table, MQTT and web server options as the settings
// their libraries take. Each checks its options as it reads them and throws
// std::invalid_argument (an unreadable password file: std::runtime_error)
// with the reason.
#pragma once

#include <optional>

#include <boost/program_options/variables_map.hpp>

#include "output/table_output.h"
#include "publish/mqtt_settings.h"

namespace tessline {

// --json, --no-table, --rotate, --keep and what they need.
TableOutputSettings tableSettingsFrom(const boost::program_options::variables_map& options);

// --mqtt and its companions, none without --mqtt; the password read from its
// file or from SOLWATCH_MQTT_PASSWORD.
std::optional<MqttSettings> mqttSettingsFrom(const boost::program_options::variables_map& options);

}  // namespace tessline
