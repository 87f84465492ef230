#include "http/routes.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include <boost/beast/http/error.hpp>

#include "http/site_files.h"

namespace tessline {

namespace {

const char* const kJsonType = "application/json";
const char* const kTextType = "text/plain; charset=utf-8";

void setCommonHeaders(HttpResponse& response) {
    response.set(http::field::server, "solwatch");
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
    if (path == "/metrics") return answer(http::status::ok, kMetricsContentType, state.metrics(), version);
    if (path == "/api/state") return jsonOrWait(state.state(), "no row yet", version);
    if (path == "/api/info") return jsonOrWait(state.info(), "no device yet", version);
    if (path == "/api/history") return answer(http::status::ok, kJsonType, state.history(), version);
    if (path == "/api/link") return answer(http::status::ok, kJsonType, state.linkEvent(), version);
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
    // The query, if any, is not part of the route.
    boost::string_view target = request.target();
    boost::string_view path = target.substr(0, target.find('?'));
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
