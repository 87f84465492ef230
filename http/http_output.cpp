#include "http/http_output.h"

#include <stdexcept>

#include "log/log.h"

namespace tessline {

namespace {

ListenAddress listenAddress(const std::string& listen) {
    try {
        return parseListenAddress(listen);
    } catch (const std::invalid_argument& e) {
        throw http_listen_failed(std::string("--http: ") + e.what());
    }
}

}  // namespace

HttpOutput::HttpOutput(HttpSettings settings)
    : state_(std::move(settings.version), std::move(settings.broker), settings.line) {
    try {
        server_ = std::make_unique<HttpServer>(listenAddress(settings.listen), state_, SOLWATCH_DYGRAPHS_JS);
    } catch (const http_listen_failed& e) {
        logError("http", "%s", e.what());
        throw;
    }
}

}  // namespace tessline
