// The outputs of the dump, made from the command line: the CSV table, or
// --json, or --no-table, and --mqtt with its companions.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <boost/program_options/variables_map.hpp>

#include "dumper/csv_table_writer.h"
#include "dumper/table_listener.h"
#include "publish/json_lines_writer.h"
#include "publish/mqtt_publisher.h"

namespace tessline {

// --mqtt and its companions as settings, the password read from its file or
// from SOLWATCH_MQTT_PASSWORD. Throws std::invalid_argument or
// std::runtime_error (an unreadable password file) with the reason.
MqttSettings mqttSettingsFrom(const boost::program_options::variables_map& options);

// Hands the dump's calls on: the table (CSV or JSON lines) first, then the
// broker, then what add() appends (the HTTP server). A table that cannot be
// written and a broker that refused us end the run; see attachTable().
class TableOutputs : public TableListeners {
public:
    // Checks the options before anything else happens (the client does not
    // connect before the first table). Throws as mqttSettingsFrom() does, and
    // for options that exclude each other.
    explicit TableOutputs(const boost::program_options::variables_map& options);

    // The table goes to standard output. Call it or attachFiles() once,
    // before the dump starts.
    void attachStandardOutput();
    // The table goes into the files that `nameFor` names for a device (the
    // expanded --output), by period with --rotate. Without it, the first
    // device's file opens at once (throws OutputError when it cannot).
    void attachFiles(std::function<std::string(const Identity&)> nameFor, const Identity& first);
    bool rotates() const { return rotation_.has_value(); }
    // Rows that wait for a file that cannot take them (with --reconnect).
    std::size_t heldRows() const;
    // The broker's state for others to show, or null without --mqtt.
    const BrokerHealth* brokerHealth() const { return mqtt_ ? &mqtt_->health() : nullptr; }

private:
    void attachTable(std::unique_ptr<TableFile> output);

    bool csv_ = true;
    std::optional<Rotation> rotation_;
    int keep_ = 0;
    bool holdRows_ = false;
    bool json_ = false;
    std::unique_ptr<CsvTableWriter> csvWriter_;
    std::unique_ptr<JsonLinesWriter> jsonWriter_;
    std::unique_ptr<MqttPublisher> mqtt_;
};

}  // namespace tessline
