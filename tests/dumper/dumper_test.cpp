#include <algorithm>
#include <future>
#include <sstream>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "output/csv_table_writer.h"
#include "dumper/dumper.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using namespace dumper_test;
using testing_support::Bytes;
using testing_support::FakeLink;
using std::chrono::milliseconds;

// The dumper's rows as the CSV table, with its header, for as long as it lives.
class CsvCapture {
public:
    explicit CsvCapture(Dumper& dumper, bool appended = false) : dumper_(dumper), csv_(text_, appended) {
        dumper_.setListener(&csv_, Identity());
    }
    ~CsvCapture() { dumper_.setListener(nullptr, Identity()); }
    std::string text() const { return text_.str(); }

private:
    Dumper& dumper_;
    std::ostringstream text_;
    CsvTableWriter csv_;
};

bool linkMutexFree(HexLink& link) {
    return std::async(std::launch::async, [&link] {
               bool locked = link.linkMutex.try_lock();
               if (locked) link.linkMutex.unlock();
               return locked;
           }).get();
}

std::string rowOutsideARun(Dumper& dumper) {
    CsvCapture capture(dumper, true);
    dumper.dumpData();
    return capture.text();
}

// A device with these register numbers (four bytes each); it lacks any other.
FakeLink::Device registerDevice(const std::map<std::uint16_t, std::int32_t>& numbers,
                                std::function<void(int index)> onRequest = {}) {
    auto registers = std::make_shared<FakeRegisters>();
    for (const auto& n : numbers) registers->set(n.first, static_cast<std::uint32_t>(n.second), 4);
    return [registers, onRequest](const HexMsg& request, int index) {
        if (onRequest) onRequest(index);
        return std::vector<Bytes>{registers->answerTo(request)};
    };
}

TEST(Dumper, TextFieldsOfTheLinkReachTheItems) {
    FakeClock clock(1705312830);
    LogCapture log;
    FakeLink link;
    Dumper dumper(link, link);
    dumper.buildTable(DumpVariant::full, plainCharger(kHexTableDeviceId));

    link.sendText({{"V", "1345"}, {"cs", "3"}, {"I", "oops"}, {"ERR", "0"}});

    EXPECT_EQ(rowOutsideARun(dumper), "\"Mon Jan 15 10:00:30 2024\",\"BULK\",-,13.45,-,-,-,0\n");
    auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "ERR.dumper: text field I value \"oops\" is not a number: bad lexical cast: source type "
                        "value could not be interpreted as target"),
              lines.end());
}

TEST(Dumper, StopRequestedBeforeTheRunEndsItAtOnce) {
    FakeLink link;
    Dumper dumper(link, link);
    dumper.requestStop();
    CsvCapture out(dumper);
    EXPECT_EQ(dumper.run(DumpVariant::full), 0);
    EXPECT_EQ(out.text(), "");
    EXPECT_TRUE(link.sent().empty());  // no request went out
}

TEST(Dumper, RunPollsThroughTheLinkUntilStopped) {
    FakeClock clock(1705312830);
    Dumper* running = nullptr;
    FakeLink link(registerDevice({{0xEE80, 12840}, {0xEE81, 1500}, {0xEE85, -250}, {0xEE82, 35100}, {0xEDDB, 2530}},
                                 [&running](int index) {
                                     if (index == 11) running->requestStop();  // in the third period
                                 }));
    Dumper dumper(link, link);
    running = &dumper;
    std::string text;
    {
        CsvCapture out(dumper);
        EXPECT_EQ(dumper.runTable(plainCharger(), DumpVariant::channels), 0);
        text = out.text();
    }
    EXPECT_EQ(text,
              "Vout,Iout1,Iout2,Vpanel,Temp\n"
              "12.840,1.500,-0.250,35.100,25.3\n"
              "12.840,1.500,-0.250,35.100,25.3\n");
    EXPECT_TRUE(linkMutexFree(link));
    EXPECT_EQ(rowOutsideARun(dumper), "\n");  // the items went with the run
}

TEST(Dumper, PortWriteErrorEndsTheRunAndReachesTheCaller) {
    LogCapture quiet;
    FakeLink link(testing_support::brokenPort());
    Dumper dumper(link, link);
    std::string text;
    {
        CsvCapture out(dumper);
        EXPECT_THROW(dumper.runTable(plainCharger(), DumpVariant::channels), boost::system::system_error);
        text = out.text();
    }
    EXPECT_EQ(text, "Vout,Iout1,Iout2,Vpanel,Temp\n");
    EXPECT_TRUE(linkMutexFree(link));
    EXPECT_EQ(rowOutsideARun(dumper), "\n");
}

TEST(Dumper, DestroyedDumperTakesNoMoreFields) {
    FakeLink link;
    {
        Dumper dumper(link, link);
        EXPECT_EQ(link.rxTextField.num_slots(), 1u);
    }
    EXPECT_EQ(link.rxTextField.num_slots(), 0u);
    link.rxTextField("V", "1345");  // must not reach freed items
}

// Time that stands still, so a full row is never due: only a stop request
// ends the wait for it. The wait itself is the system clock's, given a row
// time a minute away, as a full period's can be.
class StillClock : public DumpClock {
public:
    StillClock() { setDumpClock(this); }
    ~StillClock() override { setDumpClock(nullptr); }

    std::int64_t now() override { return 1705312830; }
    void sleepFor(milliseconds) override {}
    void sleepUntil(std::int64_t, const std::atomic<bool>& stop) override {
        DumpClock& system = systemDumpClock();
        std::int64_t rowTime = system.now() + 60;
        if (!waitBegun_.exchange(true)) waiting.set_value();
        system.sleepUntil(rowTime, stop);
        if (system.now() >= rowTime) ranOut = true;
    }
    void wake() override { systemDumpClock().wake(); }

    std::promise<void> waiting;
    std::atomic<bool> ranOut{false};

private:
    std::atomic<bool> waitBegun_{false};
};

TEST(Dumper, StopRequestEndsTheWaitForAFullRow) {
    LogCapture quiet;  // the device lacks every register
    StillClock clock;
    FakeLink link(registerDevice({}));
    Dumper dumper(link, link);
    CsvCapture out(dumper);
    auto run = std::async(std::launch::async, [&] { return dumper.runTable(plainCharger(), DumpVariant::full); });
    clock.waiting.get_future().wait();
    dumper.requestStop();  // from this thread, as a lost link's handler does
    EXPECT_EQ(run.get(), 0);
    EXPECT_FALSE(clock.ranOut) << "the wait lasted until its row time";
    EXPECT_EQ(splitLines(out.text()).size(), 1u);  // the header, no row
}

}  // namespace
