#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dumper/csv_table_writer.h"
#include "output/rotating_file.h"
#include "publish/json_lines_writer.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace tessline;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

const std::vector<TableColumn> kColumns = {{"Timestamp"}, {"Vbat[V]"}};
const std::string kHeader = "Timestamp,Vbat[V]\n";

// The period dates are local ones: the tests pin the zone to UTC.
class RotatingOutput : public testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    // A charger's table into the period files of dir/HQ1.csv.
    std::unique_ptr<CsvTableWriter> csvWriter(Rotation rotation, int keep = 0) {
        auto writer = std::make_unique<CsvTableWriter>(std::make_unique<RotatingFile>(dir.file("HQ1.csv"), rotation, keep));
        Identity identity;
        identity.serialNumber = "HQ1";
        writer->onTableStart(identity, DeviceInfo(), kColumns);
        return writer;
    }

    ScratchDir dir;
};

// 2026-12-07 23:59:59 UTC, the last second of a day.
constexpr std::time_t kLastOfDec7 = 1796687999;

TableRow row(std::time_t time) { return TableRow{time, {numberCell(std::to_string(time)), numberCell("12.80")}}; }
std::string line(std::time_t time) { return std::to_string(time) + ",12.80\n"; }

TEST_F(RotatingOutput, PeriodFileNames) {
    const struct {
        const char* name;
        Rotation rotation;
        const char* expected;
    } cases[] = {
        {"HQ1.csv", Rotation::daily, "HQ1-2026-12-07.csv"},
        {"HQ1.csv", Rotation::monthly, "HQ1-2026-12.csv"},
        {"logs/HQ1", Rotation::daily, "logs/HQ1-2026-12-07"},
        {"logs.d/HQ1", Rotation::daily, "logs.d/HQ1-2026-12-07"},
        {"logs/.hidden", Rotation::monthly, "logs/.hidden-2026-12"},
        {"HQ1.csv.gz", Rotation::daily, "HQ1.csv-2026-12-07.gz"},
    };
    for (const auto& c : cases) EXPECT_EQ(periodFileName(c.name, c.rotation, kLastOfDec7), c.expected) << c.name;
}

TEST_F(RotatingOutput, SwitchesAtMidnightWithAHeaderInEachFile) {
    auto csv = csvWriter(Rotation::daily);
    for (std::time_t t : {kLastOfDec7 - 1, kLastOfDec7, kLastOfDec7 + 1, kLastOfDec7 + 2}) csv->onRow(row(t));
    csv->onEnd();
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-07.csv")), kHeader + line(kLastOfDec7 - 1) + line(kLastOfDec7));
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-08.csv")), kHeader + line(kLastOfDec7 + 1) + line(kLastOfDec7 + 2));
    EXPECT_EQ(dir.entries().size(), 2u);
}

TEST_F(RotatingOutput, SwitchesAtAMonthsEnd) {
    constexpr std::time_t lastOfNovember = 1796083199;  // 2026-11-30 23:59:59
    auto csv = csvWriter(Rotation::monthly);
    for (std::time_t t : {lastOfNovember, lastOfNovember + 1}) csv->onRow(row(t));
    EXPECT_EQ(readFile(dir.file("HQ1-2026-11.csv")), kHeader + line(lastOfNovember));
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12.csv")), kHeader + line(lastOfNovember + 1));
}

// The clock goes back over midnight and forward again: each row goes to
// its own day's file, appended without a second header, nothing rewritten.
TEST_F(RotatingOutput, ClockJumpingBackAppendsToTheEarlierDay) {
    writeFile(dir.file("HQ1-2026-12-07.csv"), kHeader + "earlier,row\n");
    auto csv = csvWriter(Rotation::daily);
    for (std::time_t t : {kLastOfDec7 + 5, kLastOfDec7 - 3, kLastOfDec7 + 9}) csv->onRow(row(t));
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-07.csv")), kHeader + "earlier,row\n" + line(kLastOfDec7 - 3));
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-08.csv")), kHeader + line(kLastOfDec7 + 5) + line(kLastOfDec7 + 9));
}

TEST_F(RotatingOutput, JsonLinesGoToTheirPeriodsFile) {
    JsonLinesWriter json(std::make_unique<RotatingFile>(dir.file("HQ1.json"), Rotation::daily));
    json.onTableStart(Identity(), DeviceInfo(), kColumns);
    for (std::time_t t : {kLastOfDec7, kLastOfDec7 + 1}) json.onRow(row(t));
    EXPECT_NE(readFile(dir.file("HQ1-2026-12-07.json")).find(std::to_string(kLastOfDec7)), std::string::npos);
    EXPECT_NE(readFile(dir.file("HQ1-2026-12-08.json")).find(std::to_string(kLastOfDec7 + 1)), std::string::npos);
}

// After the switch to 12-08 with --keep 3, the files of 12-06 to 12-08
// stay; older ones of this device and template go, nothing else does.
TEST_F(RotatingOutput, KeepDeletesOnlyTheOldFilesOfThisTemplate) {
    const std::vector<std::string> deleted = {"HQ1-2026-12-05.csv", "HQ1-2026-11-30.csv", "HQ1-2025-12-08.csv"};
    const std::vector<std::string> spared = {
        "HQ1-2026-12-06.csv",      // within the three days
        "HQ1-2026-12-09.csv",      // a later day (the clock went back)
        "HQ2-2026-12-01.csv",      // another device
        "HQ1-2026-12-01.csv.bak",  // look-alikes
        "HQ1-2026-12-1.csv",  "HQ1-backup.csv", "HQ1-2026-11.csv", "xHQ1-2026-12-01.csv", "HQ1-2026-13-01.csv",
        "HQ1.csv",
    };
    for (const auto& name : deleted) writeFile(dir.file(name), "old\n");
    for (const auto& name : spared) writeFile(dir.file(name), "keep\n");
    std::filesystem::create_symlink(dir.file("HQ2-2026-12-01.csv"), dir.file("HQ1-2026-12-02.csv"));

    auto csv = csvWriter(Rotation::daily, 3);
    csv->onRow(row(kLastOfDec7 + 1));

    for (const auto& name : deleted) EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    for (const auto& name : spared) EXPECT_EQ(readFile(dir.file(name)), "keep\n") << name;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("HQ1-2026-12-02.csv"))) << "a symlink is never deleted";
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-08.csv")), kHeader + line(kLastOfDec7 + 1));
}

// A full disk at the switch: the new day's file takes no row, and the
// write fails with the system's reason instead of losing rows silently.
TEST_F(RotatingOutput, FullDiskAtTheSwitchIsAWriteError) {
    std::filesystem::create_symlink("/dev/full", dir.file("HQ1-2026-12-08.csv"));
    auto csv = csvWriter(Rotation::daily);
    csv->onRow(row(kLastOfDec7));
    try {
        csv->onRow(row(kLastOfDec7 + 1));
        FAIL() << "no error on a full disk";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "cannot write the table: No space left on device");
    }
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-07.csv")), kHeader + line(kLastOfDec7));
}

TEST_F(RotatingOutput, UnopenableFileNamesTheFileAndTheReason) {
    std::filesystem::create_directory(dir.file("HQ1-2026-12-08.csv"));
    auto csv = csvWriter(Rotation::daily);
    try {
        csv->onRow(row(kLastOfDec7 + 1));
        FAIL() << "no error for a file that cannot be opened";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "cannot open output file " + dir.file("HQ1-2026-12-08.csv") + ": Is a directory");
    }
}

}  // namespace
