#include "publish/tls_probe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

namespace tessline {

namespace {

constexpr int kStepSeconds = 5;  // the connection, then each read or write of the handshake

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// A non-blocking connect waited for with poll: connect() alone may take
// minutes on a host that drops packets.
bool connectWithin(int fd, const addrinfo& address) {
    int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return false;
        pollfd waiting{fd, POLLOUT, 0};
        if (::poll(&waiting, 1, kStepSeconds * 1000) != 1) return false;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
    }
    ::fcntl(fd, F_SETFL, flags);
    timeval step{kStepSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &step, sizeof step);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &step, sizeof step);
    return true;
}

void connectToBroker(Socket& socket, const BrokerUrl& broker) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(broker.host.c_str(), std::to_string(broker.port).c_str(), &hints, &found) != 0) return;
    for (addrinfo* address = found; address; address = address->ai_next) {
        socket.reset(::socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        if (socket.get() >= 0 && connectWithin(socket.get(), *address)) break;
        socket.reset(-1);
    }
    ::freeaddrinfo(found);
}

bool isIpAddress(const std::string& host) {
    unsigned char address[16];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 || ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

}  // namespace

std::string certificateProblem(const BrokerUrl& broker, const std::string& caFile) {
    Socket socket;
    connectToBroker(socket, broker);
    if (socket.get() < 0) return std::string();
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()), &SSL_CTX_free);
    if (!context) return std::string();
    if (caFile.empty() ? SSL_CTX_set_default_verify_paths(context.get()) != 1
                       : SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr) != 1)
        return std::string();
    // The handshake goes on whatever the verification says; its result is read afterwards.
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    std::unique_ptr<SSL, decltype(&SSL_free)> tls(SSL_new(context.get()), &SSL_free);
    if (!tls || SSL_set_fd(tls.get(), socket.get()) != 1) return std::string();
    if (isIpAddress(broker.host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls.get()), broker.host.c_str());
    } else {
        SSL_set_tlsext_host_name(tls.get(), broker.host.c_str());
        SSL_set1_host(tls.get(), broker.host.c_str());
    }
    if (SSL_connect(tls.get()) != 1) return std::string();
    long result = SSL_get_verify_result(tls.get());
    SSL_shutdown(tls.get());
    return result == X509_V_OK ? std::string() : X509_verify_cert_error_string(result);
}

}  // namespace tessline
