#include "http/routes.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include <boost/beast/http/error.hpp>

#include "http/page_fields.h"
#include "http/process_metrics.h"
#include "platform/civil_time.h"
#include "http/site_files.h"

namespace tessline {

namespace {

const char* const kJsonType = "application/json";
const char* const kTextType = "text/plain; charset=utf-8";

// An HTTP date (RFC 9110), in English whatever the locale; made once a second.
const std::string& httpDate(std::time_t now) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    thread_local std::time_t madeAt = -1;
    thread_local std::string date;
    if (now == madeAt) return date;
    std::tm t{};
    toUtcTime(now, t);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[t.tm_wday], t.tm_mday,
                  kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    madeAt = now;
    date = text;
    return date;
}

void setCommonHeaders(HttpResponse& response) {
    response.set(http::field::server, "solwatch");
    response.set(http::field::date, httpDate(std::time(nullptr)));
    response.set("Content-Security-Policy", "default-src 'self'");
    response.set("X-Content-Type-Options", "nosniff");
}

HttpResponse answer(http::status status, const char* contentType, std::string body, unsigned version,
                    bool live = true) {
    HttpResponse response(status, version);
    setCommonHeaders(response);
    response.set(http::field::content_type, contentType);
    // Data changes with each row; the page's own files only with the program.
    response.set(http::field::cache_control, live ? "no-store" : "no-cache");
    response.body() = std::move(body);
    response.prepare_payload();
    return response;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const SiteFile* siteFile(boost::string_view path) {
    for (const SiteFile* file = kSiteFiles; file->path; ++file)
        if (path == file->path) return file;
    return nullptr;
}

// A JSON document that may not exist yet: 503 until it does.
HttpResponse jsonOrWait(const std::optional<std::string>& json, const char* missing, unsigned version) {
    if (!json) return answer(http::status::service_unavailable, kJsonType,
                             std::string("{\"error\":\"") + missing + "\"}", version);
    return answer(http::status::ok, kJsonType, *json, version);
}

HttpResponse routeGet(boost::string_view path, const Site& site, std::time_t now, unsigned version,
                      bool& events) {
    const LiveState& state = site.state;
    if (path == "/metrics") {
        std::string text = state.metrics() + processMetricsText(now);
        if (site.counters) text += site.counters->metricsText();
        return answer(http::status::ok, kMetricsContentType, std::move(text), version);
    }
    if (path == "/api/state") return jsonOrWait(state.state(), "no row yet", version);
    if (path == "/api/info") return jsonOrWait(state.info(), "no device yet", version);
    if (path == "/api/history") return answer(http::status::ok, kJsonType, state.history(), version);
    if (path == "/api/link") return answer(http::status::ok, kJsonType, state.linkEvent(), version);
    if (path == "/api/fields") return answer(http::status::ok, kJsonType, pageFieldsJson(), version, false);
    if (path == "/healthz") {
        std::optional<std::string> trouble = state.trouble(now);
        if (trouble) return answer(http::status::service_unavailable, kTextType, *trouble + "\n", version);
        return answer(http::status::ok, kTextType, "ok\n", version);
    }
    if (path == "/events") {
        events = true;
        HttpResponse response = answer(http::status::ok, "text/event-stream", "", version);
        response.erase(http::field::content_length);
        response.keep_alive(false);
        return response;
    }
    if (path == "/dygraph.min.js") {
        std::string script = readFile(site.dygraphsScript);
        if (!script.empty()) return answer(http::status::ok, "text/javascript; charset=utf-8", std::move(script),
                                           version, false);
    } else if (const SiteFile* file = siteFile(path)) {
        return answer(http::status::ok, file->contentType,
                      std::string(reinterpret_cast<const char*>(file->data), file->size), version, false);
    }
    return answer(http::status::not_found, kTextType, "not found\n", version);
}

}  // namespace

HttpResponse textAnswer(http::status status, const std::string& text, unsigned version) {
    return answer(status, kTextType, text, version);
}

HttpResponse answerRequest(const HttpRequest& request, const Site& site, std::time_t now, bool& events) {
    events = false;
    const unsigned version = request.version();
    const bool head = request.method() == http::verb::head;
    // The server reads no bodies: one would be read as the next request, so
    // a request that has one ends its connection after the answer.
    const boost::string_view length = request[http::field::content_length];
    const bool hasBody = request.chunked() || (!length.empty() && length != "0");
    if (request.method() != http::verb::get && !head) {
        HttpResponse response = textAnswer(http::status::method_not_allowed, "only GET and HEAD\n", version);
        response.set(http::field::allow, "GET, HEAD");
        response.keep_alive(!hasBody && request.keep_alive());
        return response;
    }
    if (hasBody) {
        HttpResponse response = textAnswer(http::status::payload_too_large, "no request bodies\n", version);
        response.keep_alive(false);
        return response;
    }
    // The query, if any, is not part of the route; nor are the scheme and
    // host of an absolute-form target ("http://host:port/healthz").
    boost::string_view target = request.target();
    boost::string_view path = target.substr(0, target.find('?'));
    if (path.starts_with("http://") || path.starts_with("https://")) {
        const std::size_t slash = path.find('/', path.find("//") + 2);
        path = slash == boost::string_view::npos ? boost::string_view("/") : path.substr(slash);
    }
    HttpResponse response = routeGet(path, site, now, version, events);
    if (head) {
        // The same head as the GET's, its length included, and no body.
        events = false;
        const std::size_t length = response.body().size();
        response.body().clear();
        if (response.has_content_length()) response.content_length(length);
    }
    response.keep_alive(!events && request.keep_alive());
    return response;
}

std::string ServerCounters::metricsText() const {
    std::string text =
        "# HELP solwatch_http_connections_refused_total Connections the HTTP server turned away for want of a place.\n"
        "# TYPE solwatch_http_connections_refused_total counter\n"
        "solwatch_http_connections_refused_total " + std::to_string(refusedConnections) + "\n"
        "# HELP solwatch_http_connections_evicted_total Waiting connections the HTTP server closed for a newcomer.\n"
        "# TYPE solwatch_http_connections_evicted_total counter\n"
        "solwatch_http_connections_evicted_total " + std::to_string(evictedConnections) + "\n"
        "# HELP solwatch_http_responses_total Requests the HTTP server answered, by status code.\n"
        "# TYPE solwatch_http_responses_total counter\n";
    for (const auto& [code, count] : responses)
        text += "solwatch_http_responses_total{code=\"" + std::to_string(code) + "\"} " + std::to_string(count) + "\n";
    return text;
}

HttpResponse busyAnswer(const char* text, std::chrono::seconds retryAfter) {
    HttpResponse response = textAnswer(http::status::service_unavailable, text, 11);
    response.set(http::field::retry_after, std::to_string(retryAfter.count()));
    response.keep_alive(false);
    return response;
}

HttpResponse answerParseError(const boost::system::error_code& error) {
    const bool tooLarge = error == http::error::header_limit;
    HttpResponse response = tooLarge
        ? textAnswer(http::status::request_header_fields_too_large, "request header fields too large\n", 11)
        : textAnswer(http::status::bad_request, "bad request\n", 11);
    response.keep_alive(false);
    return response;
}

}  // namespace tessline
