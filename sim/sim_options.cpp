#include "sim/sim_options.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <boost/program_options.hpp>

namespace po = boost::program_options;

namespace tessline {

namespace {

const char kIntro[] =
    "Usage: solwatch-sim [options]\n"
    "\n"
    "A simulated solar charge controller for trying solwatch without hardware.\n"
    "It opens a pseudo-terminal, prints the path of its device as the first line\n"
    "of standard output, and speaks both dialects there: a TEXT block every\n"
    "period and answers to HEX requests. It serves until SIGINT or SIGTERM.\n"
    "  solwatch-sim --link /tmp/charger --time-scale 720 &\n"
    "  solwatch -s /tmp/charger\n";

po::options_description profileOptions() {
    po::options_description o("Device profile");
    o.add_options()
        ("product-id", po::value<std::string>()->value_name("HEX")->default_value("0xA042"), "product id (HEX)")
        ("firmware", po::value<std::string>()->value_name("HEX")->default_value("0x4116"), "firmware word of the ping answer (HEX)")
        ("capabilities", po::value<std::string>()->value_name("HEX|none"),
         "capability register 0x0140 (HEX), or 'none' to answer it with an error; default 0x3F65, 0x2564 without load")
        ("history-version", po::value<unsigned>()->value_name("N")->default_value(6), "register 0xEDCD")
        ("streetlight-version", po::value<unsigned>()->value_name("N")->default_value(2), "register 0xEDCC")
        ("record-version", po::value<unsigned>()->value_name("N")->default_value(1), "first byte of the total history record")
        ("serial", po::value<std::string>()->value_name("TEXT")->default_value("HQ2042SIM01"),
         "serial number (SER# and 0x010A); empty: neither")
        ("model", po::value<std::string>()->value_name("TEXT")->default_value("SolarUnit 15A mid"), "model text (0x010B); empty: no register")
        ("load", "with a load output (default)")
        ("no-load", "without a load output")
        ("absent-register", po::value<std::vector<std::string>>()->value_name("HEX")->composing(),
         "answer this register (HEX) with an error; repeatable")
        ("no-ping", "ignore pings")
        ("ping-without-word", "answer pings with the code alone")
        ("no-device-id", "ignore get device id requests")
        ("device-id-without-word", "answer get device id with the code alone")
        ("eeprom", po::value<std::string>()->value_name("FILE"), "EEPROM content of 0x8000..0x91FF from this raw file (4608 bytes)")
        ("truncate-eeprom", po::value<unsigned>()->value_name("N"), "answer 0xED90 with only N value bytes");
    return o;
}

po::options_description textOptions() {
    po::options_description o("TEXT fields");
    o.add_options()
        ("pid-text", po::value<std::string>()->value_name("TEXT"), "send this exact PID value")
        ("fw-text", po::value<std::string>()->value_name("TEXT"), "send this exact FW value")
        ("no-pid", "send no PID field")
        ("omit-field", po::value<std::vector<std::string>>()->value_name("LABEL")->composing(), "send no field with this label; repeatable")
        ("extra-field", po::value<std::vector<std::string>>()->value_name("LABEL=VALUE")->composing(),
         "add the field LABEL=VALUE to every block; repeatable");
    return o;
}

po::options_description timingOptions() {
    po::options_description o("Values and timing");
    o.add_options()
        ("seed", po::value<std::uint64_t>()->value_name("N")->default_value(1), "seed of weather, history and EEPROM content")
        ("frozen", "fixed live values and history (see the README)")
        ("start-time", po::value<std::string>()->value_name("HH:MM")->default_value("12:30"), "simulated time of day at start, HH:MM")
        ("time-scale", po::value<double>()->value_name("X")->default_value(1.0), "simulated seconds per second (720: a day in 2 minutes)")
        ("period-ms", po::value<unsigned>()->value_name("N")->default_value(1000), "milliseconds between TEXT blocks")
        ("no-throttle", "send and take bytes at full speed instead of 1920 bytes a second");
    return o;
}

po::options_description faultOptions() {
    po::options_description o("Faults");
    o.add_options()
        ("drop-every", po::value<unsigned>()->value_name("N"), "drop every Nth HEX answer")
        ("reception-error", po::value<std::string>()->value_name("HEX|bare"),
         "send a reception error frame before answers: with this word (HEX; 0xAAAA asks for a resend) or 'bare' for none")
        ("reception-error-every", po::value<unsigned>()->value_name("N")->default_value(1), "... before every Nth answer only")
        ("corrupt-text-every", po::value<unsigned>()->value_name("N"), "wrong checksum in every Nth TEXT block")
        ("noise-after", po::value<double>()->value_name("SECONDS"),
         "wrong checksum in every TEXT block and HEX answer from this many seconds on")
        ("garbage", po::value<unsigned>()->value_name("N"), "N stray bytes (never ':') before TEXT blocks")
        ("garbage-every", po::value<unsigned>()->value_name("N")->default_value(1), "... before every Nth block only")
        ("hex-only", "send no TEXT blocks")
        ("text-only", "answer no HEX requests")
        ("silent", "send nothing at all")
        ("answer-delay-ms", po::value<unsigned>()->value_name("N"), "answer HEX requests this much later")
        ("hangup-after", po::value<double>()->value_name("SECONDS"), "close the line after this many seconds, like a pulled cable")
        ("hangup-for", po::value<double>()->value_name("SECONDS"), "... and open a fresh line (and --link) this many seconds later")
        ("hangup-every", po::value<double>()->value_name("SECONDS"), "... and hang up again this many seconds after each return")
        ("silent-after", po::value<double>()->value_name("SECONDS"), "send and answer nothing from this many seconds on ...")
        ("silent-for", po::value<double>()->value_name("SECONDS"), "... for this many seconds");
    return o;
}

po::options_description replayOptions() {
    po::options_description o("Replay");
    o.add_options()
        ("replay", po::value<std::string>()->value_name("FILE"),
         "serve this capture (solwatch --capture) instead of the simulated charger; the profile, TEXT, timing and fault "
         "options do not apply")
        ("replay-speed", po::value<double>()->value_name("N")->default_value(1.0),
         "send the unasked bytes N times faster (answers keep their delays)")
        ("replay-loop", "start again at the capture's end instead of ending");
    return o;
}

po::options_description outputOptions() {
    po::options_description o("Output");
    o.add_options()
        ("link", po::value<std::string>()->value_name("PATH"), "also make a symbolic link to the device here")
        ("log", po::value<std::string>()->value_name("FILE"), "record the traffic of both directions in this file")
        ("verbose", "log what the simulator does on standard error")
        ("help,h", "show this help");
    return o;
}

po::options_description allOptions() {
    po::options_description all;
    all.add(profileOptions()).add(textOptions()).add(timingOptions()).add(faultOptions()).add(replayOptions())
        .add(outputOptions());
    return all;
}

unsigned long parseHex(const std::string& text, const char* option, unsigned long max) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
    bool wellFormed = !digits.empty() && digits.size() <= 8 &&
                      std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); });
    if (!wellFormed || std::stoul(digits, nullptr, 16) > max)
        throw std::invalid_argument(std::string("--") + option + ": not a hexadecimal number in range: " + text);
    return std::stoul(digits, nullptr, 16);
}

