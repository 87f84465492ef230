// The server's routes and its --http address, without sockets.
#include "http/routes.h"

#include <regex>

#include <gtest/gtest.h>

#include "tests/support/typed_row.h"
#include <nlohmann/json.hpp>

#include <boost/beast/http/error.hpp>

#include "http/listen_address.h"
#include "tests/http/prometheus_server.h"

using namespace tessline;

namespace {

constexpr std::time_t kRowTime = 1796692380;

struct Fixture {
    LiveState state{SOLWATCH_VERSION, nullptr};
    ServerCounters counters;
    Site site{state, "/nonexistent/dygraph.min.js", &counters};

    Fixture() {
        const std::vector<TableColumn> columns = testing_support::catalogueColumns({"Timestamp", "State", "Vbat[V]"});
        state.onTableStart(Identity{}, DeviceInfo{}, columns);
        state.onRow(testing_support::typedRow(kRowTime, columns, "\"Tue Dec  8 01:13:00 2026\",\"BULK\",13.65"));
    }

    HttpResponse get(const std::string& target, http::verb verb = http::verb::get, std::time_t now = kRowTime) {
        HttpRequest request(verb, target, 11);
        bool events = false;
        return answerRequest(request, site, now, events);
    }
};

}  // namespace

TEST(HttpRoutes, FixedRoutesAnswerWithTheirTypeAndTheCommonHeaders) {
    struct Case {
        const char* target;
        unsigned status;
        const char* type;
    };
    const Case cases[] = {
        {"/metrics", 200, "text/plain; version=0.0.4; charset=utf-8"},
        {"/api/state", 200, "application/json"},
        {"/api/state?x=1", 200, "application/json"},
        {"/api/history", 200, "application/json"},
        {"/api/link", 200, "application/json"},
        {"/api/fields", 200, "application/json"},
        {"/healthz", 200, "text/plain; charset=utf-8"},
        {"http://127.0.0.1:8537/healthz", 200, "text/plain; charset=utf-8"},
        {"https://solar.example/api/state?x=1", 200, "application/json"},
        {"http://127.0.0.1:8537", 200, "text/html; charset=utf-8"},
        {"/favicon.ico", 200, "image/x-icon"},
        {"/events", 200, "text/event-stream"},
        {"/dygraph.min.js", 404, "text/plain; charset=utf-8"},  // the script is not installed here
        {"/nothing", 404, "text/plain; charset=utf-8"},
        {"/../../etc/passwd", 404, "text/plain; charset=utf-8"},
        {"/%2e%2e/%2e%2e/etc/passwd", 404, "text/plain; charset=utf-8"},
        {"/%2E%2E%2Fetc%2Fpasswd", 404, "text/plain; charset=utf-8"},
        {"/page.js/../../../../etc/passwd", 404, "text/plain; charset=utf-8"},
        {"//etc/passwd", 404, "text/plain; charset=utf-8"},
        {"/api/state/", 404, "text/plain; charset=utf-8"},
        {"*", 404, "text/plain; charset=utf-8"},
    };
    Fixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        HttpResponse response = f.get(c.target);
        EXPECT_EQ(response.result_int(), c.status);
        EXPECT_EQ(response[http::field::content_type], c.type);
        EXPECT_EQ(response["Content-Security-Policy"], "default-src 'self'");
        EXPECT_EQ(response["X-Content-Type-Options"], "nosniff");
        EXPECT_EQ(response.body().find("root:"), std::string::npos);
        EXPECT_TRUE(std::regex_match(std::string(response[http::field::date]),
                                     std::regex("[A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d GMT")))
            << response[http::field::date];
    }
    EXPECT_NE(f.get("/api/state").body().find("\"vbat_v\":13.65"), std::string::npos);
    EXPECT_EQ(f.get("/metrics")[http::field::cache_control], "no-store");
}

