#include "http/listen_address.h"

#include <stdexcept>

namespace tessline {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

unsigned short parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        throw std::invalid_argument("bad port \"" + text + "\": use 1 to 65535");
    const unsigned long port = std::stoul(text);
    if (port < 1 || port > 65535) throw std::invalid_argument("bad port \"" + text + "\": use 1 to 65535");
    return static_cast<unsigned short>(port);
}

asio::ip::address parseAddress(const std::string& text) {
    boost::system::error_code error;
    asio::ip::address address = asio::ip::make_address(text, error);
    if (error) throw std::invalid_argument("bad address \"" + text + "\": use an IPv4 address or [an IPv6 address]");
    return address;
}

ListenAddress loopbackOnly(unsigned short port) {
    return {{tcp::endpoint(asio::ip::address_v4::loopback(), port),
             tcp::endpoint(asio::ip::address_v6::loopback(), port)},
            true};
}

}  // namespace

ListenAddress parseListenAddress(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return loopbackOnly(parsePort(text));
    std::string host = text.substr(0, colon);
    const unsigned short port = parsePort(text.substr(colon + 1));
    // The one name taken, without asking a resolver: both loopback addresses.
    if (host == "localhost") return loopbackOnly(port);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) host = host.substr(1, host.size() - 2);
    const asio::ip::address address = parseAddress(host);
    // An IPv6 address needs its brackets, or its colons would be ambiguous.
    if (address.is_v6() != bracketed)
        throw std::invalid_argument("bad address \"" + text.substr(0, colon) +
                                    "\": use an IPv4 address or [an IPv6 address]");
    return {{tcp::endpoint(address, port)}, false};
}

}  // namespace tessline
