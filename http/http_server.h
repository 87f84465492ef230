// HttpServer: the --http server on a thread of its own (Boost.Beast on
// Asio). Its sockets, sessions and timers are used on that thread alone;
// the dump reaches it only through the live state and posted events.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "http/listen_address.h"
#include "http/live_state.h"
#include "http/routes.h"

namespace tessline {

struct ServerLimits {
    std::size_t connections = 64;
    // Of one client address (an IPv6 one's /64), so that one host cannot
    // take every place; a browser opens six at most.
    std::size_t connectionsPerAddress = 8;
    std::chrono::seconds retryAfter{5};    // told to a newcomer when no place can be freed
    std::size_t eventClients = 16;
    std::chrono::seconds requestTime{10};  // to send a whole request head
    std::chrono::seconds idleTime{30};     // between requests of a kept-alive connection
    std::size_t eventBacklog = 64 * 1024;  // bytes of events a client may lag behind
};

class HttpServer {
public:
    // Binds the listening sockets at once; throws http_listen_failed with
    // the reason when it cannot.
    HttpServer(const ListenAddress& address, LiveState& state, std::string dygraphsScript,
               ServerLimits limits = ServerLimits());
    // Stops the thread and closes every connection.
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    class Sessions;  // the open connections; the server's thread only

private:
    void acceptNext(boost::asio::ip::tcp::acceptor& acceptor);

    boost::asio::io_context io_;
    LiveState& state_;
    ServerCounters counters_;  // the server's thread only
    std::vector<std::unique_ptr<boost::asio::ip::tcp::acceptor>> acceptors_;
    std::unique_ptr<Sessions> sessions_;
    std::thread thread_;
};

}  // namespace tessline
