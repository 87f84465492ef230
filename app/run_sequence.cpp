#include "app/run_sequence.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "app/dump_mode.h"
#include "app/finish.h"
#include "app/identification.h"
#include "app/link_session.h"
#include "app/options.h"
#include "app/output_name.h"
#include "app/output_settings.h"
#include "app/shutdown_budget.h"
#include "app/stop_signals.h"
#include "app/write_mode.h"
#include "capture/capture_writer.h"
#include "dumper/dump_loop.h"
#include "hex/exit_codes.h"
#include "hex/hex_proto.h"
#include "http/http_output.h"
#include "link/tam_serial.h"
#include "output/table_output.h"
#include "publish/mqtt_publisher.h"

namespace tessline {

namespace po = boost::program_options;

namespace {

enum class Mode { get, write, dump };

Mode chooseMode(const po::variables_map& options) {
    if (options.count("get")) return Mode::get;
    if (options.count("write")) return Mode::write;
    return Mode::dump;
}

std::chrono::seconds silenceTimeout(const po::variables_map& options) {
    return std::chrono::seconds(options["silence-timeout"].as<long long>());
}

DumpSettings dumpSettings(const po::variables_map& options, Mode mode) {
    DumpSettings settings;
    settings.variant = options.count("channels") ? DumpVariant::channels
                       : options.count("fast")   ? DumpVariant::fast
                                                 : DumpVariant::full;
    settings.reconnect = mode == Mode::dump && options.count("reconnect");
    settings.link.portName = options["serial"].as<std::string>();
    settings.link.trafficDump = options.count("dump") > 0;
    if (settings.reconnect) {
        settings.link.wakeOnLoss = true;
        settings.link.silenceTimeout = silenceTimeout(options);
    }
    return settings;
}

// The writer of --capture, or null; finish() completes the file.
std::shared_ptr<CaptureWriter> openCapture(const po::variables_map& options) {
    if (!options.count("capture")) return nullptr;
    auto capture = std::make_shared<CaptureWriter>(options["capture"].as<std::string>(),
                                                   captureHeaderLine(kVersionNumber, kLineSettingsText));
    setOpenCapture(capture);
    return capture;
}

std::string identityLines(const Identity& identity) {
    return "Manufacturer     " + identity.manufacturer + "\n" + "Model            " + identity.model + "\n" +
           "Serial number    " + identity.serialNumber + "\n" + "Software version " + identity.softwareVersion +
           "\n";
}

// The identity lines; an output that cannot take them (a full disk, a
// closed pipe) is an error, not a success with the product id, which is
// the exit code.
int getMode(const Identity& identity, OutputFile* file) {
    if (file) {
        file->append(identityLines(identity));
        return identity.productId;
    }
    errno = 0;
    std::cout << identityLines(identity) << std::flush;
    if (!std::cout) {
        int error = errno;
        throw std::runtime_error(std::string("cannot write the identity: ") +
                                 (error ? std::strerror(error) : "output stream failed"));
    }
    return identity.productId;
}

// The broker's link for the web server's metrics; nothing without --mqtt.
// The source holds its share of the health, so the server's thread may ask
// whatever the order in which the publisher and the server end.
BrokerStatusSource brokerStatus(const MqttPublisher* mqtt) {
    if (!mqtt) return nullptr;
    std::shared_ptr<const BrokerHealth> health = mqtt->health();
    return [health] { return BrokerStatus{health->connected, health->dropped}; };
}

// The file of --output for a device.
std::function<std::string(const Identity&)> outputNamer(const po::variables_map& options) {
    std::string pattern = options["output"].as<std::string>();
    std::string port = options["serial"].as<std::string>();
    bool rotates = options.count("rotate") > 0;
    return [pattern, port, rotates](const Identity& identity) {
        return outputFileName(pattern, identity, port, rotates, std::time(nullptr));
    };
}

// The file of --output for the get and write modes, or null without it.
// Every mode opens it, so that a name that cannot be opened is reported
// whatever the mode.
std::unique_ptr<OutputFile> openOutputFile(const po::variables_map& options, const Identity& identity) {
    if (!options.count("output")) return nullptr;
    return std::make_unique<OutputFile>(outputNamer(options)(identity));
}

}  // namespace

int runSequence(const po::variables_map& options, StopRequest& stop) {
    const Mode mode = chooseMode(options);
    stop.setSignalIsNormalEnd(mode == Mode::dump);
    // Static: the last link's reader thread may outlive this function.
    static LineActivity lineActivity;
    DumpSettings settings = dumpSettings(options, mode);
    settings.link.activity = &lineActivity;
    settings.link.capture = openCapture(options);
    // Before the port opens: a bad table option, broker address or password
    // file ends the run at once (the client connects with the first table).
    std::unique_ptr<TableOutput> table;
    std::unique_ptr<MqttPublisher> mqtt;
    std::unique_ptr<HttpOutput> http;
    if (mode == Mode::dump) {
        if (options.count("first-row-after")) setFirstFullRowAfter(options["first-row-after"].as<int>());
        table = std::make_unique<TableOutput>(tableSettingsFrom(options));
        if (std::optional<MqttSettings> mqttSettings = mqttSettingsFrom(options))
            mqtt = std::make_unique<MqttPublisher>(*mqttSettings, kBrokerTeardown);
        if (options.count("http"))
            http = std::make_unique<HttpOutput>(HttpSettings{options["http"].as<std::string>(), kVersionNumber,
                                                             brokerStatus(mqtt.get()),
                                                             LineWatch{&lineActivity, silenceTimeout(options)}});
    }

    Identity identity;
    RetryState retry;
    std::unique_ptr<LinkSession> session = connectDevice(settings, stop, identity, retry);
    if (!session) return stop.exitCode();

    std::unique_ptr<OutputFile> output = mode == Mode::dump ? nullptr : openOutputFile(options, identity);
    int code = kExitOk;
    switch (mode) {
        case Mode::get: code = getMode(identity, output.get()); break;
        case Mode::write: {
            HexProto hex(&session->link());
            code = writeMode(session->link(), hex, options["write"].as<std::string>(), stop);
            break;
        }
        case Mode::dump: {
            // A rotating output opens its period's file with the first row.
            if (options.count("output")) table->attachFiles(outputNamer(options), identity);
            else table->attachStandardOutput();
            // The table first, then the broker, then the server. A table
            // that cannot be written ends the run (its file layer throws
            // only without --reconnect), the broker's refusal ends it with
            // its exit code, nothing else that the broker or the server
            // meets does.
            TableListeners outputs;
            if (table->writer()) outputs.add(*table->writer(), OnFailure::endsRun);
            if (mqtt) outputs.add(*mqtt, OnFailure::endsRunOnlyWithExitCode, "mqtt");
            if (http) outputs.add(http->listener(), OnFailure::logged, "http");
            code = dumpMode(session, identity, settings, retry, outputs, stop, [&table] { return table->heldRows(); });
            break;
        }
    }
    leaveOpenForFinish(std::move(session));
    return code;
}

}  // namespace tessline
