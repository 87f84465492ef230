// The command line as a user meets it: the built program run as a child.
#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/sim_process.h"

using testing_support::ProcessResult;
using testing_support::runProcess;
using testing_support::unstamped;

namespace {

const std::string kVisibleOptions =
    "Allowed options:\n"
    "  -d [ --dump ]         dump communication to output\n"
    "  -h [ --help ]         produce help message\n"
    "  -s [ --serial ] arg   serial port\n"
    "  -g [ --get ]          get product information\n"
    "  -V [ --version ]      version\n";

ProcessResult solwatch(std::vector<std::string> args) {
    args.insert(args.begin(), SOLWATCH_BIN);
    return runProcess(args);
}

}  // namespace

// The service options follow as a block of their own, which leaves the
// first block as it always was.
TEST(CommandLine, HelpShowsOnlyVisibleOptions) {
    for (const char* flag : {"-h", "--help", "-?"}) {
        ProcessResult r = solwatch({flag, "-s", "COM1"});
        EXPECT_EQ(r.exitCode, 0) << flag;
        EXPECT_EQ(r.out.rfind(kVisibleOptions + "\nService options:\n", 0), 0u) << flag << r.out;
        EXPECT_NE(r.out.find("  --reconnect "), std::string::npos) << flag;
        for (const char* hidden : {"--fast", "--first-row-after"})
            EXPECT_EQ(r.out.find(hidden), std::string::npos) << flag << hidden;
        EXPECT_EQ(r.err, "") << flag;
    }
}

TEST(CommandLine, VersionLineWithoutOpeningThePort) {
    ProcessResult r = solwatch({"--version", "-s", "/dev/solwatch-no-such-port"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("VERSION: " SOLWATCH_VERSION " (build ") + __DATE__ + ")\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(solwatch({"--version", "--help"}).out.rfind(kVisibleOptions + "\n", 0), 0u);
}

TEST(CommandLine, NoArgumentsPrintsUsage) {
    ProcessResult r = solwatch({});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "solwatch " SOLWATCH_VERSION " - solar charge controller monitor\n"
              "\n"
              "No parameters specified. " + kVisibleOptions + "\n"
              "To dump data from a device connected to the first COM port into a file, type:\n"
              "solwatch -s COM1 > logfile.txt\n"
              "\n"
              "To get information about a connected device to the second COM port type:\n"
              "solwatch -s COM2 -g\n");
}

TEST(CommandLine, MissingSerialPort) {
    ProcessResult quiet = solwatch({"-g"});
    EXPECT_EQ(quiet.exitCode, 11);
    EXPECT_EQ(quiet.err, "Serial port was not set.\n");
    ProcessResult verbose = solwatch({"-v"});
    EXPECT_EQ(verbose.exitCode, 11);
    // The run time depends on the machine: only its form is fixed.
    std::string err = unstamped(verbose.err);
    const std::string head = "INF.solwatch: start\nSerial port was not set.\nINF.solwatch: done in 000.";
    ASSERT_EQ(err.rfind(head, 0), 0u) << err;
    EXPECT_EQ(err.size(), head.size() + 4) << err;  // three digits of milliseconds and the line end
}

TEST(CommandLine, OptionErrorsPrintOnlyTheLibraryMessage) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-s", "COM3", "-x"}, "unrecognised option '-x'\n"},
        {{"-s"}, "the required argument for option '--serial' is missing\n"},
        {{"-s", "a", "-s", "b"}, "option '--serial' cannot be specified more than once\n"},
        {{"--bogus"}, "unrecognised option '--bogus'\n"},
        {{"-s", "a", "--first-row-after", "0"},
         "the argument ('0') for option '--first-row-after' is invalid: use 1 to 60 seconds\n"},
        {{"-s", "a", "--first-row-after", "61"},
         "the argument ('61') for option '--first-row-after' is invalid: use 1 to 60 seconds\n"},
    };
    for (const auto& c : cases) {
        ProcessResult r = solwatch(c.args);
        EXPECT_EQ(r.exitCode, 255) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

// 0 turns the check off; a negative number is refused, not wrapped round.
TEST(CommandLine, SilenceTimeoutIsOffOrOneSecondToADay) {
    const std::string port = "/dev/solwatch-no-such-port";
    struct Case {
        const char* seconds;
        std::string err;  // empty: accepted, so the run goes on to the port
    } cases[] = {
        {"0", ""},
        {"1", ""},
        {"86400", ""},
        {"-5", "the argument ('-5') for option '--silence-timeout' is invalid: use 1 to 86400 seconds, or 0 for off\n"},
        {"86401",
         "the argument ('86401') for option '--silence-timeout' is invalid: use 1 to 86400 seconds, or 0 for off\n"},
        {"4294967295",
         "the argument ('4294967295') for option '--silence-timeout' is invalid: use 1 to 86400 seconds, or 0 for "
         "off\n"},
        {"ten", "the argument ('ten') for option '--silence-timeout' is invalid\n"},
    };
    for (const auto& c : cases) {
        ProcessResult r = solwatch({"-s", port, "-g", "--silence-timeout", c.seconds});
        EXPECT_EQ(r.exitCode, 255) << c.seconds;
        if (c.err.empty()) {
            EXPECT_NE(r.err.find("open " + port + ": No such file or directory"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, c.err);
        }
    }
}

TEST(CommandLine, PortThatCannotBeOpenedIsReported) {
    ProcessResult r = solwatch({"-s", "/dev/solwatch-no-such-port"});
    EXPECT_EQ(r.exitCode, 255);
    const std::string opening = "========================== ERROR =============================\n";
    const std::string middle = "--------------------------------------------------------------\n";
    const std::string closing = "==============================================================\n";
    ASSERT_EQ(r.err.rfind(opening + "don't know....\n" + middle, 0), 0u) << r.err;
    EXPECT_NE(r.err.find("open /dev/solwatch-no-such-port: No such file or directory"), std::string::npos);
    EXPECT_EQ(r.err.substr(r.err.size() - closing.size()), closing);
}