std::uint8_t smallNumber(const po::variables_map& vm, const char* option) {
    unsigned value = vm[option].as<unsigned>();
    if (value > 255) throw std::invalid_argument(std::string("--") + option + " must be 0 to 255");
    return static_cast<std::uint8_t>(value);
}

int parseClock(const std::string& text) {
    unsigned hours = 0, minutes = 0;
    char colon = 0, extra = 0;
    std::istringstream in(text);
    in >> hours >> colon >> minutes;
    if (!in || colon != ':' || (in >> extra) || hours > 23 || minutes > 59)
        throw std::invalid_argument("--start-time: expected HH:MM, got " + text);
    return int(hours * 60 + minutes);
}

std::vector<std::string> strings(const po::variables_map& vm, const char* option) {
    return vm.count(option) ? vm[option].as<std::vector<std::string>>() : std::vector<std::string>{};
}

void applyProfile(const po::variables_map& vm, DeviceProfile& p) {
    p.productId = static_cast<std::uint16_t>(parseHex(vm["product-id"].as<std::string>(), "product-id", 0xFFFF));
    p.firmwareWord = static_cast<std::uint16_t>(parseHex(vm["firmware"].as<std::string>(), "firmware", 0xFFFF));
    if (vm.count("load") && vm.count("no-load")) throw std::invalid_argument("--load and --no-load exclude each other");
    p.loadOutput = !vm.count("no-load");
    if (vm.count("capabilities")) {
        std::string caps = vm["capabilities"].as<std::string>();
        if (caps == "none")
            p.absentRegisters.insert(0x0140);
        else
            p.capabilities = static_cast<std::uint32_t>(parseHex(caps, "capabilities", 0xFFFFFFFF));
    }
    p.historyVersion = smallNumber(vm, "history-version");
    p.streetlightVersion = smallNumber(vm, "streetlight-version");
    p.totalRecordVersion = smallNumber(vm, "record-version");
    p.serial = vm["serial"].as<std::string>();
    p.model = vm["model"].as<std::string>();
    for (const auto& id : strings(vm, "absent-register"))
        p.absentRegisters.insert(static_cast<std::uint16_t>(parseHex(id, "absent-register", 0xFFFF)));
    p.answerPing = !vm.count("no-ping");
    p.pingWord = !vm.count("ping-without-word");
    p.answerDeviceId = !vm.count("no-device-id");
    p.deviceIdWord = !vm.count("device-id-without-word");
    if (vm.count("truncate-eeprom")) {
        p.eepromAnswerBytes = vm["truncate-eeprom"].as<unsigned>();
        if (p.eepromAnswerBytes > 16) throw std::invalid_argument("--truncate-eeprom must be 0 to 16");
    }
}

