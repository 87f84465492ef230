#include "app/options.h"

namespace tessline {

namespace po = boost::program_options;

// SOLWATCH_VERSION comes from the project's version in the build.
const char* const kBanner = "solwatch " SOLWATCH_VERSION " - solar charge controller monitor";
const char* const kVersionNumber = SOLWATCH_VERSION;

namespace {
constexpr unsigned kLineLength = 80;
constexpr unsigned kMinDescriptionLength = kLineLength / 2;
constexpr long long kMaxSilenceTimeout = 86400;  // a day

// Read as a signed number, so that a negative one is refused rather than
// wrapped into a large one.
void checkSilenceTimeout(long long seconds) {
    if (seconds < 0 || seconds > kMaxSilenceTimeout)
        throw po::error("the argument ('" + std::to_string(seconds) +
                        "') for option '--silence-timeout' is invalid: use 1 to 86400 seconds, or 0 for off");
}

void checkFirstRowAfter(int seconds) {
    if (seconds < 1 || seconds > 60)
        throw po::error("the argument ('" + std::to_string(seconds) +
                        "') for option '--first-row-after' is invalid: use 1 to 60 seconds");
}
}  // namespace

OptionGroups::OptionGroups()
    : visible("Allowed options", kLineLength, kMinDescriptionLength),
      service("Service options", kLineLength, kMinDescriptionLength),
      network("Table and MQTT options", kLineLength, kMinDescriptionLength),
      hidden("Hidden options", kLineLength, kMinDescriptionLength),
      all("All options", kLineLength, kMinDescriptionLength) {
    visible.add_options()
        ("dump,d", "dump communication to output")
        ("help,h", "produce help message")
        ("serial,s", po::value<std::string>(), "serial port")
        ("get,g", "get product information")
        ("version,V", "version");
    service.add_options()
        ("reconnect", "dump mode: survive a lost port, open it again and go on")
        ("capture", po::value<std::string>()->value_name("FILE"),
         "record the line's traffic, both directions with their times, in FILE")
        ("silence-timeout",
         po::value<long long>()->default_value(10)->value_name("SECONDS")->notifier(checkSilenceTimeout),
         "with --reconnect: no valid TEXT block for this long is a lost link (0: off)");
    network.add_options()
        ("json", "dump mode: the table as JSON lines instead of CSV")
        ("no-table", "with --mqtt: no table on standard output or -o")
        ("rotate", po::value<std::string>()->value_name("daily|monthly"),
         "with -o: a file per day or month, its date before the extension")
        ("keep", po::value<int>()->value_name("N"), "with --rotate: keep the N newest period files (the current one counted)")
        ("mqtt", po::value<std::string>()->value_name("URL"),
         "publish to a broker: mqtt[s]://[user@]host[:port]")
        ("mqtt-topic", po::value<std::string>()->value_name("BASE")->default_value("solwatch/%s"),
         "topic base; %s serial number, %m model, %v version")
        ("mqtt-qos", po::value<int>()->value_name("0|1|2")->default_value(1), "QoS of the state messages")
        ("mqtt-password-file", po::value<std::string>()->value_name("FILE"),
         "the broker password (or SOLWATCH_MQTT_PASSWORD)")
        ("mqtt-cafile", po::value<std::string>()->value_name("FILE"),
         "CA certificates for mqtts:// (default: the system's)")
        ("mqtt-discovery", po::value<std::string>()->value_name("PREFIX")->implicit_value("homeassistant"),
         "Home Assistant discovery configs under PREFIX")
        ("mqtt-buffer", po::value<int>()->value_name("N")->default_value(10000),
         "messages kept while the broker is away")
        ("http", po::value<std::string>()->value_name("[ADDR:]PORT")->implicit_value("8537"),
         "serve the live page, /metrics and a JSON API (localhost unless ADDR)");
    hidden.add_options()
        ("?,?", "produce help message")
        ("write,w", po::value<std::string>(), "write eeprom")
        ("verbose,v", "verbose")
        ("fast,f", "fast dump")
        ("output,o", po::value<std::string>(), "dump to file")
        ("channels,c", "channel dump")
        // For tests, which cannot wait for the whole minute.
        ("first-row-after", po::value<int>()->value_name("SECONDS")->notifier(checkFirstRowAfter),
         "full table: the first row SECONDS after the table starts, then one a minute");
    all.add(visible).add(service).add(network).add(hidden);
}

po::variables_map parseCommandLine(int argc, const char* const argv[], const OptionGroups& groups) {
    po::variables_map options;
    po::store(po::parse_command_line(argc, argv, groups.all), options);
    po::notify(options);
    return options;
}

std::string versionLine() { return std::string("VERSION: ") + kVersionNumber + " (build " + __DATE__ + ")"; }

void printHelp(std::ostream& out, const OptionGroups& groups) {
    out << groups.visible << std::endl;
    out << groups.service << std::endl;
    out << groups.network << std::endl;
}

void printUsage(std::ostream& out, const OptionGroups& groups) {
    out << kBanner << std::endl;
    out << std::endl;
    out << "No parameters specified. " << groups.visible << std::endl;
    out << "To dump data from a device connected to the first COM port into a file, type:" << std::endl;
    out << "solwatch -s COM1 > logfile.txt" << std::endl;
    out << std::endl;
    out << "To get information about a connected device to the second COM port type:" << std::endl;
    out << "solwatch -s COM2 -g" << std::endl;
}

}  // namespace tessline
