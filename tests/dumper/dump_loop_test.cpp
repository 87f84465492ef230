#include <algorithm>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "output/csv_table_writer.h"
#include "dumper/dump_loop.h"
#include "dumper/value_format.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using namespace dumper_test;

// Runs the loop over a table of the time stamp and one register until
// `rows` rows are out; returns what it wrote.
struct LoopRun {
    std::string output;
    std::vector<std::int64_t> pollMillis;
    std::vector<std::chrono::milliseconds> sleeps;
};

LoopRun runLoop(DumpVariant variant, std::int64_t startMillis, int rows) {
    FakeClock clock(0);
    clock.advance(std::chrono::milliseconds(startMillis));
    DumpTable table;
    table.setItems({DumpItem(-1, "", 0, "Timestamp", DumpItem::RAW, nullptr, formatNow),
                    DumpItem(0xEDDA, "", DumpItem::HEX_REGISTER, "Err", DumpItem::U8, parseNumber, formatInt)});
    LoopRun run;
    std::ostringstream out;
    std::atomic<bool> stop{false};
    clock.onSleep = [&](std::chrono::milliseconds duration) {
        run.sleeps.push_back(duration);
        if (static_cast<int>(splitLines(out.str()).size()) >= rows) stop = true;
    };
    auto reader = [&](std::uint16_t id, HexMsg& answer) {
        run.pollMillis.push_back(clock.millis());
        answer = registerAnswer(id, {0});
        return 0;
    };
    CsvTableWriter csv(out, true);
    runDumpLoop(table, variant, reader, stop, csv);
    run.output = out.str();
    return run;
}

TEST(DumpLoop, FullVariantPrintsAtEveryWholeMinute) {
    LoopRun run = runLoop(DumpVariant::full, 1705312830250, 3);  // 10:00:30.25
    EXPECT_EQ(run.output,
              "\"Mon Jan 15 10:01:00 2024\",0\n"
              "\"Mon Jan 15 10:02:00 2024\",0\n"
              "\"Mon Jan 15 10:03:00 2024\",0\n");
    // Each period polls once, right after the previous row.
    ASSERT_GE(run.pollMillis.size(), 3u);
    EXPECT_EQ(run.pollMillis[0], 1705312830250);
    EXPECT_EQ(run.pollMillis[1], 1705312860000);  // at the minute itself
    // Besides the pause after each request, one wait per row.
    auto waits = std::count_if(run.sleeps.begin(), run.sleeps.end(),
                               [](std::chrono::milliseconds sleep) { return sleep.count() != 10; });
    EXPECT_EQ(waits, 3);
}

TEST(DumpLoop, FullVariantStartingOnAWholeMinuteWaitsForTheNext) {
    LoopRun run = runLoop(DumpVariant::full, 1705312800000, 1);  // 10:00:00.000
    EXPECT_EQ(run.output, "\"Mon Jan 15 10:01:00 2024\",0\n");
}

TEST(DumpLoop, FastVariantPrintsEverySecond) {
    LoopRun run = runLoop(DumpVariant::fast, 1705312830950, 3);  // 10:00:30.95
    EXPECT_EQ(run.output,
              "\"Mon Jan 15 10:00:31 2024\",0\n"
              "\"Mon Jan 15 10:00:32 2024\",0\n"
              "\"Mon Jan 15 10:00:33 2024\",0\n");
}

TEST(DumpLoop, ChannelsVariantPrintsBackToBackWithOnlyTheRequestPauses) {
    LoopRun run = runLoop(DumpVariant::channels, 1705312830000, 4);
    EXPECT_EQ(splitLines(run.output).size(), 4u);
    for (auto sleep : run.sleeps) EXPECT_EQ(sleep, std::chrono::milliseconds(10));
    EXPECT_EQ(run.pollMillis.size(), run.sleeps.size());
}

TEST(DumpLoop, StopDuringTheWaitEndsWithoutARow) {
    FakeClock clock(1000);
    LogCapture quiet;
    DumpTable table;
    table.setItems({DumpItem(0xEDDA, "", DumpItem::HEX_REGISTER, "Err", DumpItem::U8, parseNumber, formatInt)});
    std::atomic<bool> stop{false};
    std::vector<std::chrono::milliseconds> sleeps;
    clock.onSleep = [&](std::chrono::milliseconds duration) {
        sleeps.push_back(duration);
        if (sleeps.size() == 2) stop = true;  // in the wait for the row, which ends at its time
    };
    std::ostringstream out;
    CsvTableWriter csv(out, true);
    runDumpLoop(table, DumpVariant::full, [](std::uint16_t, HexMsg&) { return -3; }, stop, csv);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(sleeps, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(10),
                                                              std::chrono::milliseconds(19990)}));
}

TEST(DumpLoop, ExceptionOfARequestEndsTheLoop) {
    FakeClock clock(1000);
    DumpTable table;
    table.setItems({DumpItem(0xEDDA, "", DumpItem::HEX_REGISTER, "Err", DumpItem::U8, parseNumber, formatInt)});
    std::atomic<bool> stop{false};
    TableListeners nowhere;
    auto pulledCable = [](std::uint16_t, HexMsg&) -> int { throw std::runtime_error("write"); };
    EXPECT_THROW(runDumpLoop(table, DumpVariant::channels, pulledCable, stop, nowhere), std::runtime_error);
}

}  // namespace
