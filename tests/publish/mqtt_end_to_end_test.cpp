// solwatch against solwatch-sim and a real mosquitto: what reaches the
// broker, what it keeps, and how the run ends when the broker refuses it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/shutdown_budget.h"
#include "tests/publish/mosquitto_broker.h"
#include "tests/publish/slow_proxy.h"
#include "tests/support/csv_row.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

namespace {

using namespace publish_test;
using namespace testing_support;
using namespace std::chrono_literals;
using nlohmann::json;

const std::string kBase = "solwatch/HQ2042SIM01";

std::unique_ptr<Process> startSolwatch(std::vector<std::string> args) {
    args.insert(args.begin(), SOLWATCH_BIN);
    return std::make_unique<Process>(args);
}

// Takes the subscriber's messages in until `done` holds, asked after each.
bool receiveUntil(Subscriber& subscriber, const std::function<bool()>& done) {
    return waitUntil([&] { return subscriber.waitFor(subscriber.messages().size() + 1, 50ms), done(); }, kEventBound,
                     0ms);
}

// The messages so far of each topic.
std::map<std::string, int> countPerTopic(const Subscriber& subscriber) {
    std::map<std::string, int> perTopic;
    for (const Message& m : subscriber.messages()) ++perTopic[m.topic];
    return perTopic;
}

std::vector<json> payloads(const std::vector<Message>& messages) {
    std::vector<json> parsed;
    for (const Message& m : messages) parsed.push_back(json::parse(m.payload));
    return parsed;
}

// The CSV key rule as a user reads it in the README, written out once more.
std::string keyOf(std::string header) {
    std::string key;
    for (char c : header) {
        if (std::isalnum(static_cast<unsigned char>(c))) key += static_cast<char>(std::tolower(c));
        else if (c == '[' || c == '_') key += '_';
        else if (c == '%') key += "pct";
    }
    return key;
}

// The member as written: a number keeps the CSV's digits ("4.20", not 4.2).
bool hasMember(const std::string& object, const std::string& key, const std::string& text) {
    std::string member = "\"" + key + "\":" + text;
    std::size_t at = object.find(member);
    return at != std::string::npos && at + member.size() < object.size() &&
           (object[at + member.size()] == ',' || object[at + member.size()] == '}');
}

// Each CSV column has its key in the state object, with the CSV's own text.
void expectSameRow(const std::vector<std::string>& headers, const std::string& row, const Message& message) {
    std::vector<std::string> cells = csvCells(row);
    ASSERT_EQ(cells.size(), headers.size()) << row;
    json state = json::parse(message.payload);
    EXPECT_EQ(state["time"], csvTime(cells[0])) << row << "\n" << message.payload;
    for (std::size_t i = 1; i < headers.size(); ++i) {
        std::string key = keyOf(headers[i]);
        const std::string& cell = cells[i];
        ASSERT_TRUE(state.contains(key)) << key << " in " << message.payload;
        if (cell == "-") EXPECT_TRUE(state[key].is_null()) << key;
        else if (cell.front() == '"') EXPECT_EQ(state[key], cell.substr(1, cell.size() - 2)) << key;
        else EXPECT_TRUE(hasMember(message.payload, key, cell)) << key << " " << cell << " " << message.payload;
    }
}

// The body of GET /metrics from the server on the loopback's `port`, or
// what came of it before the server closed or the bound ran out.
std::string metricsOf(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    std::string reply;
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        pollfd p{fd, POLLIN, 0};
        char buffer[4096];
        ssize_t n = 0;
        while (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kEventBound).count())) > 0 &&
               (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<std::size_t>(n));
    }
    if (fd >= 0) ::close(fd);
    return reply;
}

class MqttEndToEnd : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(MqttEndToEnd, StateMessagesAreTheCsvRows) {
    MosquittoBroker broker(dir.path());
    SimProcess sim({});
    Subscriber subscriber(broker, kBase + "/state");
    auto solwatch = startSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url()});
    std::vector<std::string> headers = csvCells(solwatch->readLine(10s));
    std::vector<std::string> rows;
    for (int i = 0; i < 4; ++i) rows.push_back(solwatch->readLine(10s));
    const auto& messages = subscriber.waitFor(4, 10s);
    solwatch->signal(SIGINT);
    EXPECT_EQ(solwatch->wait(10s).exitCode, 0);
    ASSERT_GE(messages.size(), 4u);
    for (int i = 0; i < 4; ++i) expectSameRow(headers, rows[i], messages[i]);
    // An orderly end leaves "offline".
    std::vector<Message> retained = retainedMessages(broker, kBase + "/status");
    ASSERT_EQ(retained.size(), 1u);
    EXPECT_EQ(retained[0].payload, "offline");
}

