// The system layer, on whichever system the suite was built for.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/append_file.h"
#include "platform/civil_time.h"
#include "tests/support/scratch_dir.h"

using namespace tessline;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

// Seconds from 1970 of a broken-down time read as UTC (days from civil).
long long asUtcSeconds(const std::tm& t) {
    long long year = t.tm_year + 1900, month = t.tm_mon + 1;
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + t.tm_mday - 1;
    const long long days = era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
    return days * 86400 + t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
}

// The file's text as the system's text mode writes it.
std::string asWritten(std::string text) {
#ifdef _WIN32
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, 1, '\r');
#endif
    return text;
}

}  // namespace

TEST(CivilTime, UtcFieldsAndOffsetAgreeWithTheLocalFields) {
    // Winter and summer, the epoch, and a date past 2038.
    for (std::time_t moment : {std::time_t{0}, std::time_t{1460037789}, std::time_t{1782000000},
                               std::time_t{1796692380}, std::time_t{2500000000LL}}) {
        std::tm utc{}, local{};
        ASSERT_TRUE(toUtcTime(moment, utc)) << moment;
        ASSERT_TRUE(toLocalTime(moment, local)) << moment;
        EXPECT_EQ(asUtcSeconds(utc), static_cast<long long>(moment));
        const std::string offset = utcOffsetText(moment);
        ASSERT_TRUE(std::regex_match(offset, std::regex("[+-][0-9]{4}"))) << offset;
        const long long minutes = std::stoll(offset.substr(1, 2)) * 60 + std::stoll(offset.substr(3, 2));
        const long long seconds = (offset[0] == '-' ? -60 : 60) * minutes;
        EXPECT_EQ(asUtcSeconds(local) - static_cast<long long>(moment), seconds) << moment << " " << offset;
    }
}

TEST(CivilTime, CtimeTextIsTheLocalTimeWithoutItsLineEnd) {
    const std::time_t moment = 1460037789;
    std::tm local{};
    ASSERT_TRUE(toLocalTime(moment, local));
    const std::string text = ctimeText(moment);
    char clock[16];
    std::snprintf(clock, sizeof clock, " %02d:%02d:%02d %d", local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_year + 1900);
    // Windows' C library writes the day in two digits ("Apr 07"), the C
    // standard's form pads it with a space ("Apr  7").
    EXPECT_TRUE(std::regex_match(text, std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) Apr [ 0][678]( [0-9:]+){2}"))) << text;
    EXPECT_NE(text.find(clock), std::string::npos) << text << " lacks" << clock;
}

TEST(AppendFile, AppendsReadsBackCutsAndKnowsItsFile) {
    ScratchDir dir;
    const std::string name = dir.file("table.csv");
    writeFile(name, "");
    AppendFile file;
    int error = 0;
    ASSERT_TRUE(file.open(name, error)) << systemErrorText(error);
    ASSERT_TRUE(file.append("a,b\n1,2\n", 8, error)) << systemErrorText(error);
    EXPECT_EQ(readFile(name), asWritten("a,b\n1,2\n"));
    FileStatus status;
    ASSERT_TRUE(file.status(status));
    EXPECT_TRUE(status.regular);
    EXPECT_EQ(status.size, static_cast<std::int64_t>(asWritten("a,b\n1,2\n").size()));
    std::string header(asWritten("a,b\n").size() - 1, '\0');
    ASSERT_TRUE(file.readAt(header, 0));
    EXPECT_EQ(withoutTextModeCr(header), "a,b");
    std::string past(4, '\0');
    EXPECT_FALSE(file.readAt(past, status.size - 2));  // the file ends first
    ASSERT_TRUE(file.truncate(static_cast<std::int64_t>(asWritten("a,b\n").size()), error));
    ASSERT_TRUE(file.append("3,4\n", 4, error));
    ASSERT_TRUE(file.sync(error)) << systemErrorText(error);
    EXPECT_EQ(readFile(name), asWritten("a,b\n3,4\n"));

    FileIdentity atPath;
    ASSERT_TRUE(identityOfPath(name, atPath));
    EXPECT_EQ(atPath, status.identity);
    // Moved away while open (which Windows allows only with delete sharing),
    // and a new file under the name: the name no longer leads to this one.
    std::filesystem::rename(name, dir.file("moved.csv"));
    EXPECT_FALSE(identityOfPath(name, atPath));
    writeFile(name, "new\n");
    ASSERT_TRUE(identityOfPath(name, atPath));
    EXPECT_FALSE(atPath == status.identity);
    ASSERT_TRUE(file.append("5,6\n", 4, error));
    file.close();
    EXPECT_EQ(readFile(dir.file("moved.csv")), asWritten("a,b\n3,4\n5,6\n"));
}

TEST(AppendFile, ANameInAMissingFolderGivesTheSystemsReason) {
    ScratchDir dir;
    AppendFile file;
    int error = 0;
    EXPECT_FALSE(file.open(dir.file("missing/table.csv"), error));
    EXPECT_NE(error, 0);
    EXPECT_FALSE(systemErrorText(error).empty());
}

TEST(AppendFile, OnlyATextModeCrIsDropped) {
    struct Case {
        const char* line;
        const char* posix;
        const char* windows;
    } cases[] = {
        {"a,b\r", "a,b\r", "a,b"},
        {"a,b", "a,b", "a,b"},
        {"\r", "\r", ""},
        {"a\rb", "a\rb", "a\rb"},
    };
    for (const auto& c : cases) {
#ifdef _WIN32
        EXPECT_EQ(withoutTextModeCr(c.line), c.windows) << c.line;
#else
        EXPECT_EQ(withoutTextModeCr(c.line), c.posix) << c.line;
#endif
    }
}
