// When the full table's rows are due, through the dump clock: at the whole
// minutes, or, with the option that tests use, first a set time after the
// dump starts and then a minute apart.
#include <gtest/gtest.h>

#include "dumper/dump_clock.h"
#include "dumper/dump_loop.h"

using namespace tessline;

namespace {

constexpr std::int64_t k100030 = 1705312830;  // 10:00:30 UTC

// Time passes only when the loop sleeps.
class SteppedClock : public DumpClock {
public:
    explicit SteppedClock(std::int64_t seconds) : seconds_(seconds) { setDumpClock(this); }
    ~SteppedClock() override { setDumpClock(nullptr); }
    std::int64_t now() override { return seconds_; }
    void sleepFor(std::chrono::milliseconds) override {}
    void sleepUntil(std::int64_t deadline, const std::atomic<bool>&) override { seconds_ = deadline; }
    void wake() override {}

private:
    std::int64_t seconds_;
};

// The clock's time of each row, until `rows` are out.
struct RowTimes : TableListeners {
    RowTimes(std::atomic<bool>& stop, std::size_t rows) : stop(stop), rows(rows) {}
    void onRow(const TableRow&) override {
        times.push_back(dumpClock().now());
        if (times.size() == rows) stop = true;
    }
    std::atomic<bool>& stop;
    std::size_t rows;
    std::vector<std::int64_t> times;
};

std::vector<std::int64_t> fullRowTimes(std::int64_t start, int firstRowAfter) {
    SteppedClock clock(start);
    setFirstFullRowAfter(firstRowAfter);
    DumpTable table;
    std::atomic<bool> stop{false};
    RowTimes rows(stop, 3);
    runDumpLoop(table, DumpVariant::full, [](std::uint16_t, HexMsg&) { return 0; }, stop, rows);
    setFirstFullRowAfter(0);
    return rows.times;
}

}  // namespace

TEST(FullTableMinute, RowDeadlines) {
    struct Case {
        DumpVariant variant;
        std::int64_t now;
        int phase;
        std::int64_t deadline;
    } cases[] = {
        {DumpVariant::full, k100030, 0, k100030 + 30},
        {DumpVariant::full, k100030 + 29, 0, k100030 + 30},
        {DumpVariant::full, k100030 + 30, 0, k100030 + 90},  // at the minute: the next one
        {DumpVariant::full, k100030, 35, k100030 + 5},
        {DumpVariant::full, k100030 + 5, 35, k100030 + 65},
        {DumpVariant::full, k100030, 30, k100030 + 60},
        {DumpVariant::full, k100030, 29, k100030 + 59},
        {DumpVariant::full, 10, 15, 15},  // before the first phase point of the clock
        {DumpVariant::fast, k100030, 35, k100030 + 1},
        {DumpVariant::channels, k100030, 35, k100030},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rowDeadline(c.variant, c.now, c.phase), c.deadline) << c.now << " phase " << c.phase;
}

TEST(FullTableMinute, RowsAtTheWholeMinutesOrFromASetTimeAfterTheStart) {
    EXPECT_EQ(fullRowTimes(k100030, 0), (std::vector<std::int64_t>{k100030 + 30, k100030 + 90, k100030 + 150}));
    EXPECT_EQ(fullRowTimes(k100030, 5), (std::vector<std::int64_t>{k100030 + 5, k100030 + 65, k100030 + 125}));
    EXPECT_EQ(fullRowTimes(k100030, 60), (std::vector<std::int64_t>{k100030 + 60, k100030 + 120, k100030 + 180}));
    EXPECT_EQ(fullRowTimes(k100030 + 50, 20),
              (std::vector<std::int64_t>{k100030 + 70, k100030 + 130, k100030 + 190}));  // across the whole minute
}