// A stop while the broker answers late (each byte a good part of the
// broker's teardown after it was sent, both ways): "offline" still goes
// out, and the run ends by itself within the stop's grace, while the web
// server has been reading the broker's health. The proxy keeps the broker's
// side open, so the "offline" that arrives is the run's own, not the last
// will (which would come only after the keep-alive time).
TEST_F(MqttEndToEnd, SlowBrokerStillGetsOfflineWithinTheStopGrace) {
    MosquittoBroker broker(dir.path());
    SlowProxy proxy(broker.port(), tessline::kBrokerTeardown / 5);
    SimProcess sim({});
    Subscriber status(broker, kBase + "/status");
    const int httpPort = freePort();
    auto solwatch = startSolwatch(
        {"-s", sim.path(), "-f", "-v", "--mqtt", proxy.url(), "--http", "127.0.0.1:" + std::to_string(httpPort)});
    // The header and two rows: the run and its broker connection are under way.
    for (int line = 0; line < 3; ++line) ASSERT_FALSE(solwatch->readLine(kEventBound).empty()) << solwatch->errSoFar();
    ASSERT_TRUE(receiveUntil(status, [&] { return !status.messages().empty() && status.messages().back().payload == "online"; }));
    ASSERT_TRUE(waitUntil([&] { return metricsOf(httpPort).find("\nsolwatch_mqtt_connected 1\n") != std::string::npos; }));
    solwatch->signal(SIGTERM);
    ProcessResult result = solwatch->wait(kEventBound);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.err.find("signal 15: stopping"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("stopping without waiting any longer"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("ThreadSanitizer"), std::string::npos) << result.err;
    EXPECT_TRUE(receiveUntil(status, [&] { return status.messages().back().payload == "offline"; }));
}

TEST_F(MqttEndToEnd, JsonLinesAreTheStateMessages) {
    MosquittoBroker broker(dir.path());
    SimProcess sim({});
    Subscriber subscriber(broker, kBase + "/state");
    auto solwatch = startSolwatch({"-s", sim.path(), "-f", "--json", "--mqtt", broker.url()});
    std::vector<std::string> lines;
    for (int i = 0; i < 3; ++i) lines.push_back(solwatch->readLine(10s));
    const auto& messages = subscriber.waitFor(3, 10s);
    solwatch->signal(SIGINT);
    solwatch->wait(10s);
    ASSERT_EQ(messages.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lines[i], messages[i].payload);  // no header line before them
}

TEST_F(MqttEndToEnd, InfoAndStatusAreRetainedAndTheLastWillSaysOffline) {
    MosquittoBroker broker(dir.path());
    SimProcess sim({"--frozen"});
    Subscriber subscriber(broker, kBase + "/state");
    auto solwatch = startSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url(), "--no-table"});
    ASSERT_EQ(subscriber.waitFor(1, 10s).size(), 1u);
    // The presence follows the rows that waited for the connection.
    std::map<std::string, Message> retained;
    waitUntil([&] {
        for (const Message& m : retainedMessages(broker, kBase + "/+")) retained[m.topic] = m;
        return retained.size() >= 2;
    });
    ASSERT_EQ(retained.count(kBase + "/info"), 1u);
    json info = json::parse(retained[kBase + "/info"].payload);
    EXPECT_EQ(info["serial_number"], "HQ2042SIM01");
    EXPECT_EQ(info["product_id"], "0xA042");
    EXPECT_EQ(info["software_version"], "1.16");
    EXPECT_TRUE(info["capabilities"].is_array());
    EXPECT_EQ(retained[kBase + "/status"].payload, "online");
    EXPECT_EQ(retained.count(kBase + "/state"), 0u) << "rows are not retained";
    solwatch->signal(SIGKILL);
    solwatch->wait(5s);
    std::string status;
    waitUntil([&] {
        std::vector<Message> now = retainedMessages(broker, kBase + "/status");
        return (status = now.empty() ? "" : now[0].payload) == "offline";
    });
    EXPECT_EQ(status, "offline");
    EXPECT_EQ(solwatch->wait(1s).out, "") << "--no-table writes no table";
}

