#include "http/http_server.h"

#include <algorithm>
#include <ctime>
#include <deque>
#include <list>
#include <optional>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "http/routes.h"
#include "log/log.h"

namespace tessline {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

// A comment line to the /events clients when no row came for this long:
// it finds the clients that went away while the link was lost.
constexpr std::chrono::seconds kEventPing{15};
// How often the line's silence is looked at, for the link events.
constexpr std::chrono::seconds kLinkWatch{1};
// How long a browser waits before it reconnects a broken event stream.
constexpr const char* kEventRetry = "retry: 5000\n";
// To take a whole answer or event; a client that reads slower is closed.
constexpr std::chrono::seconds kWriteTime{10};
// Reading and dropping what a client still sends after our last answer.
constexpr std::chrono::seconds kLingerTime{2};
constexpr std::size_t kLingerBytes = 1024 * 1024;
constexpr std::chrono::milliseconds kAcceptPause{100};
// A request head and whatever a client sends ahead of our answer.
constexpr std::size_t kReadBufferLimit = 2 * kMaxRequestHeader;

using Event = std::shared_ptr<const std::string>;
using Clock = std::chrono::steady_clock;

Event eventText(const char* name, const std::string& data) {
    return std::make_shared<const std::string>(std::string("event: ") + name + "\ndata: " + data + "\n\n");
}

std::string endpointText(const tcp::endpoint& endpoint) {
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

// Whom a connection counts against: its address, or an IPv6 address's /64,
// which one host usually has whole.
std::string clientOf(const tcp::socket& socket) {
    error_code error;
    const asio::ip::address address = socket.remote_endpoint(error).address();
    if (error) return "?";
    if (!address.is_v6()) return address.to_string();
    const asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
    asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

bool connectionEnded(const error_code& error) {
    return error == beast::http::error::end_of_stream || error == beast::http::error::partial_message ||
           error.category() != beast::http::make_error_code(beast::http::error::header_limit).category();
}

class Session;

}  // namespace

class HttpServer::Sessions {
public:
    Sessions(asio::io_context& io, Site site, ServerLimits limits)
        : site(std::move(site)), limits(limits), ping_(io), linkWatch_(io) {
        schedulePing();
        watchLink();
    }

    void admit(tcp::socket socket);
    void remove(Session* session);
    // Makes `session` an /events client; false when all places are taken.
    bool joinEvents(Session* session);
    void broadcast(const Event& event);
    // Tells the /events clients of the link as `json` says it, unless
    // that is what they heard last.
    void announceLink(const std::string& json);
    void closeAll();

    const Site site;
    const ServerLimits limits;

private:
    bool makeRoomFor(const std::string& client);
    bool evictLongestWaiting(const std::string* client);
    void turnAway(std::shared_ptr<Session> session);
    void schedulePing();
    // The line may fall silent with no call from the dump: looked at often.
    void watchLink();

    std::list<std::shared_ptr<Session>> open_;  // in the order they came
    std::list<std::shared_ptr<Session>> turnedAway_;  // newcomers being told 503
    std::vector<Session*> eventClients_;
    asio::steady_timer ping_;
    asio::steady_timer linkWatch_;
    std::string lastLink_;  // the link event last sent
};

namespace {

// One connection: requests and answers in turn, or after a GET of /events
// a stream of events until either side ends it.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, HttpServer::Sessions& sessions)
        : stream_(std::move(socket)), client_(clientOf(stream_.socket())), buffer_(kReadBufferLimit),
          sessions_(sessions) {}

    void start() {
        waitingSince_ = Clock::now();
        readHead(sessions_.limits.requestTime);
    }
    // Answers 503 at once and closes, reading no request.
    void turnAway() { respond(busyAnswer("too many connections\n", sessions_.limits.retryAfter), false); }
    const std::string& client() const { return client_; }
    // Since when the connection may go for a newcomer: since it began to
    // wait for a request that has not come whole (idle, or a slow sender),
    // or since ever once its last answer is out. None while it is served.
    std::optional<Clock::time_point> evictableSince() const {
        if (closed_ || !(waitingForRequest_ || lingering_)) return std::nullopt;
        return lingering_ ? Clock::time_point::min() : waitingSince_;
    }
    void push(const Event& event);
    void close();

private:
    void awaitRequest();
    void readHead(std::chrono::seconds limit);
    void onHead(const error_code& error);
    void respond(HttpResponse response, bool events);
    void onAnswered(const error_code& error, bool events);
    void watchForClose();
    void writeNextEvent();
    void closeAfterAnswer();
    void drainThenClose(std::size_t budget);

    beast::tcp_stream stream_;
    const std::string client_;
    beast::flat_buffer buffer_;
    std::optional<beast::http::request_parser<beast::http::empty_body>> parser_;
    HttpResponse response_;
    HttpServer::Sessions& sessions_;
    bool waitingForRequest_ = false;
    Clock::time_point waitingSince_;  // of the request being waited for
    bool lingering_ = false;          // after the last answer, until the close
    bool closed_ = false;
    bool streaming_ = false;  // the /events head is out: events may be written
    bool writing_ = false;
    std::deque<Event> events_;  // not yet written
    std::size_t eventBytes_ = 0;
};

void Session::awaitRequest() {
    if (buffer_.size() > 0) return readHead(sessions_.limits.requestTime);
    // A kept-alive connection may rest; its next request, once begun, has
    // the request time to arrive.
    waitingForRequest_ = true;
    stream_.expires_after(sessions_.limits.idleTime);
    stream_.async_read_some(buffer_.prepare(1024), [self = shared_from_this()](error_code error, std::size_t n) {
        self->buffer_.commit(n);
        if (error) return self->close();
        self->readHead(self->sessions_.limits.requestTime);
    });
}

void Session::readHead(std::chrono::seconds limit) {
    waitingForRequest_ = true;
    parser_.emplace();
    parser_->header_limit(kMaxRequestHeader);
    stream_.expires_after(limit);
    beast::http::async_read_header(stream_, buffer_, *parser_,
                                   [self = shared_from_this()](error_code error, std::size_t) {
                                       self->onHead(error);
                                   });
}

void Session::onHead(const error_code& error) {
    waitingForRequest_ = false;
    if (closed_) return;
    if (error) {
        if (connectionEnded(error)) return close();
        HttpResponse refusal = answerParseError(error);
        ++sessions_.site.counters->responses[refusal.result_int()];
        return respond(std::move(refusal), false);
    }
    bool events = false;
    HttpResponse response = answerRequest(parser_->get(), sessions_.site, std::time(nullptr), events);
    if (events && !sessions_.joinEvents(this)) {
        response = busyAnswer("too many event clients\n", sessions_.limits.retryAfter);
        events = false;
    }
    ++sessions_.site.counters->responses[response.result_int()];
    respond(std::move(response), events);
}

void Session::respond(HttpResponse response, bool events) {
    response_ = std::move(response);
    stream_.expires_after(kWriteTime);
    beast::http::async_write(stream_, response_, [self = shared_from_this(), events](error_code error, std::size_t) {
        self->onAnswered(error, events);
    });
}

void Session::onAnswered(const error_code& error, bool events) {
    if (error || closed_) return close();
    stream_.expires_never();
    if (events) {
        watchForClose();
        // The retry time and the link come first, ahead of what was
        // broadcast while the head was on its way.
        static const Event retry = std::make_shared<const std::string>(std::string(kEventRetry) + "\n");
        const Event link = eventText("link", sessions_.site.state.linkEvent());
        events_.push_front(link);
        events_.push_front(retry);
        eventBytes_ += retry->size() + link->size();
        streaming_ = true;
        return writeNextEvent();
    }
    if (!response_.keep_alive()) return closeAfterAnswer();
    response_ = {};
    waitingSince_ = Clock::now();
    awaitRequest();
}

// An /events client sends nothing more; a read ends when it goes away.
void Session::watchForClose() {
    stream_.async_read_some(buffer_.prepare(512), [self = shared_from_this()](error_code error, std::size_t n) {
        if (error) return self->close();
        self->buffer_.consume(self->buffer_.size() + n);
        self->watchForClose();
    });
}

// Closing with a request still unread (a head beyond the limit, a body)
// would reset the connection and could lose the answer on its way: the
// sending side ends first, and what still comes is read and dropped for a
// moment.
void Session::closeAfterAnswer() {
    lingering_ = true;
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kLingerTime);
    drainThenClose(kLingerBytes);
}

void Session::drainThenClose(std::size_t budget) {
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(4096), [self = shared_from_this(), budget](error_code error, std::size_t n) {
        if (error || n >= budget) return self->close();
        self->drainThenClose(budget - n);
    });
}

