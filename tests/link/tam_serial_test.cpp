#include "link/tam_serial.h"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

#include "link/tam_serial_dump.h"
#include "log/log.h"
#include "tests/support/device_frames.h"
#include "tests/support/pty.h"
#include "tests/support/wait_until.h"

using namespace tessline;
using testing_support::Pty;
using testing_support::sealedTextBlock;
using namespace std::chrono_literals;

namespace {

// Collects what a listener saw on the reader thread.
class Collector {
public:
    void add(char c) {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_ += c;
        changed_.notify_all();
    }
    bool waitForSize(std::size_t size) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, testing_support::kEventBound, [&] { return bytes_.size() >= size; });
    }
    std::string bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    std::mutex mutex_;  // guards bytes_
    std::condition_variable changed_;
    std::string bytes_;
};

// The reason of the link's loss, once it is reported on the reader thread.
class LossWatch {
public:
    explicit LossWatch(TamSerial& link) {
        link.linkLost.connect([this](const std::string& reason) {
            std::lock_guard<std::mutex> lock(mutex_);
            reason_ = reason;
        });
    }
    std::string reason() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reason_;
    }

private:
    std::mutex mutex_;  // guards reason_
    std::string reason_;
};

std::string allBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes;
}

}  // namespace

TEST(DevicePathForPort, MapsNames) {
    struct Case {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},     {"COM10", "/dev/ttyS9"},       {"ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/3", "/dev/pts/3"}, {"COM0", "/dev/COM0"},       {"COMX", "/dev/COMX"},
        {"serial/by-id/x", "serial/by-id/x"},
    };
    for (const auto& c : cases) EXPECT_EQ(devicePathForPort(c.name), c.path) << c.name;
}

TEST(TamSerial, EmitsReceivedBytesInOrder) {
    Pty pty;
    TamSerial link(pty.slavePath());
    Collector seen;
    link.rxChar.connect([&](char c) { seen.add(c); });
    link.start();
    std::string sent = allBytes() + allBytes();
    pty.write(sent);
    ASSERT_TRUE(seen.waitForSize(sent.size()));
    EXPECT_EQ(seen.bytes(), sent);
    link.close();
    link.join();
}

// Bytes that come while the reader rests wait in the line's buffer: a
// resting reader still gets them all, in order, and a request and close()
// both end a rest.
TEST(TamSerial, RestingReaderLosesNothingAndEndsItsRestOnRequest) {
    Pty pty;
    TamSerial link(pty.slavePath());
    link.setRestBetweenReads(true);
    Collector seen;
    link.rxChar.connect([&](char c) { seen.add(c); });
    link.start();
    std::string sent = allBytes();
    for (std::size_t i = 0; i < sent.size(); i += 2) {
        pty.write(sent.substr(i, 2));
        std::this_thread::sleep_for(1ms);  // in parts over time, so that some come during a rest
    }
    ASSERT_TRUE(seen.waitForSize(sent.size()));
    HexMsg ping;
    ping.appendByte(0x01);
    EXPECT_EQ(link.write(ping), 0);
    EXPECT_EQ(pty.readUntil("\n", testing_support::kEventBound), ":154\n");
    const std::string answer = ":51641F9\n";
    pty.write(answer);
    ASSERT_TRUE(seen.waitForSize(sent.size() + answer.size()));
    EXPECT_EQ(seen.bytes(), sent + answer);
    link.close();
    link.join();
}

TEST(TamSerial, TxDataSeesTheFrameBeforeThePort) {
    Pty pty;
    TamSerial link(pty.slavePath());
    link.start();
    std::string seenByListener;
    std::string onWireWhenSeen = "unset";
    link.txData.connect([&](std::string& text) {
        seenByListener = text;
        onWireWhenSeen = pty.readFor(50ms);
    });
    HexMsg ping;
    ping.appendByte(0x01);
    EXPECT_EQ(link.write(ping), 0);
    EXPECT_EQ(seenByListener, ":154\n");
    EXPECT_EQ(onWireWhenSeen, "");
    EXPECT_EQ(pty.readUntil("\n", testing_support::kEventBound), ":154\n");
    link.close();
    link.join();
}