// The broker stopped for 20 s: the CSV goes on a row a second, and with
// QoS 1 every row reaches the subscriber afterwards, in order.
TEST_F(MqttEndToEnd, BrokerAwayTwentySecondsLosesNoRow) {
    MosquittoBroker broker(dir.path(), BrokerConfig{false, "", "", true});
    SimProcess sim({});
    // A kept session: the broker queues for the subscriber while it reconnects.
    Subscriber subscriber(broker, kBase + "/state", {"-c", "-i", "outage-test"});
    auto solwatch = startSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url(), "--mqtt-qos", "1"});
    solwatch->readLine(10s);  // header
    ASSERT_EQ(subscriber.waitFor(2, 10s).size(), 2u);
    broker.stop();
    auto stopped = std::chrono::steady_clock::now();
    std::vector<std::string> rows;
    while (std::chrono::steady_clock::now() - stopped < 20s) rows.push_back(solwatch->readLine(5s));
    broker.start();
    EXPECT_GE(rows.size(), 18u) << "the CSV stalled while the broker was away";
    std::time_t last = csvTime(csvCells(rows.back())[0]);
    receiveUntil(subscriber, [&] {
        return !subscriber.messages().empty() && json::parse(subscriber.messages().back().payload)["time"] >= last;
    });
    solwatch->signal(SIGINT);
    solwatch->wait(10s);
    // QoS 1 may bring a message twice; each row must be there, in order.
    std::vector<std::time_t> times;
    for (const json& state : payloads(subscriber.messages()))
        if (times.empty() || state["time"] != times.back()) times.push_back(state["time"]);
    std::size_t next = std::find(times.begin(), times.end(), csvTime(csvCells(rows.front())[0])) - times.begin();
    ASSERT_LT(next, times.size()) << "the first row of the outage never came";
    for (const std::string& row : rows) {
        ASSERT_LT(next, times.size()) << "lost from here on: " << row;
        EXPECT_EQ(times[next++], csvTime(csvCells(row)[0])) << row;
    }
}

TEST_F(MqttEndToEnd, TlsWithTheCaFileAndABadCertificate) {
    MosquittoBroker broker(dir.path(), BrokerConfig{true, "", "", false});
    SimProcess sim({"--frozen"});
    Subscriber subscriber(broker, kBase + "/state");
    auto solwatch = startSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url(), "--mqtt-cafile", broker.caFile()});
    EXPECT_EQ(subscriber.waitFor(1, 10s).size(), 1u);
    solwatch->signal(SIGINT);
    EXPECT_EQ(solwatch->wait(10s).exitCode, 0);
    // The system's CA store does not know the test's CA.
    ProcessResult refused = runSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url()}, 20s);
    EXPECT_EQ(refused.exitCode, 5);
    EXPECT_TRUE(hasLine(unstamped(refused.err),
                        "ERR.publish: TLS with broker " + broker.url() + " failed: certificate verify failed"))
        << refused.err;
}

// The CA is right, the name or the dates are not: as permanent as an
// unknown CA, one line with the TLS library's reason.
TEST_F(MqttEndToEnd, CertificateThatDoesNotPassEndsTheRun) {
    struct Case {
        const char* legend;
        const char* host;
        int days;
        const char* reason;
    };
    const Case cases[] = {
        {"another host", "elsewhere.example", 2, "hostname mismatch"},
        {"expired", "localhost", -1, "certificate verify failed"},
    };
    SimProcess sim({"--frozen"});
    for (const Case& c : cases) {
        ScratchDir brokerDir;
        BrokerConfig config{true, "", "", false};
        config.certificateHost = c.host;
        config.certificateDays = c.days;
        MosquittoBroker broker(brokerDir.path(), config);
        ProcessResult refused =
            runSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url(), "--mqtt-cafile", broker.caFile()}, 20s);
        EXPECT_EQ(refused.exitCode, 5) << c.legend;
        std::string err = unstamped(refused.err);
        std::string failed = "ERR.publish: TLS with broker " + broker.url() + " failed: " + c.reason;
        EXPECT_TRUE(hasLine(err, failed)) << c.legend << ": " << err;
        EXPECT_EQ(err.find(failed), err.rfind(failed)) << "one line: " << err;
        EXPECT_EQ(err.find("not reachable"), std::string::npos) << err;
    }
}