void Session::push(const Event& event) {
    if (closed_) return;
    // A client that does not keep up is dropped; the dump never waits for it.
    if (eventBytes_ + event->size() > sessions_.limits.eventBacklog) return close();
    events_.push_back(event);
    eventBytes_ += event->size();
    // The client joined the broadcasts before its answer's head went out:
    // until then its events wait, as a stream takes one write at a time.
    if (streaming_ && !writing_) writeNextEvent();
}

void Session::writeNextEvent() {
    writing_ = true;
    stream_.expires_after(kWriteTime);
    asio::async_write(stream_, asio::buffer(*events_.front()),
                      [self = shared_from_this()](error_code error, std::size_t) {
                          self->writing_ = false;
                          if (error || self->closed_) return self->close();
                          self->eventBytes_ -= self->events_.front()->size();
                          self->events_.pop_front();
                          if (!self->events_.empty()) return self->writeNextEvent();
                          self->stream_.expires_never();
                      });
}

void Session::close() {
    if (closed_) return;
    auto self = shared_from_this();  // the list may hold the last reference
    closed_ = true;
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
    sessions_.remove(this);
}

}  // namespace

void HttpServer::Sessions::admit(tcp::socket socket) {
    auto session = std::make_shared<Session>(std::move(socket), *this);
    if (!makeRoomFor(session->client())) return turnAway(std::move(session));
    open_.push_back(std::move(session));
    open_.back()->start();
}

