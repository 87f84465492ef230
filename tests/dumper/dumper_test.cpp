#include <algorithm>
#include <future>
#include <sstream>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "output/csv_table_writer.h"
#include "dumper/dumper.h"
#include "link/tam_serial.h"
#include "tests/dumper/dump_test_support.h"
#include "tests/support/pty.h"
#include "tests/support/scripted_device.h"

namespace {

using namespace tessline;
using namespace dumper_test;
using testing_support::Pty;
using std::chrono::milliseconds;

// A TEXT block of the fields with the checksum byte that makes its sum 0.
std::string textBlock(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string block;
    for (const auto& field : fields) block += "\r\n" + field.first + "\t" + field.second;
    block += "\r\nChecksum\t";
    unsigned char sum = 0;
    for (char c : block) sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(c));
    block += static_cast<char>(static_cast<unsigned char>(0x100 - sum));
    return block;
}

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

bool linkMutexFree(TamSerial& link) {
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

// The get-register answer to a request text such as ":7D5ED8C": the
// register's number from `values` as four bytes.
std::string registerReply(const std::string& request, const std::map<unsigned, std::int32_t>& values) {
    unsigned low = std::stoul(request.substr(2, 2), nullptr, 16);
    unsigned high = std::stoul(request.substr(4, 2), nullptr, 16);
    auto number = static_cast<std::uint32_t>(values.at(high << 8 | low));
    return testing_support::frameOf({7, low, high, 0, number & 0xFF, number >> 8 & 0xFF, number >> 16 & 0xFF,
                                     number >> 24});
}

TEST(Dumper, TextFieldsOfTheLinkReachTheItems) {
    useUtc();
    FakeClock clock(1705312830);
    LogCapture log;
    Pty pty;
    TamSerial link(pty.slavePath());
    Dumper dumper(link);
    std::promise<void> blockDone;
    link.rxTextField.connect([&blockDone](const std::string& label, const std::string&) {
        if (label == "Checksum") blockDone.set_value();
    });
    link.start();
    dumper.buildTable(DumpVariant::full, plainCharger(kHexTableDeviceId));

    pty.write(textBlock({{"V", "1345"}, {"cs", "3"}, {"I", "oops"}, {"ERR", "0"}}));
    ASSERT_EQ(blockDone.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);

    EXPECT_EQ(rowOutsideARun(dumper), "\"Mon Jan 15 10:00:30 2024\",\"BULK\",-,13.45,-,-,-,0\n");
    auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "ERR.dumper: text field I value \"oops\" is not a number: bad lexical cast: source type "
                        "value could not be interpreted as target"),
              lines.end());
}

TEST(Dumper, StopRequestedBeforeTheRunEndsItAtOnce) {
    Pty pty;
    TamSerial link(pty.slavePath());
    Dumper dumper(link);
    dumper.requestStop();
    CsvCapture out(dumper);
    EXPECT_EQ(dumper.run(DumpVariant::full), 0);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(pty.readFor(milliseconds(50)), "");  // no request went out
}

TEST(Dumper, RunPollsThroughTheLinkUntilStopped) {
    const std::map<unsigned, std::int32_t> values = {
        {0xEE80, 12840}, {0xEE81, 1500}, {0xEE85, -250}, {0xEE82, 35100}, {0xEDDB, 2530}};
    std::atomic<Dumper*> running{nullptr};
    testing_support::ScriptedDevice device([&](const std::string& request, int index) {
        if (index == 11) running.load()->requestStop();  // in the third period
        return registerReply(request, values);
    });
    TamSerial link(device.path());
    Dumper dumper(link);
    running = &dumper;
    link.start();
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
    Pty pty;
    TamSerial link(pty.slavePath());
    Dumper dumper(link);
    link.start();
    pty.closeMaster();  // the cable is pulled
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
    Pty pty;
    TamSerial link(pty.slavePath());
    {
        Dumper dumper(link);
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
    testing_support::ScriptedDevice device([](const std::string& request, int) {
        unsigned low = std::stoul(request.substr(2, 2), nullptr, 16);
        unsigned high = std::stoul(request.substr(4, 2), nullptr, 16);
        return testing_support::frameOf({7, low, high, 1});
    });
    TamSerial link(device.path());
    Dumper dumper(link);
    link.start();
    CsvCapture out(dumper);
    auto run = std::async(std::launch::async, [&] { return dumper.runTable(plainCharger(), DumpVariant::full); });
    clock.waiting.get_future().wait();
    dumper.requestStop();  // from this thread, as a lost link's handler does
    EXPECT_EQ(run.get(), 0);
    EXPECT_FALSE(clock.ranOut) << "the wait lasted until its row time";
    EXPECT_EQ(splitLines(out.text()).size(), 1u);  // the header, no row
}

}  // namespace