// Without -v: the first failure and the return show, the retries between them do not.
TEST_F(MqttEndToEnd, UnreachableBrokerIsLoggedOnceAndSoIsItsReturn) {
    MosquittoBroker broker(dir.path());
    broker.stop();
    SimProcess sim({});
    auto solwatch = startSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url(), "--no-table"});
    const std::string away = "ERR.publish: broker mqtt://127.0.0.1:" + std::to_string(broker.port()) +
                             " not reachable: ";
    EXPECT_TRUE(solwatch->waitForErr(away, 15s)) << solwatch->errSoFar();
    // The retries (after 1, 2 and 4 s) log nothing: only time lets them happen.
    std::this_thread::sleep_for(5s);
    broker.start();
    const std::string back = "INF.publish: broker mqtt://127.0.0.1:" + std::to_string(broker.port()) +
                             " reachable again";
    EXPECT_TRUE(solwatch->waitForErr(back, 20s)) << solwatch->errSoFar();
    solwatch->signal(SIGINT);
    std::string err = unstamped(solwatch->wait(10s).err);
    std::size_t first = err.find(away);
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(away, first + 1), std::string::npos) << "every retry logged: " << err;
    EXPECT_NE(err.find("; trying again", first), std::string::npos) << err;
}

// Two chargers that report no serial number, each with a topic base of its
// own: neither logs the other off, and both leave "offline" at the end.
TEST_F(MqttEndToEnd, ChargersWithoutSerialNumberKeepTheirConnections) {
    MosquittoBroker broker(dir.path());
    SimProcess first({"--frozen", "--serial", ""});
    SimProcess second({"--frozen", "--serial", ""});
    Subscriber subscriber(broker, "+/state");
    auto a = startSolwatch({"-s", first.path(), "-f", "-v", "--mqtt", broker.url(), "--mqtt-topic", "siteA",
                            "--no-table"});
    auto b = startSolwatch({"-s", second.path(), "-f", "-v", "--mqtt", broker.url(), "--mqtt-topic", "siteB",
                            "--no-table"});
    std::map<std::string, int> perTopic;
    receiveUntil(subscriber, [&] {
        perTopic = countPerTopic(subscriber);
        return perTopic["siteA/state"] >= 4 && perTopic["siteB/state"] >= 4;
    });
    a->signal(SIGINT);
    b->signal(SIGINT);
    for (auto* solwatch : {a.get(), b.get()}) {
        std::string err = solwatch->wait(10s).err;
        EXPECT_EQ(err.find("connection lost"), std::string::npos) << err;
    }
    EXPECT_GE(perTopic["siteA/state"], 4);
    EXPECT_GE(perTopic["siteB/state"], 4);
    for (const char* status : {"siteA/status", "siteB/status"}) {
        std::vector<Message> retained = retainedMessages(broker, status);
        ASSERT_EQ(retained.size(), 1u) << status;
        EXPECT_EQ(retained[0].payload, "offline") << status;
    }
}

// The full variant: the rows carry today's record, the retained history all days.
TEST_F(MqttEndToEnd, HistoryIsOneRetainedMessageBesideSlimRows) {
    MosquittoBroker broker(dir.path());
    SimProcess sim({"--frozen"});
    Subscriber subscriber(broker, kBase + "/state");
    auto solwatch = startSolwatch({"-s", sim.path(), "--mqtt", broker.url(), "--no-table", "--first-row-after", "3"});
    ASSERT_EQ(subscriber.waitFor(1, 20s).size(), 1u);
    std::vector<Message> history;
    waitUntil([&] { return !(history = retainedMessages(broker, kBase + "/history")).empty(); });
    solwatch->signal(SIGINT);
    solwatch->wait(10s);
    json state = json::parse(subscriber.messages()[0].payload);
    ASSERT_TRUE(state.contains("history")) << subscriber.messages()[0].payload;
    EXPECT_EQ(state["history"]["days"].size(), 1u);
    EXPECT_TRUE(state["history"]["total"].contains("yield_user_kwh"));
    EXPECT_LT(subscriber.messages()[0].payload.size(), 2000u);
    ASSERT_EQ(history.size(), 1u);
    json days = json::parse(history[0].payload);
    EXPECT_EQ(days["days"].size(), 31u);
    EXPECT_EQ(days["days"][0], state["history"]["days"][0]);
    EXPECT_EQ(days["total"], state["history"]["total"]);
    EXPECT_EQ(days["time"], state["time"]);
}

