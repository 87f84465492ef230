// Where --http listens: "[ADDR:]PORT". Without an address, on the loopback
// addresses only; "0.0.0.0:PORT" or "[::]:PORT" opens it to the network.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/exception/exception.hpp>

#include "hex/errors.h"
#include "hex/exit_codes.h"

namespace tessline {

constexpr unsigned short kDefaultHttpPort = 8537;

struct ListenAddress {
    std::vector<boost::asio::ip::tcp::endpoint> endpoints;
    // Only the first must be bound: the loopback's IPv6 address is left out
    // on a host without IPv6.
    bool restOptional = false;
};

// Throws std::invalid_argument with the reason for a bad address or port.
ListenAddress parseListenAddress(const std::string& text);

// The server could not listen (a port in use, an address not of this
// host): the run ends before the charger is touched. Logged where found.
struct http_listen_failed : virtual boost::exception, virtual std::exception {
    explicit http_listen_failed(std::string reason) : reason_(std::move(reason)) {
        *this << tag_exit_code(kExitHttpListen);
    }
    const char* what() const noexcept override { return reason_.c_str(); }

private:
    std::string reason_;
};

}  // namespace tessline