// Beside the charger's families: the process's, read from /proc, and the server's counters.
TEST(HttpRoutes, MetricsHaveTheProcessAndTheServer) {
    Fixture f;
    f.counters.refusedConnections = 3;
    f.counters.responses = {{200, 7}, {405, 1}};
    const std::string metrics = f.get("/metrics").body();
    for (const char* line : {"\nprocess_cpu_seconds_total ", "\nprocess_resident_memory_bytes ", "\nprocess_open_fds ",
                             "\nprocess_max_fds ", "\nprocess_start_time_seconds 1", "\nsolwatch_http_connections_refused_total 3\n",
                             "\nsolwatch_http_responses_total{code=\"200\"} 7\n", "\nsolwatch_http_responses_total{code=\"405\"} 1\n"})
        EXPECT_NE(metrics.find(line), std::string::npos) << line << " in " << metrics;
    const std::size_t rss = metrics.find("\nprocess_resident_memory_bytes ");
    EXPECT_GT(std::stod(metrics.substr(rss + 31)), 1e6) << "a resident size in bytes, not pages";
    if (http_test::installed(http_test::kPromtool)) {
        EXPECT_EQ(http_test::promtoolComplaints(metrics), "") << metrics;
    }
}

TEST(HttpRoutes, HeadHasTheGetsHeadAndNoBody) {
    Fixture f;
    HttpResponse get = f.get("/api/state");
    HttpResponse head = f.get("/api/state", http::verb::head);
    EXPECT_EQ(head.result_int(), 200);
    EXPECT_TRUE(head.body().empty());
    EXPECT_EQ(head[http::field::content_length], std::to_string(get.body().size()));
}

TEST(HttpRoutes, OtherMethodsAndBodiesAreRefused) {
    Fixture f;
    for (http::verb verb : {http::verb::post, http::verb::put, http::verb::delete_, http::verb::options}) {
        HttpResponse response = f.get("/api/state", verb);
        EXPECT_EQ(response.result_int(), 405);
        EXPECT_EQ(response[http::field::allow], "GET, HEAD");
        EXPECT_EQ(response["Content-Security-Policy"], "default-src 'self'");
    }
    // A request with a body ends its connection, whatever the answer.
    struct BodyCase {
        http::verb verb;
        const char* length;  // null: chunked
        unsigned status;
        bool keepAlive;
    };
    for (const BodyCase& c : {BodyCase{http::verb::get, "5", 413, false}, BodyCase{http::verb::get, nullptr, 413, false},
                              BodyCase{http::verb::post, "44", 405, false}, BodyCase{http::verb::post, "0", 405, true},
                              BodyCase{http::verb::get, "0", 200, true}}) {
        HttpRequest request(c.verb, "/metrics", 11);
        if (c.length) request.set(http::field::content_length, c.length);
        else request.chunked(true);
        bool events = false;
        HttpResponse response = answerRequest(request, f.site, kRowTime, events);
        EXPECT_EQ(response.result_int(), c.status) << c.verb << " " << (c.length ? c.length : "chunked");
        EXPECT_EQ(response.keep_alive(), c.keepAlive) << c.verb << " " << (c.length ? c.length : "chunked");
    }

    EXPECT_EQ(answerParseError(http::error::header_limit).result_int(), 431);
    EXPECT_EQ(answerParseError(http::error::bad_target).result_int(), 400);
}