TEST_F(MqttEndToEnd, PasswordAcceptedAndRefused) {
    MosquittoBroker broker(dir.path(), BrokerConfig{false, "alice", "s3cret", false});
    SimProcess sim({"--frozen"});
    Subscriber subscriber(broker, kBase + "/state");
    writeFile(dir.file("password"), "s3cret\n");
    auto solwatch = startSolwatch(
        {"-s", sim.path(), "-f", "--mqtt", broker.url("alice"), "--mqtt-password-file", dir.file("password")});
    EXPECT_EQ(subscriber.waitFor(1, 10s).size(), 1u);
    solwatch->signal(SIGINT);
    solwatch->wait(10s);
    ::setenv("SOLWATCH_MQTT_PASSWORD", "wrong", 1);
    ProcessResult refused = runSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url("alice")}, 20s);
    ::unsetenv("SOLWATCH_MQTT_PASSWORD");
    EXPECT_EQ(refused.exitCode, 5);
    std::string err = unstamped(refused.err);
    EXPECT_TRUE(hasLine(err, "ERR.publish: broker " + broker.url() + " refused the connection: not authorized"))
        << err;
    EXPECT_EQ(err.find("====="), std::string::npos) << "the log line is the whole report";
}

TEST_F(MqttEndToEnd, DiscoveryConfigsParseAndCarryTheKeys) {
    MosquittoBroker broker(dir.path());
    SimProcess sim({"--frozen"});
    Subscriber subscriber(broker, kBase + "/state");
    auto solwatch = startSolwatch({"-s", sim.path(), "-f", "--mqtt", broker.url(), "--mqtt-discovery=ha"});
    std::vector<std::string> headers = csvCells(solwatch->readLine(10s));
    ASSERT_EQ(subscriber.waitFor(1, 10s).size(), 1u);
    json state = json::parse(subscriber.messages()[0].payload);
    std::vector<Message> configs;
    waitUntil([&] {
        configs = retainedMessages(broker, "ha/sensor/solwatch_HQ2042SIM01/+/config");
        return configs.size() >= headers.size() - 1;
    });
    solwatch->signal(SIGINT);
    solwatch->wait(10s);
    EXPECT_EQ(configs.size(), headers.size() - 1);  // every column but the time stamp
    for (const Message& message : configs) {
        json config = json::parse(message.payload);
        for (const char* key : {"name", "unique_id", "state_topic", "value_template", "availability_topic", "device"})
            EXPECT_TRUE(config.contains(key)) << key << " in " << message.payload;
        for (const char* key : {"identifiers", "manufacturer", "model", "sw_version", "serial_number"})
            EXPECT_TRUE(config["device"].contains(key)) << key << " in " << message.payload;
        EXPECT_EQ(config["state_topic"], kBase + "/state");
        EXPECT_EQ(config["availability_topic"], kBase + "/status");
        std::string key = message.topic.substr(message.topic.rfind('/', message.topic.size() - 8) + 1);
        key = key.substr(0, key.find('/'));
        EXPECT_EQ(config["value_template"], "{{ value_json." + key + " }}");
        EXPECT_TRUE(state.contains(key)) << key;
    }
    json ichr = json::parse(retainedMessages(broker, "ha/sensor/solwatch_HQ2042SIM01/ichr_a/config").at(0).payload);
    EXPECT_EQ(ichr["unit_of_measurement"], "A");
    EXPECT_EQ(ichr["device_class"], "current");
    EXPECT_EQ(ichr["state_class"], "measurement");
}

TEST_F(MqttEndToEnd, TwoChargersOneBrokerDistinctTopics) {
    MosquittoBroker broker(dir.path());
    SimProcess first({"--frozen", "--serial", "HQ2042SIMA1"});
    SimProcess second({"--frozen", "--serial", "HQ2042SIMB2"});
    Subscriber subscriber(broker, "solwatch/+/state");
    auto a = startSolwatch({"-s", first.path(), "-f", "--mqtt", broker.url(), "-o", "/dev/null"});
    auto b = startSolwatch({"-s", second.path(), "-f", "--mqtt", broker.url(), "--no-table"});
    std::map<std::string, int> perTopic;
    auto bothTwice = [&perTopic] {
        return perTopic.size() >= 2 && std::all_of(perTopic.begin(), perTopic.end(),
                                                   [](const auto& topic) { return topic.second >= 2; });
    };
    receiveUntil(subscriber, [&] { return perTopic = countPerTopic(subscriber), bothTwice(); });
    a->signal(SIGINT);
    b->signal(SIGINT);
    EXPECT_EQ(a->wait(10s).out, "");
    EXPECT_EQ(b->wait(10s).out, "");
    EXPECT_GE(perTopic["solwatch/HQ2042SIMA1/state"], 2);
    EXPECT_GE(perTopic["solwatch/HQ2042SIMB2/state"], 2);
    EXPECT_EQ(perTopic.size(), 2u);
}