TEST(TamSerial, DeliversFramesAndFieldsFromTheWire) {
    Pty pty;
    TamSerial link(pty.slavePath());
    std::mutex mutex;
    std::vector<std::string> events;  // guarded by mutex
    link.rxHexMsg.connect([&](const HexMsg& msg) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back("hex " + std::to_string(msg.size()));
    });
    link.rxTextField.connect([&](const std::string& label, const std::string&) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back("text " + label);
    });
    link.start();
    pty.write(":154\n" + sealedTextBlock("\r\nV\t12800"));
    testing_support::waitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return events.size() >= 3;
    });
    link.close();
    link.join();
    EXPECT_EQ(events, (std::vector<std::string>{"hex 2", "text V", "text Checksum"}));
}

TEST(TamSerial, ListenerExceptionIsLoggedAndReceptionGoesOn) {
    Pty pty;
    TamSerial link(pty.slavePath());
    Collector seen;
    link.rxChar.connect([&](char c) {
        if (c == '!') throw std::runtime_error("bad lexical cast: test");
        seen.add(c);
    });
    ::testing::internal::CaptureStderr();
    link.start();
    pty.write("ab!cd");
    bool arrived = seen.waitForSize(4);
    link.close();
    link.join();
    std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(seen.bytes(), "abcd");
    EXPECT_NE(err.find("ERR.serial: bad lexical cast: test\n"), std::string::npos) << err;
}

TEST(TamSerial, CloseEndsTheReaderThreadAndWriteThenThrows) {
    Pty pty;
    TamSerial link(pty.slavePath());
    logLevel = 3;
    Collector seen;
    link.rxChar.connect([&](char c) { seen.add(c); });
    ::testing::internal::CaptureStderr();
    link.start();
    pty.write("x");  // once it is seen, the reader is in its read loop
    EXPECT_TRUE(seen.waitForSize(1));
    link.close();
    link.join();
    std::string err = ::testing::internal::GetCapturedStderr();
    logLevel = 1;
    EXPECT_NE(err.find("INF.serial: port open"), std::string::npos);
    EXPECT_NE(err.find("WRN.serial: serial port error [system]: Operation canceled (125)"), std::string::npos) << err;
    EXPECT_NE(err.find("INF.serial: thread stopped"), std::string::npos);
    EXPECT_FALSE(link.joinable());
    HexMsg ping;
    ping.appendByte(0x01);
    try {
        link.write(ping);
        FAIL() << "write on a closed port did not throw";
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("write: ", 0), 0u) << e.what();
    }
}

// Nobody reads the line: once its buffers are full, a write fails after a
// bounded wait instead of holding the link for ever.
TEST(TamSerial, WriteToAPortThatTakesNothingFailsInBoundedTime) {
    Pty pty;
    TamSerial link(pty.slavePath());
    HexMsg big;
    for (int i = 0; i < 1000; ++i) big.appendByte(0x55);
    try {
        for (int i = 0; i < 10000; ++i) link.write(big);
        FAIL() << "10000 writes went through to a port that takes nothing";
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(e.code(), boost::system::errc::timed_out) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("write: the port took no byte for 1 s", 0), 0u) << e.what();
    }
}

