// What the dump writes besides, or instead of, the CSV table, made from the
// command line: --json, --no-table, and --mqtt with its companions.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>

#include <boost/program_options/variables_map.hpp>

#include "dumper/table_listener.h"
#include "publish/json_lines_writer.h"
#include "publish/mqtt_publisher.h"

namespace tessline {

// --mqtt and its companions as settings, the password read from its file or
// from SOLWATCH_MQTT_PASSWORD. Throws std::invalid_argument or
// std::runtime_error (an unreadable password file) with the reason.
MqttSettings mqttSettingsFrom(const boost::program_options::variables_map& options);

// Hands the dump's calls on: the JSON lines first, then the broker; either
// may throw from onRow (a table that cannot be written, a broker that
// refused us).
class TableOutputs : public TableListeners {
public:
    // Checks the options before anything else happens (the client does not
    // connect before the first table). Throws as mqttSettingsFrom() does, and
    // for options that exclude each other.
    explicit TableOutputs(const boost::program_options::variables_map& options);

    // `table` is where the table goes (standard output or the output file);
    // returns where the CSV table is to go: `table`, or nowhere with --json
    // or --no-table. Call it once, before the dump starts.
    std::ostream& attach(std::ostream& table);
    bool csvTable() const { return csv_; }
    // False when nothing but the CSV table follows the dump.
    bool active() const { return json_ || mqtt_; }

private:
    // Takes every byte and keeps none, so that writes to it never fail.
    class DiscardBuffer : public std::streambuf {
    protected:
        int overflow(int c) override { return traits_type::not_eof(c); }
        std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
    };

    DiscardBuffer discardBuffer_;
    std::ostream discard_{&discardBuffer_};
    bool csv_ = true;
    bool json_ = false;
    std::unique_ptr<JsonLinesWriter> jsonWriter_;
    std::unique_ptr<MqttPublisher> mqtt_;
};

}  // namespace tessline
