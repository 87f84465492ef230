#include <algorithm>
#include <future>
#include <sstream>
#include <thread>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "dumper/dumper.h"
#include "hex/hex_frame.h"
#include "link/tam_serial.h"
#include "tests/dumper/dump_test_support.h"
#include "tests/support/pty.h"

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

bool linkMutexFree(TamSerial& link) {
    return std::async(std::launch::async, [&link] {
               bool locked = link.linkMutex.try_lock();
               if (locked) link.linkMutex.unlock();
               return locked;
           }).get();
}

std::string rowOutsideARun(Dumper& dumper) {
    CoutCapture capture;
    dumper.dumpData();
    return capture.text();
}

// Plays a charger on the master side: answers every get-register request
// with the number in `values`; calls `afterAnswer` with the count so far.
class RegisterDevice {
public:
    RegisterDevice(Pty& pty, std::map<std::uint16_t, std::int32_t> values, std::function<void(int)> afterAnswer)
        : pty_(pty), values_(std::move(values)), afterAnswer_(std::move(afterAnswer)),
          thread_([this] { serve(); }) {}
    ~RegisterDevice() {
        running_ = false;
        thread_.join();
    }

private:
    void serve() {
        HexFrameDecoder decoder;
        int answered = 0;
        while (running_) {
            for (char c : pty_.readFor(milliseconds(20))) {
                if (!decoder.feed(c)) continue;
                answer(decoder.message());
                afterAnswer_(++answered);
            }
        }
    }

    void answer(const HexMsg& request) {
        const auto& bytes = request.bytes();
        std::uint16_t id = static_cast<std::uint16_t>(bytes.at(1) | bytes.at(2) << 8);
        HexMsg reply{0x07};
        reply.appendWord(id);
        reply.appendByte(0x00);
        std::uint32_t number = static_cast<std::uint32_t>(values_[id]);
        for (int i = 0; i < 4; ++i) reply.appendByte(static_cast<std::uint8_t>(number >> (8 * i)));
        pty_.write(encodeHexFrame(reply));
    }

    Pty& pty_;
    std::map<std::uint16_t, std::int32_t> values_;
    std::function<void(int)> afterAnswer_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

TEST(Dumper, TextFieldsOfTheLinkReachTheItems) {
    UtcZone utc;
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
    std::ostringstream out;
    EXPECT_EQ(dumper.run(DumpVariant::full, true, out), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(pty.readFor(milliseconds(50)), "");  // no request went out
}

TEST(Dumper, RunPollsThroughTheLinkUntilStopped) {
    Pty pty;
    TamSerial link(pty.slavePath());
    Dumper dumper(link);
    link.start();
    const std::map<std::uint16_t, std::int32_t> values = {
        {0xEE80, 12840}, {0xEE81, 1500}, {0xEE85, -250}, {0xEE82, 35100}, {0xEDDB, 2530}};
    RegisterDevice device(pty, values, [&dumper](int answered) {
        if (answered == 12) dumper.requestStop();
    });
    std::ostringstream out;
    EXPECT_EQ(dumper.runTable(plainCharger(), DumpVariant::channels, true, out), 0);
    EXPECT_EQ(out.str(),
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
    std::ostringstream out;
    EXPECT_THROW(dumper.runTable(plainCharger(), DumpVariant::channels, true, out), boost::system::system_error);
    EXPECT_EQ(out.str(), "Vout,Iout1,Iout2,Vpanel,Temp\n");
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

}  // namespace
