// The table's and the broker's options as the settings their libraries take,
// and the refusals of options that do not go together, in their order.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/options.h"
#include "app/output_settings.h"
#include "app/system_options.h"

namespace {

using namespace tessline;

boost::program_options::variables_map parsed(std::vector<const char*> args) {
    args.insert(args.begin(), "solwatch");
    OptionGroups groups;
    return parseCommandLine(static_cast<int>(args.size()), args.data(), groups);
}

// The reason a throwing call gives, or "" when it does not throw.
template <class Call>
std::string refusal(Call call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(OutputSettings, TableFromTheCommandLine) {
    const struct {
        std::vector<const char*> args;
        TableFormat format;
        std::optional<Rotation> rotation;
        int keep;
        bool holdRows;
    } cases[] = {
        {{}, TableFormat::csv, std::nullopt, 0, false},
        {{"--json"}, TableFormat::jsonLines, std::nullopt, 0, false},
        {{"--no-table", "--mqtt", "mqtt://broker"}, TableFormat::none, std::nullopt, 0, false},
        {{"-o", "x.csv", "--rotate", "monthly", "--keep", "3", "--reconnect"}, TableFormat::csv, Rotation::monthly, 3,
         true},
    };
    for (const auto& c : cases) {
        const std::string legend = c.args.empty() ? "no options" : c.args.front();
        TableOutputSettings settings = tableSettingsFrom(parsed(c.args));
        EXPECT_EQ(settings.format, c.format) << legend;
        EXPECT_EQ(settings.rotation, c.rotation) << legend;
        EXPECT_EQ(settings.keep, c.keep) << legend;
        EXPECT_EQ(settings.holdRows, c.holdRows) << legend;
    }
}

TEST(OutputSettings, TableOptionsThatDoNotGoTogether) {
    const struct {
        std::vector<const char*> args;
        std::string reason;
    } cases[] = {
        // Both refusals apply; the first check's is given.
        {{"--json", "--no-table"}, "--json and --no-table exclude each other"},
        {{"--no-table"}, "--no-table needs --mqtt: the rows would go nowhere"},
        {{"--keep", "2", "--no-table"}, "--no-table needs --mqtt: the rows would go nowhere"},
    };
    for (const auto& c : cases) {
        boost::program_options::variables_map options = parsed(c.args);
        EXPECT_EQ(refusal([&] { tableSettingsFrom(options); }), c.reason);
    }
}

#ifdef SOLWATCH_NO_MQTT
// The Windows build has no MQTT client: its options are refused before a run.
TEST(SystemOptions, MqttOptionsAreRefusedWithoutAClient) {
    EXPECT_EQ(refusal([] { applySystemOptions(parsed({"--mqtt", "mqtt://broker"})); }),
              "option '--mqtt' is not in the Windows build: it has no MQTT client");
    EXPECT_EQ(refusal([] { applySystemOptions(parsed({})); }), "");
}
#else
TEST(OutputSettings, MqttFromTheCommandLine) {
    // A companion's declared default is no option given; one on the command
    // line needs --mqtt.
    EXPECT_EQ(mqttSettingsFrom(parsed({})), std::nullopt);
    EXPECT_EQ(refusal([] { mqttSettingsFrom(parsed({"--mqtt-qos", "1"})); }), "--mqtt-qos needs --mqtt");

    std::optional<MqttSettings> settings =
        mqttSettingsFrom(parsed({"--mqtt", "mqtts://u@broker:8884", "--mqtt-qos", "2", "--mqtt-discovery"}));
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->broker.tls);
    EXPECT_EQ(settings->broker.user, "u");
    EXPECT_EQ(settings->broker.host, "broker");
    EXPECT_EQ(settings->broker.port, 8884);
    EXPECT_EQ(settings->qos, 2);
    EXPECT_EQ(settings->topicPattern, "solwatch/%s");
    EXPECT_TRUE(settings->discovery);
    EXPECT_EQ(settings->discoveryPrefix, "homeassistant");
    EXPECT_EQ(settings->buffer, 10000);
}
#endif

}  // namespace
