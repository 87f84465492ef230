// solwatch --http against solwatch-sim, seen by a client: the answers are
// the CSV's rows, the events follow them, the health follows the link, the
// limits hold, and a server that cannot listen ends the run at once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <map>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "fields/field_catalogue.h"
#include "tests/http/http_client.h"
#include "tests/http/http_dump.h"
#include "tests/support/pty.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wait_until.h"

namespace {

using namespace http_test;
using namespace testing_support;
using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

// Every column of the row has its key in the state object, with the same value.
void expectStateIsRow(const Cells& header, const Cells& row, const json& state) {
    ASSERT_EQ(row.size(), header.size());
    EXPECT_EQ(state["time"], csvTime(row[0])) << state;
    for (std::size_t i = 1; i < header.size(); ++i) {
        const std::string key = tessline::fieldOfHeader(header[i]).field->key;
        const std::string& cell = row[i];
        ASSERT_TRUE(state.contains(key)) << key << " in " << state;
        if (cell == "-") EXPECT_TRUE(state[key].is_null()) << key;
        else if (cell.front() == '"') EXPECT_EQ(state[key], cell.substr(1, cell.size() - 2)) << key;
        else if (state[key].is_number()) EXPECT_DOUBLE_EQ(state[key].get<double>(), std::stod(cell)) << key;
        else ADD_FAILURE() << key << " is " << state[key] << ", the CSV has " << cell;
    }
}

// The data of each whole "event: NAME" in a stream, from `offset` on, which moves past them.
std::vector<std::string> eventsNamed(const std::string& stream, std::size_t& offset, const std::string& name) {
    std::vector<std::string> data;
    for (std::size_t end; (end = stream.find("\n\n", offset)) != std::string::npos; offset = end + 2) {
        const std::string event = stream.substr(offset, end - offset);
        const std::string head = "event: " + name + "\ndata: ";
        if (event.rfind(head, 0) == 0) data.push_back(event.substr(head.size()));
    }
    return data;
}

// A socket of the loopback that listens, so that the port is taken.
class BusyPort {
public:
    BusyPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 1) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~BusyPort() { ::close(fd_); }
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

// The server hears of a row a moment after the CSV has it: /api/state
// answers "no row yet" until then.
TEST(HttpEndToEnd, StateIsTheCsvRowOfItsTime) {
    HttpDump dump({});
    const Cells header = dump.header();
    ASSERT_FALSE(header.empty()) << dump.solwatch().errSoFar();
    Reply reply;
    ASSERT_TRUE(waitUntil([&] { return (reply = httpGet(dump.port(), "/api/state")).status == 200; })) << reply.body;
    EXPECT_EQ(reply.headers["content-type"], "application/json");
    json state = json::parse(reply.body);
    const Cells* row = dump.rowAt(state["time"].get<std::time_t>(), 5s);
    ASSERT_NE(row, nullptr) << "no CSV row of " << reply.body;
    expectStateIsRow(header, *row, state);
}

// A new client learns the link first; then each row's event comes with
// the CSV's row, not a poll interval later.
TEST(HttpEndToEnd, EventsFollowTheCsvRows) {
    HttpDump dump({});
    const Cells header = dump.header();
    Connection events(dump.port());
    ASSERT_TRUE(events.send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    const std::string linkUp = "event: link\ndata: {\"up\":true}\n\n";
    ASSERT_TRUE(events.readUntil([&](const std::string& s) { return s.find(linkUp) != std::string::npos; }, 5s))
        << events.received();
    EXPECT_NE(events.received().find("Content-Type: text/event-stream"), std::string::npos) << events.received();

    std::size_t offset = events.received().find(linkUp) + linkUp.size();
    std::map<std::time_t, Clock::time_point> csvAt, eventAt;
    std::map<std::time_t, json> eventData;
    // Rows written before the client joined have no event; each one after
    // the first event has.
    auto rowsSinceFirstEvent = [&] {
        int rows = 0;
        for (const auto& entry : csvAt) {
            if (eventAt.empty() || entry.first < eventAt.begin()->first) continue;
            if (!eventAt.count(entry.first)) return 0;
            ++rows;
        }
        return rows;
    };
    waitUntil(
        [&] {
            Cells row = dump.nextRow(20ms);
            if (!row.empty()) csvAt.emplace(csvTime(row[0]), Clock::now());
            events.readUntil([](const std::string&) { return false; }, 20ms);
            for (const std::string& data : eventsNamed(events.received(), offset, "row")) {
                json state = json::parse(data);
                eventAt.emplace(state["time"].get<std::time_t>(), Clock::now());
                eventData.emplace(state["time"].get<std::time_t>(), state);
            }
            return rowsSinceFirstEvent() >= 3;
        },
        kEventBound, 0ms);
    ASSERT_GE(rowsSinceFirstEvent(), 3) << "a row without its event: " << events.received();
    for (const auto& [time, csvArrival] : csvAt)
        if (time >= eventAt.begin()->first) EXPECT_LT(eventAt[time] - csvArrival, 1500ms) << "the event of " << time;
    const Cells& last = dump.rows().back();
    if (eventData.count(csvTime(last[0]))) expectStateIsRow(header, last, eventData[csvTime(last[0])]);
}

// The distinct answers of `look` in their order, until there are `count`
// of them; answers before `first` and empty ones do not count.
std::vector<std::string> changesOf(const std::function<std::string()>& look, const std::string& first,
                                   std::size_t count) {
    std::vector<std::string> seen;
    waitUntil(
        [&] {
            const std::string now = look();
            if (!now.empty() && (seen.empty() ? now == first : seen.back() != now)) seen.push_back(now);
            return seen.size() >= count;
        },
        30s, 50ms);
    return seen;
}

// The simulator hangs up after 4 s and is back 2 s later.
TEST(HttpEndToEnd, HealthzFollowsTheLink) {
    ScratchDir dir;
    HttpDump dump({"--link", dir.file("port"), "--hangup-after", "4", "--hangup-for", "2"}, {"-f", "--reconnect"});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    std::string lostBody;  // the first 503's after a 200
    bool wasUp = false;
    auto health = [&] {
        Reply reply = httpGet(dump.port(), "/healthz", "GET", 2s);
        if (reply.status == 503 && wasUp && lostBody.empty()) lostBody = reply.body;
        wasUp = wasUp || reply.status == 200;
        return reply.status == 200 ? std::to_string(reply.status) + " " + reply.body : std::to_string(reply.status);
    };
    EXPECT_EQ(changesOf(health, "200 ok\n", 3), (std::vector<std::string>{"200 ok\n", "503", "200 ok\n"}))
        << dump.solwatch().errSoFar();
    EXPECT_EQ(lostBody.rfind("link lost: ", 0), 0u) << lostBody;
}

// Without --reconnect the charger falls silent after 4 s and talks again
// 5 s later: the health, the link metric and the live values follow the
// silence timeout all the same, though the CSV rows go on.
TEST(HttpEndToEnd, ASilentChargerShowsAsNoDataWithoutReconnect) {
    HttpDump dump({"--silent-after", "4", "--silent-for", "5", "--time-scale", "1"}, {"-f", "--silence-timeout", "2"});
    ASSERT_FALSE(dump.header().empty()) << dump.solwatch().errSoFar();
    // Health, link metric and panel power shown, from two requests: a look
    // counts only if the health was the same before and after the metrics.
    auto look = [&]() -> std::string {
        Reply health = httpGet(dump.port(), "/healthz", "GET", 2s);
        const std::string metrics = httpGet(dump.port(), "/metrics", "GET", 2s).body;
        Reply after = httpGet(dump.port(), "/healthz", "GET", 2s);
        if (after.status != health.status || after.body != health.body) return "";
        const bool linkUp = metrics.find("\nsolwatch_link_up 1\n") != std::string::npos;
        const bool power = metrics.find("\nsolwatch_panel_power_watts ") != std::string::npos;
        return std::to_string(health.status) + " " + health.body + (linkUp ? "up" : "down") + (power ? " with power" : "");
    };
    EXPECT_EQ(changesOf(look, "200 ok\nup with power", 3),
              (std::vector<std::string>{"200 ok\nup with power", "503 link lost: no data for 2 s\ndown",
                                        "200 ok\nup with power"}))
        << dump.solwatch().errSoFar();
}

// Silent connections beyond the limit: the oldest idle one makes room.
TEST(HttpEndToEnd, IdleConnectionsDoNotKeepOutANewRequest) {
    HttpDump dump({"--frozen"});
    std::vector<std::unique_ptr<Connection>> silent;
    for (int i = 0; i < 200; ++i) {
        silent.push_back(std::make_unique<Connection>(dump.port()));
        ASSERT_TRUE(silent.back()->connected()) << i;
    }
    auto asked = Clock::now();
    Reply reply = httpGet(dump.port(), "/metrics", "GET", 5s);
    auto took = Clock::now() - asked;
    EXPECT_EQ(reply.status, 200);
    EXPECT_LT(took, 1s);
    silent.front()->readUntil([](const std::string&) { return false; }, 10s);  // ends when the server closes
    EXPECT_TRUE(silent.front()->closedByPeer()) << "the oldest idle connection is still open";
}

TEST(HttpEndToEnd, EventsClientsBeyondSixteenAreTurnedAway) {
    HttpDump dump({"--frozen"});
    std::vector<std::unique_ptr<Connection>> clients;
    // Each from an address of its own, as one host has but a few places.
    auto subscribe = [&] {
        const std::string from = "127.0.0." + std::to_string(10 + clients.size());
        clients.push_back(std::make_unique<Connection>(dump.port(), from.c_str()));
        clients.back()->send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        clients.back()->readUntil([](const std::string& s) { return s.find("\r\n\r\n") != std::string::npos; }, 5s);
        return clients.back()->received().substr(0, clients.back()->received().find("\r\n"));
    };
    for (int i = 0; i < 16; ++i) ASSERT_EQ(subscribe(), "HTTP/1.1 200 OK") << i;
    EXPECT_EQ(subscribe(), "HTTP/1.1 503 Service Unavailable");
    clients.front().reset();
    // Turned away until the server has noticed the close.
    EXPECT_TRUE(waitUntil(
        [&] {
            if (subscribe() == "HTTP/1.1 200 OK") return true;
            clients.pop_back();
            return false;
        },
        kEventBound, 50ms))
        << "a place that came free";
}

// A host whose places are all being served (event streams here) is told
// when to come back, not closed in silence.
TEST(HttpEndToEnd, ANewcomerWithNoPlaceToTakeGets503AndRetryAfter) {
    HttpDump dump({"--frozen"});
    std::vector<std::unique_ptr<Connection>> streams;
    for (int i = 0; i < 8; ++i) {
        streams.push_back(std::make_unique<Connection>(dump.port(), "127.0.0.3"));
        streams.back()->send("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        ASSERT_TRUE(streams.back()->readUntil([](const std::string& s) { return s.find("\n\n") != std::string::npos; }, 5s));
    }
    Connection newcomer(dump.port(), "127.0.0.3");
    newcomer.readUntil([](const std::string&) { return false; }, 10s);  // ends when the server closes
    Reply reply = parseReply(newcomer.received());
    EXPECT_EQ(reply.status, 503) << newcomer.received();
    EXPECT_EQ(reply.headers["retry-after"], "5");
    EXPECT_TRUE(newcomer.closedByPeer());
    EXPECT_NE(httpGet(dump.port(), "/healthz").status, 0) << "another host is served";
}

TEST(HttpEndToEnd, HugeHeaderGets431AndTheServerGoesOn) {
    HttpDump dump({"--frozen"});
    const std::string filler(100 * 1024, 'a');
    Reply refused = exchange(dump.port(), "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: " + filler + "\r\n\r\n");
    EXPECT_EQ(refused.status, 431) << refused.body;
    EXPECT_EQ(httpGet(dump.port(), "/metrics").status, 200);
}

// The body of a refused POST is itself a request: it must not be answered,
// or behind a proxy one user's answer could go to another.
TEST(HttpEndToEnd, ARefusedRequestsBodyIsNotReadAsTheNextRequest) {
    HttpDump dump({"--frozen"});
    const std::string smuggled = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    Connection connection(dump.port());
    connection.send("POST /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                    std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled);
    connection.readUntil([](const std::string&) { return false; }, 10s);  // ends when the server closes
    EXPECT_EQ(parseReply(connection.received()).status, 405) << connection.received();
    EXPECT_EQ(connection.received().find("HTTP/1.1 200"), std::string::npos) << connection.received();
    EXPECT_TRUE(connection.closedByPeer());
}

// A charger nobody plays: the run must end before it writes to it.
TEST(HttpEndToEnd, ListenFailureEndsTheRunBeforeTheCharger) {
    BusyPort busy;
    ASSERT_NE(busy.port(), 0);
    const std::string port = std::to_string(busy.port());
    struct Case {
        std::string listen;
        std::string line;  // the start of the one line on stderr
    };
    const Case cases[] = {
        {port, "ERR.http: cannot listen on 127.0.0.1:" + port + ": Address already in use"},
        {"300.1.1.1:80", "ERR.http: --http: bad address \"300.1.1.1\""},
        {"127.0.0.1:70000", "ERR.http: --http: bad port \"70000\""},
    };
    for (const Case& c : cases) {
        Pty charger;
        auto started = Clock::now();
        ProcessResult r = runSolwatch({"-s", charger.slavePath(), "-f", "--http", c.listen}, 10s);
        EXPECT_LT(Clock::now() - started, 3s) << c.listen;
        EXPECT_EQ(r.exitCode, 6) << c.listen << ": " << r.err;
        std::vector<std::string> lines = splitLines(unstamped(r.err));
        ASSERT_EQ(lines.size(), 1u) << r.err;
        EXPECT_EQ(lines[0].rfind(c.line, 0), 0u) << lines[0];
        // The run has ended: what it wrote to the charger is there to read.
        EXPECT_EQ(charger.readFor(10ms), "") << "the charger was asked: " << c.listen;
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
