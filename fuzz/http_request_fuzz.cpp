// Any bytes a client may send, through the server's request handling: the
// parser, the routes and the answer's serialisation. Every request gets a
// whole answer with a known status, a length that matches its body, and the
// headers every answer carries; nothing crashes or leaks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/write.hpp>

#include "fields/field_catalogue.h"
#include "http/routes.h"

namespace {

using namespace tessline;

// A state with a table and a row, so that every route has something to show.
LiveState& liveState() {
    static LiveState* state = [] {
        auto* s = new LiveState("0.0", nullptr);
        std::vector<TableColumn> columns;
        for (const char* key : {"timestamp", "state", "vbat_v", "ppnl_w", "load"}) {
            const Field& field = catalogueField(Record::live, key);
            columns.push_back({field.header, kLiveColumn, &field});
        }
        Identity identity;
        identity.model = "SolarUnit 15A mid";
        identity.serialNumber = "HQ2042SIM01";
        s->onTableStart(identity, DeviceInfo{}, columns);
        s->onRow(TableRow{1796692380, {textCell("Tue Dec  8 01:13:00 2026"), nameCell("BULK", 3),
                                        numberCell("13.65", 13.65), numberCell("57.0", 57.0), nameCell("ON", 1)}});
        return s;
    }();
    return *state;
}

void check(bool condition) {
    if (!condition) std::abort();
}

void checkAnswer(HttpResponse& response) {
    static const std::set<unsigned> kStatuses = {200, 400, 404, 405, 413, 431, 503};
    check(kStatuses.count(response.result_int()) == 1);
    check(response["Content-Security-Policy"] == "default-src 'self'");
    check(response["X-Content-Type-Options"] == "nosniff");
    if (response.has_content_length() && !response.body().empty())
        check(std::stoul(std::string(response[http::field::content_length])) == response.body().size());
    std::ostringstream wire;
    wire << response;
    check(wire.str().rfind("HTTP/1.", 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Site site{liveState(), "/nonexistent/dygraph.min.js"};
    boost::asio::const_buffer rest(data, size);
    // Requests one after another, as a kept-alive connection sends them.
    while (rest.size() > 0) {
        http::request_parser<http::empty_body> parser;
        parser.header_limit(kMaxRequestHeader);
        parser.eager(false);
        boost::beast::error_code error;
        std::size_t used = parser.put(rest, error);
        if (error == http::error::need_more) return 0;  // waits for more bytes
        if (error) {
            HttpResponse response = answerParseError(error);
            checkAnswer(response);
            return 0;  // the connection closes
        }
        if (used == 0) return 0;
        rest += used;
        bool events = false;
        HttpResponse response = answerRequest(parser.get(), site, 1796692390, events);
        checkAnswer(response);
        if (!response.keep_alive()) return 0;
    }
    return 0;
}
