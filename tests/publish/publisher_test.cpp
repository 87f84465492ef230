// The publisher against a real broker, without a charger: what its backlog
// keeps while the broker is away, and a refusal.

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/shutdown_budget.h"
#include "publish/broker_refused.h"
#include "publish/mqtt_publisher.h"
#include "tests/publish/mosquitto_broker.h"
#include "tests/support/log_capture.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/typed_row.h"
#include "tests/support/wait_until.h"

namespace {

using namespace tessline;
using namespace publish_test;
using namespace std::chrono_literals;

MqttSettings settingsFor(const MosquittoBroker& broker, int buffer) {
    MqttSettings settings;
    settings.broker = parseBrokerUrl(broker.url());
    settings.topicPattern = "test/%s";
    settings.buffer = buffer;
    return settings;
}

const Identity kCharger{"Caldane Energy", "SolarUnit 15A mid", "HQ2042SIM01", "1.16", 0xA042};

TEST(MqttPublisher, FullBufferDropsTheOldestAndSaysHowMany) {
    testing_support::LogCapture log;
    testing_support::ScratchDir dir;
    MosquittoBroker broker(dir.path(), BrokerConfig{false, "", "", true});
    // A kept session: the broker queues for the subscriber while it reconnects.
    Subscriber subscriber(broker, "test/+/state", {"-c", "-i", "buffer-test"});
    broker.stop();
    {
        MqttPublisher publisher(settingsFor(broker, 5), kBrokerTeardown);
        publisher.onTableStart(kCharger, DeviceInfo(), testing_support::catalogueColumns({"Err"}));
        for (int row = 0; row < 12; ++row) publisher.onRow(TableRow{row, {numberCell(std::to_string(row), row)}});
        broker.start();
        const auto& messages = subscriber.waitFor(5, 15s);
        ASSERT_EQ(messages.size(), 5u);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(nlohmann::json::parse(messages[i].payload)["err"], 7 + i) << messages[i].payload;
        publisher.onEnd();
    }
    EXPECT_EQ(log.count("ERR.publish: message buffer full (5): dropping the oldest messages until the broker is back"), 1);
    EXPECT_EQ(log.count("ERR.publish: 7 messages dropped while the broker was away"), 1);
}

// More rows than the library gets at once: they follow one another as the
// broker acknowledges, all of them, in order.
TEST(MqttPublisher, LongBacklogGoesOutInOrderOnceTheBrokerIsBack) {
    testing_support::LogCapture log;
    testing_support::ScratchDir dir;
    MosquittoBroker broker(dir.path(), BrokerConfig{false, "", "", true});
    Subscriber subscriber(broker, "test/+/state", {"-c", "-i", "backlog-test"});
    broker.stop();
    const int rows = 350;
    {
        MqttPublisher publisher(settingsFor(broker, 1000), kBrokerTeardown);
        publisher.onTableStart(kCharger, DeviceInfo(), testing_support::catalogueColumns({"Err"}));
        for (int row = 0; row < rows; ++row) publisher.onRow(TableRow{row, {numberCell(std::to_string(row), row)}});
        broker.start();
        const auto& messages = subscriber.waitFor(rows, 30s);
        ASSERT_EQ(messages.size(), static_cast<std::size_t>(rows));
        for (int i = 0; i < rows; ++i) ASSERT_EQ(nlohmann::json::parse(messages[i].payload)["err"], i);
        publisher.onEnd();
    }
    EXPECT_EQ(log.count("ERR.publish: message buffer full (1000): dropping the oldest messages until the broker is back"), 0);
}

TEST(MqttPublisher, RefusedCredentialsEndTheNextRow) {
    testing_support::LogCapture log;
    testing_support::ScratchDir dir;
    MosquittoBroker broker(dir.path(), BrokerConfig{false, "alice", "secret", false});
    MqttSettings settings = settingsFor(broker, 10);
    settings.broker.user = "alice";
    settings.hasPassword = true;
    settings.password = "wrong";
    MqttPublisher publisher(settings, kBrokerTeardown);
    publisher.onTableStart(kCharger, DeviceInfo(), testing_support::catalogueColumns({"Err"}));
    testing_support::waitUntil([&] { return !publisher.failure().empty(); });
    try {
        publisher.onRow(TableRow{0, {numberCell("0", 0)}});
        ADD_FAILURE() << "a refused connection let the rows go on";
    } catch (const broker_refused& e) {
        std::string expected = "broker " + broker.url() + " refused the connection: not authorized";
        EXPECT_EQ(e.what(), expected);
        EXPECT_EQ(log.count("ERR.publish: " + expected), 1);
        EXPECT_EQ(*boost::get_error_info<tag_exit_code>(e), kBrokerRefusedExitCode);
    }
    publisher.onEnd();
}

// Another charger on the line: the first one's connection closes aside
// (its flush alone waits 2 s for a broker that does not answer) while the
// dump goes on; the new one connects after it.
TEST(MqttPublisher, AnotherChargerNeverHoldsUpTheDump) {
    testing_support::ScratchDir dir;
    MosquittoBroker broker(dir.path());
    Subscriber subscriber(broker, "test/+/state");
    MqttPublisher publisher(settingsFor(broker, 10), kBrokerTeardown);
    publisher.onTableStart(kCharger, DeviceInfo(), testing_support::catalogueColumns({"Err"}));
    ASSERT_TRUE(testing_support::waitUntil([&] { return publisher.health()->connected.load(); }));
    broker.pause();
    publisher.onRow(TableRow{0, {numberCell("1", 1)}});
    Identity other = kCharger;
    other.serialNumber = "HQ2042SIM02";
    auto started = std::chrono::steady_clock::now();
    publisher.onTableStart(other, DeviceInfo(), testing_support::catalogueColumns({"Err"}));
    publisher.onRow(TableRow{1, {numberCell("2", 2)}});
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    broker.resume();
    const auto& messages = subscriber.waitFor(2, 15s);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].topic, "test/HQ2042SIM01/state");
    EXPECT_EQ(messages[1].topic, "test/HQ2042SIM02/state");
    publisher.onEnd();
    EXPECT_TRUE(publisher.failure().empty()) << publisher.failure();
}

}  // namespace
