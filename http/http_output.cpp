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

HttpOutput::HttpOutput(const std::string& listen, std::shared_ptr<const BrokerHealth> broker,
                       const std::string& version, LineWatch line)
    : state_(version, std::move(broker), line) {
    try {
        server_ = std::make_unique<HttpServer>(listenAddress(listen), state_, SOLWATCH_DYGRAPHS_JS);
    } catch (const http_listen_failed& e) {
        logError("http", "%s", e.what());
        throw;
    }
}

}  // namespace tessline
