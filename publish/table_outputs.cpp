#include "publish/table_outputs.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "publish/topics.h"

namespace tessline {

namespace po = boost::program_options;

namespace {

const char* const kMqttCompanions[] = {"mqtt-topic",  "mqtt-qos",       "mqtt-password-file",
                                       "mqtt-cafile", "mqtt-discovery", "mqtt-buffer"};

template <typename T>
T valueOr(const po::variables_map& options, const char* name, T fallback) {
    return options.count(name) ? options[name].as<T>() : fallback;
}

// Only an option given on the command line counts, not a declared default.
bool given(const po::variables_map& options, const char* name) {
    return options.count(name) && !options[name].defaulted();
}

// A writer into `file`, or onto standard output when there is none.
template <typename Writer>
std::unique_ptr<Writer> tableWriter(std::unique_ptr<TableFile> file) {
    if (file) return std::make_unique<Writer>(std::move(file));
    return std::make_unique<Writer>(std::cout);
}

}  // namespace

MqttSettings mqttSettingsFrom(const po::variables_map& options) {
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

TableOutputs::TableOutputs(const po::variables_map& options) {
    bool json = options.count("json") > 0;
    bool noTable = options.count("no-table") > 0;
    bool mqtt = options.count("mqtt") > 0;
    if (json && noTable) throw std::invalid_argument("--json and --no-table exclude each other");
    if (noTable && !mqtt) throw std::invalid_argument("--no-table needs --mqtt: the rows would go nowhere");
    for (const char* companion : kMqttCompanions)
        if (!mqtt && given(options, companion))
            throw std::invalid_argument(std::string("--") + companion + " needs --mqtt");
    if (options.count("rotate")) {
        if (!options.count("output")) throw std::invalid_argument("--rotate needs -o: the rows go to files");
        rotation_ = parseRotation(options["rotate"].as<std::string>());
    }
    if (options.count("keep")) {
        if (!rotation_) throw std::invalid_argument("--keep needs --rotate");
        keep_ = options["keep"].as<int>();
        if (keep_ < 1) throw std::invalid_argument("--keep must be at least 1");
    }
    // A service run holds rows that its file cannot take for now; any
    // other run ends on such a failure.
    holdRows_ = options.count("reconnect") > 0;
    csv_ = !json && !noTable;
    json_ = json;
    if (mqtt) mqtt_ = std::make_unique<MqttPublisher>(mqttSettingsFrom(options));
}

void TableOutputs::attachStandardOutput() { attachTable(nullptr); }

void TableOutputs::attachFiles(std::function<std::string(const Identity&)> nameFor, const Identity& first) {
    TableFileSettings settings;
    settings.nameFor = std::move(nameFor);
    settings.rotation = rotation_;
    settings.keep = keep_;
    settings.holdRows = holdRows_;
    auto file = std::make_unique<TableFile>(std::move(settings));
    file->openFor(first);
    attachTable(std::move(file));
}

std::size_t TableOutputs::heldRows() const {
    return csvWriter_ ? csvWriter_->heldRows() : jsonWriter_ ? jsonWriter_->heldRows() : 0;
}

void TableOutputs::attachTable(std::unique_ptr<TableFile> output) {
    // At most one table: the CSV and --json exclude each other. Its file
    // layer throws only when the run is to end (without --reconnect).
    if (csv_) {
        csvWriter_ = tableWriter<CsvTableWriter>(std::move(output));
        add(*csvWriter_, OnFailure::endsRun);
    } else if (json_) {
        jsonWriter_ = tableWriter<JsonLinesWriter>(std::move(output));
        add(*jsonWriter_, OnFailure::endsRun);
    }
    // The broker's refusal ends the run with its exit code; nothing else
    // the publisher meets does.
    if (mqtt_) add(*mqtt_, OnFailure::endsRunOnlyWithExitCode, "mqtt");
}

}  // namespace tessline
