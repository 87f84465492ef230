// The fan-out of the dump's calls: a listener that throws never keeps the
// call from the later ones, and its OnFailure decides whether the run ends.
#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "dumper/table_listener.h"
#include "hex/errors.h"
#include "tests/support/log_capture.h"

namespace {

using namespace tessline;

struct ExitCodeFailure : virtual boost::exception, virtual std::exception {
    ExitCodeFailure() { *this << tag_exit_code(5); }
    const char* what() const noexcept override { return "refused"; }
};

class Listener : public TableListener {
public:
    explicit Listener(std::function<void()> onRowDoes = [] {}) : onRowDoes_(std::move(onRowDoes)) {}
    void onTableStart(const Identity&, const DeviceInfo&, const std::vector<TableColumn>&) override {}
    void onRow(const TableRow&) override {
        ++rows;
        onRowDoes_();
    }
    void onLinkLost(const std::string&) override {}
    void onEnd() override { onRowDoes_(); }
    int rows = 0;

private:
    std::function<void()> onRowDoes_;
};

TEST(TableListeners, AFailureReachesTheLaterListenersAndEndsTheRunOnlyAsDeclared) {
    const auto plain = [] { throw std::runtime_error("disk full"); };
    const auto withExitCode = [] { throw ExitCodeFailure(); };
    struct Case {
        const char* legend;
        OnFailure onFailure;
        std::function<void()> failure;
        bool endsRun;
    } cases[] = {
        {"a file's failure", OnFailure::endsRun, plain, true},
        {"the server's failure", OnFailure::logged, plain, false},
        {"the server's failure with an exit code", OnFailure::logged, withExitCode, false},
        {"the broker's other failure", OnFailure::endsRunOnlyWithExitCode, plain, false},
        {"the broker's refusal", OnFailure::endsRunOnlyWithExitCode, withExitCode, true},
    };
    for (const Case& c : cases) {
        testing_support::LogCapture log;
        Listener failing(c.failure), later;
        TableListeners listeners;
        listeners.add(failing, c.onFailure, "out").add(later);
        for (int row = 0; row < 3; ++row) {
            bool thrown = false;
            try {
                listeners.onRow(TableRow{});
            } catch (const std::exception&) {
                thrown = true;
            }
            EXPECT_EQ(thrown, c.endsRun) << c.legend;
        }
        EXPECT_EQ(later.rows, 3) << c.legend;
        EXPECT_NO_THROW(listeners.onEnd()) << c.legend;
        // The same failure again is not logged again.
        int logged = 0;
        for (const std::string& l : log.lines()) logged += l.rfind("ERR.output: out: ", 0) == 0;
        EXPECT_EQ(logged, 1) << c.legend;
    }
}

}  // namespace
