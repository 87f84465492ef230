#include "app/error_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include <boost/throw_exception.hpp>

#include "hex/errors.h"
#include "identity/capabilities.h"
#include "publish/broker_refused.h"

using namespace tessline;

namespace {

const std::string kOpening = "========================== ERROR =============================\n";
const std::string kMiddle = "--------------------------------------------------------------\n";
const std::string kClosing = "==============================================================\n";

struct plain_failure : virtual boost::exception, virtual std::exception {
    const char* what() const noexcept override { return "plain failure"; }
};

// The report of a library-family exception up to the middle rule, and its code.
std::pair<std::string, int> reportHead(const boost::exception& e) {
    std::ostringstream err;
    int code = reportBoostException(err, e);
    std::string text = err.str();
    EXPECT_EQ(text.substr(text.size() - kClosing.size()), kClosing);
    return {text.substr(0, text.find(kMiddle) + kMiddle.size()), code};
}

}  // namespace

TEST(ErrorReport, RulesAreSixtyTwoCharacters) {
    EXPECT_EQ(std::string(kOpeningRule).size(), 62u);
    EXPECT_EQ(std::string(kMiddleRule).size(), 62u);
    EXPECT_EQ(std::string(kClosingRule).size(), 62u);
}

TEST(ErrorReport, LibraryFamilyExceptions) {
    struct Case {
        const char* legend;
        std::function<void()> raise;
        std::string head;
        int code;
    } cases[] = {
        {"tag_what: its text and a space", [] { BOOST_THROW_EXCEPTION(no_response() << tag_what("no response")); },
         kOpening + "no response \n" + kMiddle, -1},
        {"no tag: don't know", [] { BOOST_THROW_EXCEPTION(no_response()); }, kOpening + "don't know....\n" + kMiddle,
         -1},
        {"only tag_update_state: an empty line",
         [] { BOOST_THROW_EXCEPTION(plain_failure() << tag_update_state(UpdateState::failed)); },
         kOpening + "\n" + kMiddle, -1},
        {"tag_exit_code sets the code", [] { BOOST_THROW_EXCEPTION(plain_failure() << tag_exit_code(42)); },
         kOpening + "don't know....\n" + kMiddle, 42},
    };
    for (const auto& c : cases) {
        try {
            c.raise();
            FAIL() << c.legend;
        } catch (const boost::exception& e) {
            auto [head, code] = reportHead(e);
            EXPECT_EQ(head, c.head) << c.legend;
            EXPECT_EQ(code, c.code) << c.legend;
        }
    }
}

TEST(ErrorReport, DiagnosticTextNamesTheException) {
    try {
        BOOST_THROW_EXCEPTION(no_response() << tag_what("no response"));
    } catch (const boost::exception& e) {
        std::ostringstream err;
        reportBoostException(err, e);
        EXPECT_NE(err.str().find("tessline::no_response"), std::string::npos) << err.str();
    }
}

TEST(ErrorReport, StandardAndUnknownExceptions) {
    std::ostringstream err;
    EXPECT_EQ(reportStdException(err, std::bad_alloc()), -1);
    EXPECT_EQ(err.str(), kOpening + "std::bad_alloc" + kClosing);
    std::ostringstream unknown;
    EXPECT_EQ(reportUnknownException(unknown), -1);
    EXPECT_EQ(unknown.str(), kOpening + "Unknown exception\n" + kClosing);
}

TEST(ErrorReport, WhateverEndsTheRunGetsOneReportOrNone) {
    struct Case {
        const char* legend;
        std::function<void()> raise;
        std::string start;  // how the report begins; empty: no report at all
        int code;
    } cases[] = {
        {"refused device: logged where found, its code",
         [] { throw device_refused("only mppt chargers are supported") << tag_exit_code(91); }, "", 91},
        {"refused broker: logged where found, 5", [] { throw broker_refused("not authorised"); }, "", 5},
        {"no answer: the library's banner", [] { BOOST_THROW_EXCEPTION(no_response() << tag_what("no response")); },
         kOpening + "no response \n" + kMiddle, -1},
        {"anything else: the unknown banner", [] { throw 7; }, kOpening + "Unknown exception\n", -1},
    };
    for (const auto& c : cases) {
        std::ostringstream err;
        int code = 0;
        try {
            c.raise();
        } catch (...) {
            code = reportFailure(err, std::current_exception());
        }
        EXPECT_EQ(err.str().substr(0, c.start.size()), c.start) << c.legend;
        if (c.start.empty()) {
            EXPECT_EQ(err.str(), "") << c.legend;
        }
        EXPECT_EQ(code, c.code) << c.legend;
    }
}
