// The reconnect policy on its own: the pauses between tries, and what each
// kind of failure means for a run. No ports, no processes, no waits.
#include "app/reconnect_policy.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

#include <boost/system/system_error.hpp>
#include <boost/throw_exception.hpp>

#include "hex/errors.h"
#include "hex/exit_codes.h"
#include "identity/capabilities.h"
#include "publish/broker_refused.h"

using namespace tessline;

TEST(Backoff, PausesGrowUntilTheLinkWorks) {
    // 'f': a try failed, 'w': a table started; each event is followed by
    // the pause before the next try.
    struct Case {
        const char* legend;
        std::string events;
        std::vector<int> pauses;
    } cases[] = {
        {"no failure, no pause", "", {}},
        {"doubling from 1 s", "ffff", {1, 2, 4, 8}},
        {"30 s from the sixth failure on", "ffffffff", {1, 2, 4, 8, 16, 30, 30, 30}},
        {"a working link starts over", "fffwf", {1, 2, 4, 0, 1}},
        {"a working link without failures", "wf", {0, 1}},
    };
    for (const auto& c : cases) {
        Backoff backoff;
        EXPECT_EQ(backoff.nextDelay().count(), 0) << c.legend;
        std::vector<int> pauses;
        for (char event : c.events) {
            if (event == 'f') backoff.failed();
            if (event == 'w') backoff.linkWorked();
            pauses.push_back(static_cast<int>(backoff.nextDelay().count()));
        }
        EXPECT_EQ(pauses, c.pauses) << c.legend;
    }
}

namespace {

struct other_library_failure : virtual boost::exception, virtual std::exception {
    const char* what() const noexcept override { return "other failure"; }
};

std::exception_ptr thrown(const std::function<void()>& raise) {
    try {
        raise();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

std::exception_ptr portError(const char* where) {
    return thrown([where] {
        throw boost::system::system_error(boost::system::error_code(EIO, boost::system::system_category()), where);
    });
}

}  // namespace

TEST(ClassifyFailure, WhatARunSurvivesWithWhichReasonAndCode) {
    const std::string lost = "read failed: Input/output error";
    struct Case {
        const char* legend;
        std::exception_ptr failure;
        std::string lossReason;
        bool survivable;
        bool loggedWhereFound;
        std::string reason;
        int exitCode;
    } cases[] = {
        {"port error: its own text", portError("open /dev/ttyUSB9"), "", true, false,
         "open /dev/ttyUSB9: " + boost::system::error_code(EIO, boost::system::system_category()).message(),
         kExitFailure},
        {"port error after a loss: the loss", portError("write"), lost, true, false, lost, kExitFailure},
        {"no answer", thrown([] { BOOST_THROW_EXCEPTION(no_response()); }), "", true, false,
         "no response to a request", kExitFailure},
        {"no answer after a loss: the loss", thrown([] { BOOST_THROW_EXCEPTION(no_response()); }), lost, true,
         false, lost, kExitFailure},
        {"refused device: its code", thrown([] { throw device_refused("no ping reply") << tag_exit_code(3); }),
         lost, true, true, "device refused: no ping reply", kExitNoPingReply},
        {"refused device: not a charger",
         thrown([] { throw device_refused("only mppt chargers are supported") << tag_exit_code(91); }), "", true,
         true, "device refused: only mppt chargers are supported", kExitNotCharger},
        {"refused broker ends the run", thrown([] { throw broker_refused("not authorised"); }), "", false, true,
         "not authorised", kExitBrokerRefused},
        {"output that cannot be written ends the run", thrown([] { throw std::runtime_error("disk full"); }), lost,
         false, false, "disk full", kExitFailure},
        {"out of memory ends the run", thrown([] { throw std::bad_alloc(); }), "", false, false,
         std::bad_alloc().what(), kExitFailure},
        {"library failure: its code", thrown([] { throw other_library_failure() << tag_exit_code(42); }), "", false,
         false, "other failure", 42},
        {"anything else", thrown([] { throw 7; }), "", false, false, "Unknown exception", kExitFailure},
    };
    for (const auto& c : cases) {
        FailureVerdict verdict = classifyFailure(c.failure, c.lossReason);
        EXPECT_EQ(verdict.survivable, c.survivable) << c.legend;
        EXPECT_EQ(verdict.loggedWhereFound, c.loggedWhereFound) << c.legend;
        EXPECT_EQ(verdict.reason, c.reason) << c.legend;
        EXPECT_EQ(verdict.exitCode, c.exitCode) << c.legend;
    }
}

TEST(AbsenceLog, FirstFailureAReminderAnHourAndTheReturn) {
    // Events at their minute since the first failure, 'f' a failed try and
    // 'b' the device back; the lines that the tries write, and whether the
    // last return was logged.
    using Line = AbsenceLog::Line;
    const Line F = Line::first, R = Line::reminder;
    struct Case {
        const char* legend;
        std::vector<std::pair<char, int>> events;
        std::vector<Line> lines;
        bool returnLogged;
    } cases[] = {
        {"nothing failed, no return to tell", {{'b', 0}}, {}, false},
        {"first failure only", {{'f', 0}, {'f', 1}, {'f', 30}, {'f', 59}, {'b', 59}}, {F}, true},
        {"on the hour", {{'f', 0}, {'f', 59}, {'f', 60}, {'f', 61}, {'f', 119}, {'f', 121}, {'b', 122}}, {F, R, R},
         true},
        {"late tries do not shift the next hour", {{'f', 0}, {'f', 65}, {'f', 119}, {'f', 120}}, {F, R, R}, false},
        {"a night's gap: one reminder", {{'f', 0}, {'f', 600}, {'f', 601}, {'f', 660}}, {F, R, R}, false},
        {"a failure after the return is a first one",
         {{'f', 0}, {'f', 60}, {'b', 70}, {'f', 75}, {'f', 134}, {'f', 135}}, {F, R, F, R}, true},
    };
    for (const auto& c : cases) {
        AbsenceLog log;
        std::vector<Line> lines;
        bool returnLogged = false;
        for (auto [kind, minute] : c.events) {
            const auto now = AbsenceLog::Clock::time_point{} + std::chrono::minutes(minute);
            if (kind == 'b') returnLogged = log.deviceBack();
            else if (Line line = log.tryFailed(now); line != Line::none) lines.push_back(line);
        }
        EXPECT_EQ(lines, c.lines) << c.legend;
        EXPECT_EQ(returnLogged, c.returnLogged) << c.legend;
    }
}