// The README's site broker: dist/mosquitto/site-bridge.conf bridged to a
// central broker on loopback, with a short pause between the bridge's
// attempts and its queue sized by the file's own arithmetic for this outage.
constexpr int kRestartSeconds = 3;
std::string siteBridgeConfig(int centralPort, int queue) {
    std::istringstream lines(readFile(std::string(SOLWATCH_SOURCE_DIR) + "/dist/mosquitto/site-bridge.conf"));
    std::string adapted;
    for (std::string line; std::getline(lines, line);) {
        std::string key = line.substr(0, line.find(' '));
        if (key == "bridge_cafile" || key == "remote_username" || key == "remote_password") continue;
        if (key == "address") line = "address 127.0.0.1:" + std::to_string(centralPort);
        if (key == "restart_timeout") line = "restart_timeout " + std::to_string(kRestartSeconds);
        if (key == "max_queued_messages") line = "max_queued_messages " + std::to_string(queue);
        adapted += line + "\n";
    }
    return adapted;
}

// Two chargers at a site, the central broker stopped for a while: each
// charger's rows all reach a kept session on the central broker, once but
// for QoS 1's redelivery of a row in flight at the stop. At the bridge's
// return Mosquitto may pass a live row before the last of the backlog, so
// the rows are compared as sets: their "time" gives the order.
TEST_F(MqttEndToEnd, SiteBridgeKeepsEveryRowThroughAnOutage) {
    constexpr int kChargers = 2, kRetainedEach = 12;  // -f with discovery: 10 columns, info, status
    constexpr auto kOutage = 12s;
    // The bridge's own pause until its next attempt counts to the outage.
    constexpr int kOutageSeconds = static_cast<int>(kOutage.count()) + kRestartSeconds;
    constexpr int kQueue =
        kChargers * kOutageSeconds + kChargers * kRetainedEach * (kOutageSeconds / kRestartSeconds + 1);
    ScratchDir centralDir, siteDir;
    MosquittoBroker central(centralDir.path(), BrokerConfig{false, "", "", true});
    MosquittoBroker site(siteDir.path(), BrokerConfig{false, "", "", true}, siteBridgeConfig(central.port(), kQueue));
    Subscriber subscriber(central, "solwatch/+/+/state", {"-c", "-i", "central-reader"});
    const std::vector<std::string> serials = {"HQ2042SIMA1", "HQ2042SIMB2"};
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<Process>> chargers;
    for (const std::string& serial : serials) {
        sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"--serial", serial}));
        chargers.push_back(startSolwatch({"-s", sims.back()->path(), "-f", "--json", "--mqtt", site.url(),
                                          "--mqtt-topic", "solwatch/cabin/%s", "--mqtt-discovery"}));
    }
    ASSERT_GE(subscriber.waitFor(2 * kChargers, 20s).size(), 2u * kChargers) << "nothing over the bridge";
    EXPECT_LE(retainedMessages(site, "#").size(), std::size_t(kChargers * kRetainedEach));
    central.stop();
    std::this_thread::sleep_for(kOutage);  // the outage is the subject: its rows must all come through
    central.start();
    // The bridge's next attempt brings the backlog.
    subscriber.waitFor(subscriber.messages().size() + kChargers * kOutage.count(), 20s);
    // The JSON lines are the state messages' payloads.
    std::map<std::string, std::set<std::string>> written;
    for (std::size_t i = 0; i < chargers.size(); ++i) {
        chargers[i]->signal(SIGINT);
        const std::vector<std::string> rows = splitLines(chargers[i]->wait(10s).out);
        written["solwatch/cabin/" + serials[i] + "/state"].insert(rows.begin(), rows.end());
    }
    std::map<std::string, std::set<std::string>> arrived;
    receiveUntil(subscriber, [&] {
        arrived.clear();
        for (const Message& m : subscriber.messages()) arrived[m.topic].insert(m.payload);
        return arrived == written;
    });
    EXPECT_EQ(arrived, written);
}

}  // namespace
