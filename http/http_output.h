// HttpOutput: the --http server and the live state it shows, as one more
// output of the dump.
#pragma once

#include <memory>
#include <string>

#include "http/http_server.h"
#include "http/live_state.h"

namespace tessline {

class HttpOutput {
public:
    // Reads "[ADDR:]PORT" and binds its ports at once. Throws
    // http_listen_failed (already logged) for a bad address or a port that
    // cannot be bound. `broker` is null without --mqtt.
    HttpOutput(const std::string& listen, std::shared_ptr<const BrokerHealth> broker, const std::string& version,
               LineWatch line);

    TableListener& listener() { return state_; }

private:
    LiveState state_;
    std::unique_ptr<HttpServer> server_;  // stops before the state goes
};

}  // namespace tessline
