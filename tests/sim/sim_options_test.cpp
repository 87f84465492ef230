#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "sim/sim_options.h"

namespace tessline {
namespace {

SimSettings parse(std::vector<const char*> args) {
    args.insert(args.begin(), "solwatch-sim");
    return parseSimCommandLine(int(args.size()), args.data()).settings;
}

struct OptionCase {
    const char* legend;
    std::vector<const char*> args;
    std::function<bool(const SimSettings&)> holds;
};

TEST(SimOptions, OptionsReachTheSettings) {
    const OptionCase cases[] = {
        {"defaults: modern charger", {},
         [](const SimSettings& s) {
             return s.profile.productId == 0xA042 && s.profile.firmwareWord == 0x4116 && s.profile.loadOutput &&
                    s.profile.capabilityBits() == 0x3F65 && s.throttle && s.periodMicros == 1000000;
         }},
        {"device 0x0300", {"--product-id", "0x0300"}, [](const SimSettings& s) { return s.profile.productId == 0x0300; }},
        {"firmware without 0x", {"--firmware", "4113"}, [](const SimSettings& s) { return s.profile.firmwareWord == 0x4113; }},
        {"no load drops the load bits", {"--no-load"},
         [](const SimSettings& s) { return !s.profile.loadOutput && s.profile.capabilityBits() == 0x2564; }},
        {"capabilities absent", {"--capabilities", "none"},
         [](const SimSettings& s) { return s.profile.absentRegisters.count(0x0140) == 1; }},
        {"bare reception error", {"--reception-error", "bare"},
         [](const SimSettings& s) { return s.faults.receptionError && !s.faults.receptionErrorWord; }},
        {"resend reception error", {"--reception-error", "0xAAAA"},
         [](const SimSettings& s) { return s.faults.receptionErrorWord == std::uint16_t(0xAAAA); }},
        {"silent", {"--silent"}, [](const SimSettings& s) { return !s.faults.sendText && !s.faults.answerHex; }},
        {"noise from 2.5 s on", {"--noise-after", "2.5"},
         [](const SimSettings& s) { return s.faults.noiseAfterSeconds == 2.5; }},
        {"extra fields", {"--extra-field", "ver#=1.23", "--extra-field", "manf=X=Y"},
         [](const SimSettings& s) {
             return s.profile.extraFields.size() == 2 && s.profile.extraFields[1].label == "manf" &&
                    s.profile.extraFields[1].value == "X=Y";
         }},
        {"start time", {"--start-time", "06:05"}, [](const SimSettings& s) { return s.startMinute == 365; }},
        {"absent registers", {"--absent-register", "EDDF", "--absent-register", "0xEDB8"},
         [](const SimSettings& s) { return s.profile.absentRegisters == std::set<std::uint16_t>{0xEDDF, 0xEDB8}; }},
    };
    for (const auto& c : cases) EXPECT_TRUE(c.holds(parse(c.args))) << c.legend;
}

TEST(SimOptions, BadValuesAreRefused) {
    const std::vector<std::vector<const char*>> cases = {
        {"--product-id", "0x10000"}, {"--firmware", "xyz"},          {"--firmware", "-1"},
        {"--load", "--no-load"},     {"--start-time", "24:00"},      {"--truncate-eeprom", "17"},
        {"--time-scale", "0"},       {"--extra-field", "novalue"},   {"--history-version", "256"},
        {"--period-ms", "0"},        {"--no-such-option"},           {"--hangup-after", "0"},
        {"--noise-after", "-1"},
    };
    for (const auto& args : cases) EXPECT_THROW(parse(args), std::logic_error) << args[0];
}

}  // namespace
}  // namespace tessline
