// The fan-out of the dump's calls: a listener that throws never keeps the
// call from the later ones, and its OnFailure decides whether the run ends.
#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "row/table_listener.h"
#include "hex/errors.h"
#include "tests/support/log_capture.h"

namespace {

using namespace tessline;

struct ExitCodeFailure : virtual boost::exception, virtual std::exception {
    ExitCodeFailure() { *this << tag_exit_code(5); }
    const char* what() const noexcept override { return "refused"; }
};

// Counts its rows; does `act` at each row and at the end.
struct Listener : TableListener {
    std::function<void()> act = [] {};
    int rows = 0;
    void onTableStart(const Identity&, const DeviceInfo&, const std::vector<TableColumn>&) override {}
    void onRow(const TableRow&) override { ++rows, act(); }
    void onLinkLost(const std::string&) override {}
    void onEnd() override { act(); }
};

TEST(TableListeners, AFailureReachesTheLaterListenersAndEndsTheRunOnlyAsDeclared) {
    const std::function<void()> plain = [] { throw std::runtime_error("disk full"); };
    const std::function<void()> withExitCode = [] { throw ExitCodeFailure(); };
    const struct {
        const char* legend;
        OnFailure onFailure;
        const std::function<void()>& failure;
        bool endsRun;
    } cases[] = {
        {"a file's failure", OnFailure::endsRun, plain, true},
        {"the server's failure", OnFailure::logged, plain, false},
        {"the server's failure with an exit code", OnFailure::logged, withExitCode, false},
        {"the broker's other failure", OnFailure::endsRunOnlyWithExitCode, plain, false},
        {"the broker's refusal", OnFailure::endsRunOnlyWithExitCode, withExitCode, true},
    };
    for (const auto& c : cases) {
        testing_support::LogCapture log;
        Listener failing, later;
        failing.act = c.failure;
        TableListeners listeners;
        listeners.add(failing, c.onFailure, "out").add(later);
        for (int row = 0; row < 3; ++row) {
            if (c.endsRun) EXPECT_ANY_THROW(listeners.onRow(TableRow{})) << c.legend;
            else EXPECT_NO_THROW(listeners.onRow(TableRow{})) << c.legend;
        }
        EXPECT_EQ(later.rows, 3) << c.legend;
        EXPECT_NO_THROW(listeners.onEnd()) << c.legend;
        int logged = 0;  // the same failure again is not logged again
        for (const std::string& line : log.lines()) logged += line.rfind("ERR.output: out: ", 0) == 0;
        EXPECT_EQ(logged, 1) << c.legend;
    }
}

}  // namespace