// A client at its limit gives up a place of its own, so that a slow or
// hostile host competes only with itself; when all places are taken, the
// longest waiting connection of any client goes. False when every place
// that could go is being served.
bool HttpServer::Sessions::makeRoomFor(const std::string& client) {
    const auto own = std::count_if(open_.begin(), open_.end(), [&](const auto& s) { return s->client() == client; });
    if (static_cast<std::size_t>(own) >= limits.connectionsPerAddress) return evictLongestWaiting(&client);
    if (open_.size() >= limits.connections) return evictLongestWaiting(nullptr);
    return true;
}

// Closes the connection of `client` (of any client if null) that has
// waited longest for a whole request.
bool HttpServer::Sessions::evictLongestWaiting(const std::string* client) {
    Session* longest = nullptr;
    Clock::time_point longestSince = Clock::time_point::max();
    for (const auto& session : open_) {
        if (client && session->client() != *client) continue;
        std::optional<Clock::time_point> since = session->evictableSince();
        if (since && *since < longestSince) {
            longest = session.get();
            longestSince = *since;
        }
    }
    if (!longest) return false;
    ++site.counters->evictedConnections;
    longest->close();
    return true;
}

// A newcomer that cannot be served hears why, rather than a silent close;
// beyond as many at once as there are places, it gets only the close.
void HttpServer::Sessions::turnAway(std::shared_ptr<Session> session) {
    ++site.counters->refusedConnections;
    if (turnedAway_.size() >= limits.connections) return;
    turnedAway_.push_back(std::move(session));
    turnedAway_.back()->turnAway();
}