TEST(HttpRoutes, HealthAndStateFollowTheLink) {
    LineActivity line;
    LiveState state(SOLWATCH_VERSION, nullptr, LineWatch{&line, std::chrono::seconds(10)});
    Site site{state, ""};
    auto answer = [&](const char* target, std::time_t now) {
        bool events = false;
        HttpResponse response = answerRequest(HttpRequest(http::verb::get, target, 11), site, now, events);
        return std::to_string(response.result_int()) + " " + response.body();
    };
    EXPECT_EQ(answer("/healthz", kRowTime), "503 no row yet\n");
    EXPECT_EQ(answer("/api/state", kRowTime), "503 {\"error\":\"no row yet\"}");
    EXPECT_EQ(answer("/api/info", kRowTime), "503 {\"error\":\"no device yet\"}");

    state.onTableStart(Identity{}, DeviceInfo{}, testing_support::catalogueColumns({"Timestamp", "Vbat[V]"}));
    line.noteValidFrame(LineActivity::Clock::now());
    state.onRow(TableRow{kRowTime, {textCell("x"), numberCell("12.80", 12.80)}});
    state.onRow(TableRow{kRowTime + 1, {textCell("x"), numberCell("12.80", 12.80)}});
    EXPECT_EQ(answer("/healthz", kRowTime + 8), "200 ok\n");
    // Rows a second apart: none for twice that and 5 s is a stop.
    EXPECT_EQ(answer("/healthz", kRowTime + 9), "503 no row for 8 s\n");
    EXPECT_EQ(state.linkEvent(), "{\"up\":true}");
    EXPECT_NE(answer("/metrics", kRowTime + 1).find("solwatch_battery_voltage_volts 12.8\n"), std::string::npos);

    // Rows that go on while the line says nothing for the silence timeout.
    line.noteValidFrame(LineActivity::Clock::now() - std::chrono::seconds(10));
    EXPECT_EQ(answer("/healthz", kRowTime + 1), "503 link lost: no data for 10 s\n");
    EXPECT_EQ(answer("/metrics", kRowTime + 1).find("solwatch_battery_voltage_volts 12.8\n"), std::string::npos);
    EXPECT_NE(answer("/metrics", kRowTime + 1).find("solwatch_link_up 0"), std::string::npos);
    const nlohmann::json link = nlohmann::json::parse(answer("/api/link", kRowTime + 1).substr(4));
    EXPECT_EQ(link["up"], false);
    EXPECT_NEAR(link["since"].get<double>(), std::time(nullptr) - 10, 1);
    line.noteValidFrame(LineActivity::Clock::now());
    EXPECT_EQ(answer("/healthz", kRowTime + 1), "200 ok\n");

    state.onLinkLost("read: End of file");
    EXPECT_EQ(answer("/healthz", kRowTime + 1), "503 link lost: read: End of file\n");
    // The last row stays readable while the link is away.
    EXPECT_NE(answer("/api/state", kRowTime + 1).find("\"vbat_v\":12.80"), std::string::npos);
}

TEST(ListenAddress, PortAloneIsTheLoopbackOnly) {
    struct Case {
        const char* text;
        std::vector<std::string> endpoints;  // empty: refused
    };
    const Case cases[] = {
        {"8537", {"127.0.0.1:8537", "[::1]:8537"}},
        {"0.0.0.0:8537", {"0.0.0.0:8537"}},
        {"[::]:80", {"[::]:80"}},
        {"192.168.1.5:65535", {"192.168.1.5:65535"}},
        {"[fe80::1]:1", {"[fe80::1]:1"}},
        {"0", {}},
        {"65536", {}},
        {"-1", {}},
        {"", {}},
        {"http", {}},
        {"300.1.1.1:80", {}},
        {"::1:80", {}},
        {"[1.2.3.4]:80", {}},
        {":80", {}},
        {"localhost:80", {"127.0.0.1:80", "[::1]:80"}},
        {"localhost", {}},
        {"0.0.0.0:", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> found;
        try {
            ListenAddress address = parseListenAddress(c.text);
            for (const auto& endpoint : address.endpoints) {
                std::string host = endpoint.address().to_string();
                found.push_back((endpoint.address().is_v6() ? "[" + host + "]" : host) + ":" +
                                std::to_string(endpoint.port()));
            }
            EXPECT_EQ(address.restOptional, found.size() > 1);
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find("bad "), std::string::npos) << e.what();
        }
        EXPECT_EQ(found, c.endpoints);
    }
}
