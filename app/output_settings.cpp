#include "app/output_settings.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include "output/rotating_file.h"
#include "publish/topics.h"

namespace tessline {

namespace po = boost::program_options;

TableOutputSettings tableSettingsFrom(const po::variables_map& options) {
    TableOutputSettings settings;
    const bool json = options.count("json") > 0;
    const bool noTable = options.count("no-table") > 0;
    if (json && noTable) throw std::invalid_argument("--json and --no-table exclude each other");
    if (noTable && !options.count("mqtt"))
        throw std::invalid_argument("--no-table needs --mqtt: the rows would go nowhere");
    if (options.count("rotate")) {
        if (!options.count("output")) throw std::invalid_argument("--rotate needs -o: the rows go to files");
        settings.rotation = parseRotation(options["rotate"].as<std::string>());
    }
    if (options.count("keep")) {
        if (!settings.rotation) throw std::invalid_argument("--keep needs --rotate");
        settings.keep = options["keep"].as<int>();
        if (settings.keep < 1) throw std::invalid_argument("--keep must be at least 1");
    }
    settings.holdRows = options.count("reconnect") > 0;
    settings.format = json ? TableFormat::jsonLines : noTable ? TableFormat::none : TableFormat::csv;
    return settings;
}

namespace {

const char* const kMqttCompanions[] = {"mqtt-topic",  "mqtt-qos",       "mqtt-password-file",
                                       "mqtt-cafile", "mqtt-discovery", "mqtt-buffer"};

template <typename T>
T valueOr(const po::variables_map& options, const char* name, T fallback) {
    return options.count(name) ? options[name].as<T>() : fallback;
}

}  // namespace

std::optional<MqttSettings> mqttSettingsFrom(const po::variables_map& options) {
    if (!options.count("mqtt")) {
        // Only an option given on the command line counts, not a declared default.
        for (const char* companion : kMqttCompanions)
            if (options.count(companion) && !options[companion].defaulted())
                throw std::invalid_argument(std::string("--") + companion + " needs --mqtt");
        return std::nullopt;
    }
    MqttSettings settings;
    settings.broker = parseBrokerUrl(options["mqtt"].as<std::string>());
    settings.topicPattern = valueOr<std::string>(options, "mqtt-topic", kDefaultTopicPattern);
    settings.qos = valueOr(options, "mqtt-qos", settings.qos);
    settings.buffer = valueOr(options, "mqtt-buffer", settings.buffer);
    settings.caFile = valueOr<std::string>(options, "mqtt-cafile", "");
    settings.discovery = options.count("mqtt-discovery") > 0;
    settings.discoveryPrefix = valueOr(options, "mqtt-discovery", settings.discoveryPrefix);
    if (options.count("mqtt-password-file")) {
        settings.password = readPasswordFile(options["mqtt-password-file"].as<std::string>(), std::cerr);
        settings.hasPassword = true;
    } else if (const char* password = std::getenv(kPasswordVariable); password && *password) {
        settings.password = password;
        settings.hasPassword = true;
    }
    checkMqttSettings(settings);
    return settings;
}

}  // namespace tessline
