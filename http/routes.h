// The server's answers: fixed routes over the live state, free of sockets,
// so that the fuzz target and the tests reach them byte by byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "http/live_state.h"

namespace tessline {

namespace http = boost::beast::http;

using HttpRequest = http::request<http::empty_body>;
using HttpResponse = http::response<http::string_body>;

constexpr std::size_t kMaxRequestHeader = 8 * 1024;

// What the server did, for /metrics; counted and read on the server's
// thread alone.
struct ServerCounters {
    std::uint64_t refusedConnections = 0;  // told 503 before a request, or closed unanswered
    std::uint64_t evictedConnections = 0;  // closed to make room for a newcomer
    std::map<unsigned, std::uint64_t> responses;  // answered requests by status code

    std::string metricsText() const;
};

// Where the routes find what they serve.
struct Site {
    const LiveState& state;
    std::string dygraphsScript;  // the file served as /dygraph.min.js
    ServerCounters* counters = nullptr;  // none outside a server
};

// The answer to a parsed request's head. Sets `events` for a GET of
// /events, whose answer is only the head of an endless stream.
HttpResponse answerRequest(const HttpRequest& request, const Site& site, std::time_t now, bool& events);
// The answer to a request that could not be parsed (431 for a head that is
// too large, else 400); the connection closes after it.
HttpResponse answerParseError(const boost::system::error_code& error);
// 503 for a client that the server has no place for, saying `text` and
// when to try again; the connection closes after it.
HttpResponse busyAnswer(const char* text, std::chrono::seconds retryAfter);
// A plain-text answer with the headers every answer carries.
HttpResponse textAnswer(http::status status, const std::string& text, unsigned version);

}  // namespace tessline
