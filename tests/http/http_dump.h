// solwatch with --http on a free port of the loopback, dumping what
// solwatch-sim sends: its CSV rows as the tests read them, and the server.
#pragma once

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/csv_row.h"
#include "tests/support/process.h"
#include "tests/support/sim_process.h"

namespace http_test {

using Cells = std::vector<std::string>;
using testing_support::csvCells;
using testing_support::csvTime;

class HttpDump {
public:
    // The simulator with `simOptions` (at 60 simulated seconds a second
    // unless they say otherwise), and
    // solwatch -s DEVICE `args` --http 127.0.0.1:PORT; returns once the
    // server answers. DEVICE is the simulator's --link if it has one.
    explicit HttpDump(std::vector<std::string> simOptions, std::vector<std::string> args = {"-f"});
    ~HttpDump();

    int port() const { return port_; }
    testing_support::Process& solwatch() { return *solwatch_; }
    // Ends the simulator, as a pulled cable does.
    void endSimulator() { sim_.reset(); }

    // The header's cells; read with the first row (empty on time-out).
    const Cells& header(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The next row's cells, empty on time-out; kept among rows().
    Cells nextRow(std::chrono::milliseconds timeout);
    const std::vector<Cells>& rows() const { return rows_; }
    // The row of that time, among the rows read so far or those that come
    // within the time; null if none.
    const Cells* rowAt(std::time_t time, std::chrono::milliseconds timeout);
    // The cell of `row` under the first of `names` that the header has.
    std::optional<std::string> cell(const Cells& row, const std::vector<std::string>& names) const;

private:
    std::optional<testing_support::SimProcess> sim_;
    std::unique_ptr<testing_support::Process> solwatch_;
    int port_ = 0;
    Cells header_;
    std::vector<Cells> rows_;
};

}  // namespace http_test
