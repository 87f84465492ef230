// A page in headless Chromium, driven over the DevTools protocol: the test
// reads the page's elements while its scripts run, which a one-shot DOM
// dump cannot wait for (the page's event stream never ends).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/process.h"

namespace http_test {

class DevToolsPage {
public:
    // Starts Chromium on `url` with a fresh profile in `profileDir`, the
    // window `width` x `height`, and connects to its page. Throws if it cannot.
    DevToolsPage(const std::string& profileDir, const std::string& url, int width = 1280, int height = 900);
    ~DevToolsPage();

    // A command's result; null on an error or when no answer came in time.
    nlohmann::json call(const std::string& method, const nlohmann::json& params = nlohmann::json::object(),
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The value of a JavaScript expression in the page.
    nlohmann::json evaluate(const std::string& expression);
    // Loads the page again; returns once the new document is there.
    bool reload();
    // The page as a PNG picture (empty on failure).
    std::string screenshot();

private:
    struct Socket;
    std::unique_ptr<testing_support::Process> chromium_;
    std::unique_ptr<Socket> socket_;
    int nextId_ = 1;
};

}  // namespace http_test