void HttpServer::Sessions::remove(Session* session) {
    eventClients_.erase(std::remove(eventClients_.begin(), eventClients_.end(), session), eventClients_.end());
    auto same = [session](const auto& s) { return s.get() == session; };
    open_.remove_if(same);
    turnedAway_.remove_if(same);
}

bool HttpServer::Sessions::joinEvents(Session* session) {
    if (eventClients_.size() >= limits.eventClients) return false;
    eventClients_.push_back(session);
    return true;
}

void HttpServer::Sessions::broadcast(const Event& event) {
    // A push may drop a client from the list.
    std::vector<Session*> clients = eventClients_;
    for (Session* client : clients) client->push(event);
}

void HttpServer::Sessions::announceLink(const std::string& json) {
    if (json == lastLink_) return;
    lastLink_ = json;
    broadcast(eventText("link", json));
}

void HttpServer::Sessions::watchLink() {
    linkWatch_.expires_after(kLinkWatch);
    linkWatch_.async_wait([this](error_code error) {
        if (error) return;
        announceLink(site.state.linkEvent());
        watchLink();
    });
}

void HttpServer::Sessions::closeAll() {
    ping_.cancel();
    linkWatch_.cancel();
    while (!open_.empty()) open_.front()->close();
    while (!turnedAway_.empty()) turnedAway_.front()->close();
}

void HttpServer::Sessions::schedulePing() {
    ping_.expires_after(kEventPing);
    ping_.async_wait([this](error_code error) {
        if (error) return;
        static const Event ping = std::make_shared<const std::string>(": ping\n\n");
        broadcast(ping);
        schedulePing();
    });
}

HttpServer::HttpServer(const ListenAddress& address, LiveState& state, std::string dygraphsScript,
                       ServerLimits limits)
    : state_(state),
      sessions_(std::make_unique<Sessions>(io_, Site{state, std::move(dygraphsScript), &counters_}, limits)) {
    for (std::size_t i = 0; i < address.endpoints.size(); ++i) {
        const tcp::endpoint& endpoint = address.endpoints[i];
        auto acceptor = std::make_unique<tcp::acceptor>(io_);
        try {
            acceptor->open(endpoint.protocol());
            acceptor->set_option(tcp::acceptor::reuse_address(true));
            acceptor->bind(endpoint);
            acceptor->listen();
        } catch (const boost::system::system_error& e) {
            if (i > 0 && address.restOptional) continue;
            throw http_listen_failed("cannot listen on " + endpointText(endpoint) + ": " + e.code().message());
        }
        acceptors_.push_back(std::move(acceptor));
    }
    for (auto& acceptor : acceptors_) acceptNext(*acceptor);
    state_.setEventSink([this](const char* name, const std::string& data) {
        if (std::string(name) == "link") return asio::post(io_, [this, data] { sessions_->announceLink(data); });
        asio::post(io_, [this, event = eventText(name, data)] { sessions_->broadcast(event); });
    });
    thread_ = std::thread([this] {
        for (;;) {
            try {
                io_.run();
                return;
            } catch (const std::exception& e) {
                logError("http", "%s", e.what());
            }
        }
    });
}

HttpServer::~HttpServer() {
    state_.setEventSink(nullptr);
    asio::post(io_, [this] {
        for (auto& acceptor : acceptors_) acceptor->close();
        sessions_->closeAll();
    });
    // Everything above runs, then run() returns: nothing is left to wait for.
    thread_.join();
}

void HttpServer::acceptNext(tcp::acceptor& acceptor) {
    if (!acceptor.is_open()) return;
    acceptor.async_accept([this, &acceptor](error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted) return;
        if (!error) {
            sessions_->admit(std::move(socket));
            return acceptNext(acceptor);
        }
        // Out of file descriptors, say: a pause, not a loop that spins.
        auto pause = std::make_shared<asio::steady_timer>(io_, kAcceptPause);
        pause->async_wait([this, &acceptor, pause](error_code) { acceptNext(acceptor); });
    });
}

}  // namespace tessline
