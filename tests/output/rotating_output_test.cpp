#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/csv_table_writer.h"
#include <signal.h>
#include <sys/resource.h>

#include "output/table_file.h"
#include "output/json_lines_writer.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/typed_row.h"

namespace {

using namespace tessline;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

const std::vector<TableColumn> kColumns = testing_support::catalogueColumns({"Timestamp", "Vbat[V]"});
const std::string kHeader = "Timestamp,Vbat[V]\n";

// The period dates are local ones, in UTC throughout the suite.
class RotatingOutput : public testing::Test {
protected:
    // The period files of dir/NAME.
    std::unique_ptr<TableFile> periodFiles(const std::string& name, Rotation rotation, int keep = 0,
                                           bool holdRows = false) {
        TableFileSettings settings;
        settings.nameFor = [this, name](const Identity&) { return dir.file(name); };
        settings.rotation = rotation;
        settings.keep = keep;
        settings.holdRows = holdRows;
        return std::make_unique<TableFile>(std::move(settings));
    }

    // A charger's table into the period files of dir/HQ1.csv.
    std::unique_ptr<CsvTableWriter> csvWriter(Rotation rotation, int keep = 0, bool holdRows = false) {
        auto writer = std::make_unique<CsvTableWriter>(periodFiles("HQ1.csv", rotation, keep, holdRows));
        Identity identity;
        identity.serialNumber = "HQ1";
        writer->onTableStart(identity, DeviceInfo(), kColumns);
        return writer;
    }

    ScratchDir dir;
};

// 2026-12-07 23:59:59 UTC, the last second of a day.
constexpr std::time_t kLastOfDec7 = 1796687999;

TableRow row(std::time_t time) { return TableRow{time, {numberCell(std::to_string(time), time), numberCell("12.80", 12.80)}}; }
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
    writeFile(dir.file("HQ1-2026-12-07.csv"), kHeader + "1796687000,12.80\n");
    auto csv = csvWriter(Rotation::daily);
    for (std::time_t t : {kLastOfDec7 + 5, kLastOfDec7 - 3, kLastOfDec7 + 9}) csv->onRow(row(t));
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-07.csv")), kHeader + "1796687000,12.80\n" + line(kLastOfDec7 - 3));
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-08.csv")), kHeader + line(kLastOfDec7 + 5) + line(kLastOfDec7 + 9));
}

TEST_F(RotatingOutput, JsonLinesGoToTheirPeriodsFile) {
    JsonLinesWriter json(periodFiles("HQ1.json", Rotation::daily));
    json.onTableStart(Identity(), DeviceInfo(), kColumns);
    for (std::time_t t : {kLastOfDec7, kLastOfDec7 + 1}) json.onRow(row(t));
    EXPECT_NE(readFile(dir.file("HQ1-2026-12-07.json")).find(std::to_string(kLastOfDec7)), std::string::npos);
    EXPECT_NE(readFile(dir.file("HQ1-2026-12-08.json")).find(std::to_string(kLastOfDec7 + 1)), std::string::npos);
}

// --keep N keeps N files by the dates in their names, the current one
// counted, whatever the clock says: a jump costs what a switch costs.
TEST_F(RotatingOutput, KeepCountsFilesNotDays) {
    const std::vector<std::string> days = {"HQ1-2026-12-05.csv", "HQ1-2026-12-06.csv", "HQ1-2026-12-07.csv"};
    const struct {
        const char* legend;
        std::string current;
        int keep;
        std::vector<std::string> beyond;
    } cases[] = {
        {"next day", "HQ1-2026-12-08.csv", 3, {"HQ1-2026-12-05.csv"}},
        {"three years ahead", "HQ1-2029-12-07.csv", 3, {"HQ1-2026-12-05.csv"}},
        {"far ahead, many kept", "HQ1-2029-12-07.csv", 730, {}},
        {"clock went back", "HQ1-2020-01-01.csv", 3, {"HQ1-2026-12-05.csv"}},
        {"keep one", "HQ1-2026-12-08.csv", 1, {"HQ1-2026-12-07.csv", "HQ1-2026-12-06.csv", "HQ1-2026-12-05.csv"}},
        {"the current file is among them", "HQ1-2026-12-06.csv", 2, {"HQ1-2026-12-05.csv"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> entries = days;
        entries.insert(entries.end(), {c.current, "HQ1-2026-02-30.csv", "HQ1-2026-12.csv"});
        EXPECT_EQ(periodFilesBeyond(entries, "some/dir/HQ1.csv", Rotation::daily, "some/dir/" + c.current, c.keep),
                  c.beyond)
            << c.legend;
    }
    EXPECT_EQ(periodFilesBeyond({"HQ1-2026-11.csv", "HQ1-2026-12.csv", "HQ1-2027-00.csv"}, "HQ1.csv",
                                Rotation::monthly, "HQ1-2026-12.csv", 1),
              std::vector<std::string>{"HQ1-2026-11.csv"});
}

// After the switch to 12-08 with --keep 3, three files stay: the
// current one and the two newest before it; nothing else goes.
TEST_F(RotatingOutput, KeepDeletesOnlyTheOldFilesOfThisTemplate) {
    const std::vector<std::string> deleted = {"HQ1-2026-12-05.csv", "HQ1-2026-11-30.csv", "HQ1-2025-12-08.csv"};
    const std::vector<std::string> spared = {
        "HQ1-2026-12-06.csv",      // the two newest before the current one
        "HQ1-2026-12-09.csv",      // (a later day: the clock went back)
        "HQ2-2026-12-01.csv",      // another device
        "HQ1-2026-12-01.csv.bak",  // look-alikes
        "HQ1-2026-12-1.csv",  "HQ1-backup.csv", "HQ1-2026-11.csv", "xHQ1-2026-12-01.csv", "HQ1-2026-13-01.csv",
        "HQ1.csv",            "HQ1-2021-02-30.csv",  // not a day
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
        EXPECT_EQ(std::string(error.what()), "cannot write " + dir.file("HQ1-2026-12-08.csv") + ": No space left on device");
    }
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-07.csv")), kHeader + line(kLastOfDec7));
}

// A switch to a name that cannot be opened ends the run with the reason,
// and the end of the run that follows touches no closed file.
TEST_F(RotatingOutput, UnopenableFileAtTheSwitchNamesTheFileAndTheReason) {
    std::filesystem::create_directory(dir.file("HQ1-2026-12-08.csv"));
    auto csv = csvWriter(Rotation::daily);
    csv->onRow(row(kLastOfDec7));
    try {
        csv->onRow(row(kLastOfDec7 + 1));
        FAIL() << "no error for a file that cannot be opened";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "cannot open output file " + dir.file("HQ1-2026-12-08.csv") + ": Is a directory");
    }
    csv->onEnd();
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-07.csv")), kHeader + line(kLastOfDec7));
}

// A write cut short (here by a file size limit, as by a full disk) leaves
// no part of the row in the file.
TEST_F(RotatingOutput, RowCutShortIsTakenOutAgain) {
    auto csv = csvWriter(Rotation::daily);
    csv->onRow(row(kLastOfDec7));
    const std::string before = readFile(dir.file("HQ1-2026-12-07.csv"));
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = before.size() + 5;
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_THROW(csv->onRow(row(kLastOfDec7 - 1)), OutputError);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(readFile(dir.file("HQ1-2026-12-07.csv")), before);
}

}  // namespace
