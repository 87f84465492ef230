// HttpOutput: the --http server and the live state it shows, as one more
// output of the dump.
#pragma once

#include <memory>
#include <string>

#include "http/http_server.h"
#include "http/live_state.h"

namespace tessline {

// What the server is asked to be, as the program hands it in.
struct HttpSettings {
    std::string listen;         // "[ADDR:]PORT"
    std::string version;        // the program's, as /metrics shows it
    BrokerStatusSource broker;  // empty without --mqtt
    LineWatch line;
};

class HttpOutput {
public:
    // Reads the listen address and binds its ports at once. Throws
    // http_listen_failed (already logged) for a bad address or a port that
    // cannot be bound.
    explicit HttpOutput(HttpSettings settings);

    TableListener& listener() { return state_; }

private:
    LiveState state_;
    std::unique_ptr<HttpServer> server_;  // stops before the state goes
};

}  // namespace tessline
