#include "tests/http/devtools_page.h"

#include <signal.h>

#include <optional>
#include <stdexcept>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include "tests/http/http_client.h"
#include "tests/support/wait_until.h"

namespace http_test {

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;
using nlohmann::json;
using namespace std::chrono_literals;

// Every wait is an asynchronous operation run for a bounded time: a
// synchronous one would wait for ever on a browser that stopped answering.
struct DevToolsPage::Socket {
    asio::io_context io;
    websocket::stream<asio::ip::tcp::socket> ws{io};

    bool runFor(const bool& done, std::chrono::milliseconds timeout) {
        io.restart();
        io.run_for(timeout);
        if (!done) {
            boost::system::error_code ignored;
            ws.next_layer().cancel(ignored);
            io.restart();
            io.run_for(1s);  // lets the cancelled operation finish
        }
        return done;
    }
};

namespace {

const std::string kListening = "DevTools listening on ws://127.0.0.1:";

}  // namespace

DevToolsPage::DevToolsPage(const std::string& profileDir, const std::string& url, int width, int height) {
    chromium_ = std::make_unique<testing_support::Process>(std::vector<std::string>{
        "/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--user-data-dir=" + profileDir, "--remote-debugging-port=0", "--hide-scrollbars",
        "--window-size=" + std::to_string(width) + "," + std::to_string(height), url});
    if (!chromium_->waitForErr(kListening, 30s)) throw std::runtime_error("Chromium gave no DevTools port");
    const std::string& err = chromium_->errSoFar();
    const int port = std::stoi(err.substr(err.find(kListening) + kListening.size()));

    std::string pagePath;
    testing_support::waitUntil([&] {
        Reply targets = httpGet(port, "/json/list");
        if (targets.status == 200)
            for (const json& target : json::parse(targets.body))
                if (target["type"] == "page") pagePath = "/devtools/page/" + target["id"].get<std::string>();
        return !pagePath.empty();
    });
    if (pagePath.empty()) throw std::runtime_error("Chromium showed no page");

    socket_ = std::make_unique<Socket>();
    bool done = false;
    boost::system::error_code error;
    asio::ip::tcp::endpoint endpoint(asio::ip::address_v4::loopback(), static_cast<unsigned short>(port));
    socket_->ws.next_layer().async_connect(endpoint, [&](boost::system::error_code e) {
        if (e) error = e, done = true;
        else socket_->ws.async_handshake("127.0.0.1:" + std::to_string(port), pagePath,
                                         [&](boost::system::error_code e) { error = e, done = true; });
    });
    if (!socket_->runFor(done, 10s) || error) throw std::runtime_error("no DevTools connection: " + error.message());
}

DevToolsPage::~DevToolsPage() {
    chromium_->signal(SIGTERM);
    chromium_->wait(10s);
}

json DevToolsPage::call(const std::string& method, const json& params, std::chrono::milliseconds timeout) {
    const int id = nextId_++;
    const std::string request = json{{"id", id}, {"method", method}, {"params", params}}.dump();
    bool done = false;
    boost::system::error_code error;
    socket_->ws.async_write(asio::buffer(request), [&](boost::system::error_code e, std::size_t) {
        error = e, done = true;
    });
    if (!socket_->runFor(done, timeout) || error) return nullptr;
    // Answers to earlier commands that timed out, and events, are passed over.
    for (auto deadline = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < deadline;) {
        boost::beast::flat_buffer buffer;
        done = false;
        socket_->ws.async_read(buffer, [&](boost::system::error_code e, std::size_t) { error = e, done = true; });
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!socket_->runFor(done, left) || error) return nullptr;
        json message = json::parse(boost::beast::buffers_to_string(buffer.data()), nullptr, false);
        if (message.is_object() && message.value("id", 0) == id)
            return message.contains("result") ? message["result"] : json(nullptr);
    }
    return nullptr;
}

json DevToolsPage::evaluate(const std::string& expression) {
    json result = call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}});
    if (result.is_null() || result.contains("exceptionDetails")) return nullptr;
    return result["result"].value("value", json(nullptr));
}

bool DevToolsPage::reload() {
    // A mark on the old document, which the new one does not have.
    evaluate("window.replacedByReload = true");
    if (call("Page.reload").is_null()) return false;
    return testing_support::waitUntil([&] { return evaluate("window.replacedByReload === undefined") == true; });
}

std::string DevToolsPage::screenshot() {
    json result = call("Page.captureScreenshot", {{"format", "png"}}, 30s);
    if (result.is_null()) return {};
    const std::string encoded = result.value("data", "");
    std::string picture(boost::beast::detail::base64::decoded_size(encoded.size()), '\0');
    auto decoded = boost::beast::detail::base64::decode(picture.data(), encoded.data(), encoded.size());
    picture.resize(decoded.first);
    return picture;
}

}  // namespace http_test