TEST(TamSerial, HangUpEndsReceptionQuietlyAtDefaultLevel) {
    Pty pty;
    TamSerial link(pty.slavePath());
    ::testing::internal::CaptureStderr();
    link.start();
    pty.closeMaster();
    link.join();  // the read error ends the thread by itself
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// A silence timeout ends a link that goes quiet, and one whose bytes make
// no valid TEXT block or HEX frame (noise, a wrong line speed); each says
// which it was.
TEST(TamSerial, SilenceTimeoutTellsSilenceFromBytesWithoutValidBlocks) {
    const std::string valid = sealedTextBlock("\r\nV\t12800");
    std::string damaged = valid;
    damaged.back() = static_cast<char>(damaged.back() + 1);
    struct Case {
        const char* legend;
        std::string first;   // sent once at the start
        std::string repeat;  // sent every 100 ms
        std::string reason;  // empty: the link stays
    } cases[] = {
        {"valid blocks", "", valid, ""},
        {"blocks with a wrong checksum", "", damaged, "no valid TEXT block for 1 s"},
        {"HEX answers only, as from a charger that holds its TEXT", "", ":154\n", ""},
        {"HEX frames with a wrong checksum", "", ":155\n", "no valid TEXT block for 1 s"},
        {"a block and a HEX answer after it, then nothing", valid + ":154\n", "", "no data for 1 s"},
        {"nothing at all", "", "", "no data for 1 s"},
    };
    for (const auto& c : cases) {
        Pty pty;
        TamSerial link(pty.slavePath());
        link.setSilenceTimeout(1s);
        LossWatch loss(link);
        link.start();
        pty.write(c.first);
        // Time is the subject: three silence timeouts long, the device sends
        // its repeat every 100 ms, and a link that should stay must stay.
        testing_support::waitUntil(
            [&] {
                if (!c.repeat.empty()) pty.write(c.repeat);
                return !loss.reason().empty();
            },
            3s, 100ms);
        EXPECT_EQ(loss.reason(), c.reason) << c.legend;
        link.close();
        link.join();
    }
}

// A line that goes while the reader rests fails the next write at once; the
// reader's account of the loss still comes first, as it does when the
// reader was waiting on the line.
TEST(TamSerial, LineGoneDuringARestIsReportedByTheReaderBeforeAWriteFails) {
    Pty pty;
    TamSerial link(pty.slavePath());
    link.setRestBetweenReads(true);
    std::atomic<bool> lost{false};
    std::string reason;  // written on the reader thread, read after join
    link.linkLost.connect([&](const std::string& text) {
        reason = text;
        lost = true;
    });
    Collector seen;
    link.rxChar.connect([&](char c) { seen.add(c); });
    link.start();
    pty.write("\r\nV\t12800");
    ASSERT_TRUE(seen.waitForSize(9));  // the reader rests after this read
    pty.closeMaster();
    HexMsg ping;
    ping.appendByte(0x01);
    EXPECT_THROW(link.write(ping), boost::system::system_error);
    EXPECT_TRUE(lost);
    link.join();
    EXPECT_EQ(reason.rfind("read: ", 0), 0u) << reason;
}

TEST(TamSerial, SecondStartLogsThreadNotAvailable) {
    Pty pty;
    TamSerial link(pty.slavePath());
    link.start();
    ::testing::internal::CaptureStderr();
    link.start();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERR.serial: thread not available\n"), std::string::npos) << err;
    // Still one receive path: a frame is decoded once.
    int frames = 0;
    std::mutex mutex;
    link.rxHexMsg.connect([&](const HexMsg&) {
        std::lock_guard<std::mutex> lock(mutex);
        ++frames;
    });
    pty.write(":154\n");
    testing_support::waitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return frames >= 1;
    });
    link.close();
    link.join();  // a second path would have decoded the same read by now
    EXPECT_EQ(frames, 1);
}

TEST(TamSerial, SecondOpenOfTheSamePortIsRefused) {
    Pty pty;
    TamSerial first(pty.slavePath());
    try {
        TamSerial second(pty.slavePath());
        FAIL() << "second open succeeded";
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(std::string(e.what()), "open " + pty.slavePath() + ": Device or resource busy");
    }
}

TEST(TamSerial, MissingPortThrowsOpen) {
    try {
        TamSerial link("/dev/solwatch-no-such-port");
        FAIL();
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(std::string(e.what()), "open /dev/solwatch-no-such-port: No such file or directory");
    }
}

TEST(TamSerialDump, CopiesBothDirectionsUnchanged) {
    Pty pty;
    TamSerial link(pty.slavePath());
    std::ostringstream out;
    TamSerialDump dump(link, out);
    logLevel = 3;
    ::testing::internal::CaptureStderr();
    dump.connect();
    dump.connect();  // harmless
    link.start();
    HexMsg ping;
    ping.appendByte(0x01);
    link.write(ping);
    pty.readUntil("\n", testing_support::kEventBound);
    Collector seen;
    link.rxChar.connect([&](char c) { seen.add(c); });
    pty.write(allBytes());
    ASSERT_TRUE(seen.waitForSize(256));
    link.close();
    link.join();
    dump.disconnect();
    std::string err = ::testing::internal::GetCapturedStderr();
    logLevel = 1;
    EXPECT_EQ(out.str(), ":154\n" + allBytes());
    auto count = [&](const std::string& s) {
        std::size_t n = 0;
        for (std::size_t p = err.find(s); p != std::string::npos; p = err.find(s, p + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("dumper: connect rx"), 1u);
    EXPECT_EQ(count("dumper: connect tx"), 1u);
    EXPECT_EQ(count("dumper: disconnect rx"), 1u);
    EXPECT_LT(err.find("dumper: connect tx"), err.find("port open"));
}
