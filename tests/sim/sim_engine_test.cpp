#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "sim/text_fields.h"
#include "sim_test_support.h"

namespace tessline {
namespace {

using simtest::EngineDriver;
using simtest::request;

SimSettings frozenSettings() {
    SimSettings settings;
    settings.frozen = true;
    settings.throttle = false;
    return settings;
}

// Splits device output into whole messages: TEXT blocks (from CR LF up to the
// byte after "Checksum" TAB) and HEX frames (from ":" to the line feed).
// Fails when a message is cut by another.
std::vector<std::string> messagesOf(const std::string& stream) {
    std::vector<std::string> messages;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        std::size_t end;
        if (stream[pos] == ':') {
            end = stream.find('\n', pos);
            EXPECT_NE(end, std::string::npos) << "unfinished frame";
            if (end == std::string::npos) break;
            EXPECT_EQ(stream.find_first_not_of(":0123456789ABCDEF", pos), end) << "frame cut at " << pos;
            end += 1;
        } else {
            EXPECT_EQ(stream.compare(pos, 2, "\r\n"), 0) << "stray bytes at " << pos;
            std::size_t lead = stream.find("\r\nChecksum\t", pos);
            if (lead == std::string::npos) break;  // unfinished last block
            EXPECT_GE(stream.find(':', pos), lead + 12) << "block cut at " << pos;
            end = lead + 12;
            EXPECT_EQ(byteSum(stream.substr(pos, end - pos)), 0) << "block at " << pos;
        }
        messages.push_back(stream.substr(pos, end - pos));
        pos = end;
    }
    return messages;
}

std::vector<std::string> blocksOf(const std::string& stream) {
    std::vector<std::string> blocks;
    for (auto& m : messagesOf(stream))
        if (m[0] == '\r') blocks.push_back(m);
    return blocks;
}

TEST(SimEngine, BlocksAndAnswersNeverCutIntoEachOther) {
    SimSettings settings = frozenSettings();
    settings.throttle = true;
    settings.periodMicros = 250000;
    SimEngine engine(settings, EepromWindow(1), 0);
    EngineDriver driver(engine);
    std::string out;
    int asked = 0;
    // Requests at moments that fall inside blocks being sent, some back to
    // back, keeping the line below its capacity.
    for (int i = 0; i < 40; ++i) {
        driver.send(simtest::getRegister(0x1050 + i % 31));
        if (i % 3 == 0) driver.send(request({0x01}));
        asked += i % 3 == 0 ? 2 : 1;
        out += driver.runFor(97000 + 1000 * (i % 7), 250);
    }
    out += driver.runFor(1000000, 250);
    auto messages = messagesOf(out);
    EXPECT_EQ(simtest::framesIn(out).size(), std::size_t(asked));
    EXPECT_GE(blocksOf(out).size(), 15u);
}

TEST(SimEngine, DamagedRequestGetsReceptionError) {
    SimEngine engine(frozenSettings(), EepromWindow(1), 0);
    engine.advance(0);
    engine.takeSendable(0);  // the first block
    engine.receive(":155\n", 10);
    engine.advance(10);
    EXPECT_EQ(engine.takeSendable(10), ":4AAAAFD\n");
}

struct FaultCase {
    const char* legend;
    std::function<void(FaultPlan&)> fault;
    int pings;
    std::string expected;
};

TEST(SimEngine, HexFaultsShapeTheAnswers) {
    const std::string pong = ":51641F9\n";
    const FaultCase cases[] = {
        {"no fault", [](FaultPlan&) {}, 2, pong + pong},
        {"drop every 2nd", [](FaultPlan& f) { f.dropEveryAnswer = 2; }, 4, pong + pong},
        {"reception error asking for a resend",
         [](FaultPlan& f) {
             f.receptionError = true;
             f.receptionErrorWord = 0xAAAA;
         },
         1, ":4AAAAFD\n" + pong},
        {"reception error with another word",
         [](FaultPlan& f) {
             f.receptionError = true;
             f.receptionErrorWord = 0x1234;
         },
         1, ":434120B\n" + pong},
        {"reception error without a word", [](FaultPlan& f) { f.receptionError = true; }, 1, ":451\n" + pong},
        {"reception error before every 2nd",
         [](FaultPlan& f) {
             f.receptionError = true;
             f.receptionErrorEvery = 2;
         },
         2, pong + ":451\n" + pong},
        {"TEXT only", [](FaultPlan& f) { f.answerHex = false; }, 2, ""},
    };
    for (const auto& c : cases) {
        SimSettings settings = frozenSettings();
        settings.faults.sendText = false;
        c.fault(settings.faults);
        SimEngine engine(settings, EepromWindow(1), 0);
        EngineDriver driver(engine);
        for (int i = 0; i < c.pings; ++i) driver.send(request({0x01}));
        EXPECT_EQ(driver.runFor(100000), c.expected) << c.legend;
    }
}

TEST(SimEngine, LateAnswerWaitsForItsDelay) {
    SimSettings settings = frozenSettings();
    settings.faults.sendText = false;
    settings.faults.answerDelayMicros = 300000;
    SimEngine engine(settings, EepromWindow(1), 0);
    EngineDriver driver(engine);
    driver.send(request({0x04}));
    EXPECT_EQ(driver.runFor(299000), "");
    EXPECT_EQ(driver.runFor(2000), ":142A072\n");
    EXPECT_EQ(engine.nextWakeup(driver.now()), std::numeric_limits<std::int64_t>::max());
}

TEST(SimEngine, TextFaultsShapeTheBlocks) {
    struct Case {
        const char* legend;
        unsigned corruptEvery;
        double corruptAfter;
        std::vector<bool> valid;  // of the blocks at 0, 1, 2 and 3 s
    } cases[] = {
        {"every second block", 2, 0, {true, false, true, false}},
        {"every block from 1.5 s on", 0, 1.5, {true, true, false, false}},
    };
    for (const auto& c : cases) {
        SimSettings settings = frozenSettings();
        settings.faults.corruptEveryBlock = c.corruptEvery;
        settings.faults.noiseAfterSeconds = c.corruptAfter;
        SimEngine engine(settings, EepromWindow(1), 0);
        EngineDriver driver(engine);
        std::string out = driver.runFor(4000000 - 1000);
        std::vector<bool> valid;
        std::size_t pos = 0;
        while ((pos = out.find("\r\nPID", pos)) != std::string::npos) {
            std::size_t end = out.find("\r\nChecksum\t", pos) + 12;
            valid.push_back(byteSum(out.substr(pos, end - pos)) == 0);
            pos = end;
        }
        EXPECT_EQ(valid, c.valid) << c.legend;
    }
}

TEST(SimEngine, GarbageStandsBeforeBlocksAndOpensNoFrame) {
    SimSettings settings = frozenSettings();
    settings.faults.garbageBytes = 200;
    settings.faults.garbageEvery = 2;
    SimEngine engine(settings, EepromWindow(1), 0);
    EngineDriver driver(engine);
    std::string out = driver.runFor(2000000 - 1000);
    std::string clean = deviceTextBlock(engine.profile(), engine.model());
    ASSERT_EQ(out.size(), 2 * clean.size() + 200);
    EXPECT_EQ(out.substr(0, clean.size()), clean) << "first block has none";
    EXPECT_EQ(out.substr(clean.size() + 200), clean) << "garbage stands before the second block";
    EXPECT_EQ(out.substr(clean.size(), 200).find(':'), std::string::npos);
}

TEST(SimEngine, ClientGoneDropsWhatWasOnItsWay) {
    SimSettings settings = frozenSettings();
    settings.throttle = true;
    SimEngine engine(settings, EepromWindow(1), 0);
    EngineDriver driver(engine);
    std::string partial = driver.runFor(20000);
    ASSERT_FALSE(partial.empty());
    engine.receive(":15", driver.now());
    engine.clientGone();
    // The next host starts at a message boundary, with a fresh request reader.
    EngineDriver next(engine, 1000000);
    next.send("4\n" + request({0x04}));
    std::string out = next.runFor(500000);
    EXPECT_EQ(out.substr(0, 2), "\r\n");
    EXPECT_EQ(simtest::framesIn(out).size(), 1u) << "only the whole request is answered";
}

// Same seed: the same bytes, however often the caller polls. Another seed:
// another day.
TEST(SimEngine, OutputIsDeterministicForASeed) {
    auto run = [](std::uint64_t seed, std::int64_t pollStep) {
        SimSettings settings;
        settings.seed = seed;
        settings.timeScale = 720;
        settings.throttle = false;
        SimEngine engine(settings, EepromWindow(seed), 0);
        EngineDriver driver(engine);
        std::string out;
        for (int i = 0; i < 20; ++i) {
            driver.send(simtest::getRegister(0x1050 + i));
            driver.send(simtest::getRegister(0xEDD5));
            out += driver.runFor(3000000, pollStep);
        }
        return out;
    };
    std::string first = run(7, 10000);
    EXPECT_EQ(first, run(7, 10000));
    EXPECT_EQ(first, run(7, 7500));
    EXPECT_NE(first, run(8, 10000));
}

// A register's value, asked without letting simulated time pass.
std::uint32_t registerValue(EngineDriver& driver, std::uint16_t id) {
    auto frames = simtest::framesIn(driver.exchange(simtest::getRegister(id)));
    EXPECT_EQ(frames.size(), 1u) << std::hex << id;
    if (frames.empty()) return 0;
    auto bytes = simtest::content(frames.back());
    std::uint32_t value = 0;
    for (std::size_t i = 4; i < bytes.size(); ++i) value |= std::uint32_t(bytes[i]) << (8 * (i - 4));
    return value;
}

// TEXT fields and registers tell the same story at every moment of the day.
TEST(SimEngine, TextAndRegistersAgreeThroughTheDay) {
    SimSettings settings;
    settings.seed = 3;
    settings.timeScale = 3600;  // an hour a second
    settings.throttle = false;
    settings.faults.sendText = false;
    SimEngine engine(settings, EepromWindow(1), 0);
    EngineDriver driver(engine);
    for (int hour = 0; hour < 24; ++hour) {
        driver.runFor(1000000, 100000);
        driver.exchange("");  // the model stands at the driver's clock from here
        std::string block = deviceTextBlock(engine.profile(), engine.model());
        struct Pair {
            const char* label;
            std::uint16_t id;
            long textPerUnit;
        };
        const Pair pairs[] = {{"V", 0xEDD5, 10}, {"I", 0xEDD7, 100}, {"VPV", 0xEDBB, 10}, {"CS", 0x0201, 1},
                              {"ERR", 0xEDDA, 1}, {"IL", 0xEDAD, 100}, {"H19", 0xEDDC, 1}, {"H20", 0xEDD3, 1},
                              {"H21", 0xEDD2, 1}, {"H22", 0xEDD1, 1}, {"H23", 0xEDD0, 1}};
        for (const auto& p : pairs) {
            long fromRegister = long(registerValue(driver, p.id)) * p.textPerUnit;
            EXPECT_EQ(simtest::valueOf(block, p.label), std::to_string(fromRegister)) << p.label << " hour " << hour;
        }
        long ppv = std::lround(registerValue(driver, 0xEDBC) / 100.0);
        EXPECT_EQ(simtest::valueOf(block, "PPV"), std::to_string(ppv)) << "hour " << hour;
        EXPECT_EQ(simtest::valueOf(block, "LOAD"), registerValue(driver, 0xEDA8) ? "ON" : "OFF");
    }
}

}  // namespace
}  // namespace tessline