void applyText(const po::variables_map& vm, DeviceProfile& p) {
    if (vm.count("pid-text")) p.pidText = vm["pid-text"].as<std::string>();
    if (vm.count("fw-text")) p.fwText = vm["fw-text"].as<std::string>();
    if (vm.count("no-pid")) p.omittedFields.insert("PID");
    for (const auto& label : strings(vm, "omit-field")) p.omittedFields.insert(label);
    for (const auto& field : strings(vm, "extra-field")) {
        auto equals = field.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == field.size())
            throw std::invalid_argument("--extra-field: expected LABEL=VALUE, got " + field);
        p.extraFields.push_back({field.substr(0, equals), field.substr(equals + 1)});
    }
}

void applyTiming(const po::variables_map& vm, SimSettings& s) {
    s.seed = vm["seed"].as<std::uint64_t>();
    s.frozen = vm.count("frozen") > 0;
    s.startMinute = parseClock(vm["start-time"].as<std::string>());
    s.timeScale = vm["time-scale"].as<double>();
    // Each simulated second is one model step: keep a real second affordable.
    if (!(s.timeScale > 0 && s.timeScale <= 100000))
        throw std::invalid_argument("--time-scale must be above 0 and at most 100000");
    unsigned period = vm["period-ms"].as<unsigned>();
    if (period == 0) throw std::invalid_argument("--period-ms must be at least 1");
    s.periodMicros = std::int64_t(period) * 1000;
    s.throttle = !vm.count("no-throttle");
}

void applyFaults(const po::variables_map& vm, FaultPlan& f) {
    if (vm.count("drop-every")) f.dropEveryAnswer = vm["drop-every"].as<unsigned>();
    if (vm.count("reception-error")) {
        f.receptionError = true;
        std::string word = vm["reception-error"].as<std::string>();
        if (word != "bare")
            f.receptionErrorWord = static_cast<std::uint16_t>(parseHex(word, "reception-error", 0xFFFF));
    }
    f.receptionErrorEvery = vm["reception-error-every"].as<unsigned>();
    if (vm.count("corrupt-text-every")) f.corruptEveryBlock = vm["corrupt-text-every"].as<unsigned>();
    if (vm.count("garbage")) f.garbageBytes = vm["garbage"].as<unsigned>();
    f.garbageEvery = vm["garbage-every"].as<unsigned>();
    f.sendText = !vm.count("hex-only") && !vm.count("silent");
    f.answerHex = !vm.count("text-only") && !vm.count("silent");
    if (vm.count("answer-delay-ms")) f.answerDelayMicros = std::int64_t(vm["answer-delay-ms"].as<unsigned>()) * 1000;
    auto positive = [&vm](const char* name, double& seconds) {
        if (!vm.count(name)) return;
        seconds = vm[name].as<double>();
        if (!(seconds > 0)) throw std::invalid_argument(std::string("--") + name + " must be above 0");
    };
    positive("hangup-after", f.hangupAfterSeconds);
    positive("hangup-for", f.hangupForSeconds);
    positive("hangup-every", f.hangupEverySeconds);
    positive("silent-after", f.silentAfterSeconds);
    positive("silent-for", f.silentForSeconds);
    positive("noise-after", f.noiseAfterSeconds);
    if ((f.hangupForSeconds > 0 || f.hangupEverySeconds > 0) && !(f.hangupAfterSeconds > 0))
        throw std::invalid_argument("--hangup-for and --hangup-every need --hangup-after");
    if (f.hangupEverySeconds > 0 && !(f.hangupForSeconds > 0))
        throw std::invalid_argument("--hangup-every needs --hangup-for");
    if ((f.silentAfterSeconds > 0) != (f.silentForSeconds > 0))
        throw std::invalid_argument("--silent-after and --silent-for go together");
}

}  // namespace

SimCommandLine parseSimCommandLine(int argc, const char* const argv[]) {
    po::variables_map vm;
    po::store(po::parse_command_line(argc, argv, allOptions()), vm);
    po::notify(vm);
    SimCommandLine line;
    line.help = vm.count("help") > 0;
    if (line.help) return line;
    SimSettings& s = line.settings;
    applyProfile(vm, s.profile);
    applyText(vm, s.profile);
    applyTiming(vm, s);
    applyFaults(vm, s.faults);
    if (vm.count("eeprom")) s.eepromFile = vm["eeprom"].as<std::string>();
    if (vm.count("link")) s.linkPath = vm["link"].as<std::string>();
    if (vm.count("log")) s.logPath = vm["log"].as<std::string>();
    s.verbose = vm.count("verbose") > 0;
    if (vm.count("replay")) s.replayPath = vm["replay"].as<std::string>();
    s.replaySpeed = vm["replay-speed"].as<double>();
    if (!(s.replaySpeed > 0 && s.replaySpeed <= 1000)) throw std::invalid_argument("--replay-speed must be above 0 and at most 1000");
    s.replayLoop = vm.count("replay-loop") > 0;
    return line;
}

std::string simHelpText() {
    std::ostringstream out;
    out << kIntro << "\n" << allOptions();
    return out.str();
}

}  // namespace tessline
