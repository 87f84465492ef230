#include <initializer_list>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "output/csv_table_writer.h"
#include "output/json_lines_writer.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/typed_row.h"

namespace {

using namespace tessline;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

const std::vector<TableColumn> kColumns = testing_support::catalogueColumns({"Timestamp", "Vbat[V]", "Err"});

Identity charger(const char* serial, std::uint16_t productId = 0xA042) {
    Identity identity;
    identity.serialNumber = serial;
    identity.productId = productId;
    return identity;
}

// Each table start writes "H" for a header and each row "R": the header
// rule over a run's tables, one case a line.
TEST(CsvTableWriter, HeaderRuleOverTheTablesOfARun) {
    const struct {
        const char* legend;
        bool appended;
        std::vector<Identity> tables;
        const char* expected;
    } cases[] = {
        {"fresh output", false, {charger("A")}, "HR"},
        {"appended output", true, {charger("A")}, "R"},
        {"same device after a reconnection", false, {charger("A"), charger("A")}, "HRR"},
        {"appended, then another device", true, {charger("A"), charger("B")}, "RHR"},
        {"back and forth", false, {charger("A"), charger("B"), charger("A")}, "HRHRHR"},
        {"same serial, another product", true, {charger("A"), charger("A", 0xA043)}, "RHR"},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        CsvTableWriter csv(out, c.appended);
        for (const Identity& identity : c.tables) {
            csv.onTableStart(identity, DeviceInfo(), kColumns);
            csv.onRow(TableRow{0, {textCell("t"), numberCell("12.80", 12.80), missingCell()}});
        }
        std::string written;
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);) {
            if (line == "Timestamp,Vbat[V],Err") written += 'H';
            else if (line == "\"t\",12.80,-") written += 'R';
            else written += '?';
        }
        EXPECT_EQ(written, c.expected) << c.legend;
    }
}

// A header that could not be written is still due at the next table.
TEST(CsvTableWriter, FailedHeaderIsWrittenAtTheNextTable) {
    std::ostringstream out;
    CsvTableWriter csv(out, false);
    out.setstate(std::ios::badbit);  // a full disk
    EXPECT_THROW(csv.onTableStart(charger("A"), DeviceInfo(), kColumns), std::runtime_error);
    out.clear();
    csv.onTableStart(charger("A"), DeviceInfo(), kColumns);
    EXPECT_EQ(out.str(), "Timestamp,Vbat[V],Err\n");
}

TEST(CsvTableWriter, FailedRowNamesTheReason) {
    std::ostringstream out;
    CsvTableWriter csv(out, true);
    out.setstate(std::ios::badbit);
    try {
        csv.onRow(TableRow{0, {numberCell("1", 1)}});
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write the table: output stream failed");
    }
}

// The table's file into `name` for every device.
std::unique_ptr<TableFile> fileNamed(const std::string& name) {
    TableFileSettings settings;
    settings.nameFor = [name](const Identity&) { return name; };
    return std::make_unique<TableFile>(std::move(settings));
}

std::string endedLine(const std::string& text) {
    return text.empty() || text.back() == '\n' ? text : text + "\n";
}

// Appending to a file with data: the header comes before the first row
// unless the file's last header is the table's own; a torn last line is
// ended first. JSON lines have no header.
TEST(CsvTableWriter, HeaderRuleOfAFileAppendedTo) {
    const std::string header = "Timestamp,Vbat[V],Err\n";
    const std::string manyRows(200000 / 8, 'x');  // beyond the first block read back
    const struct {
        const char* legend;
        std::string before;
        bool headerDue;
    } cases[] = {
        {"new file", "", true},
        {"same table", header + "1,2,-\n", false},
        {"same table, long ago", header + [&] { std::string rows; for (int i = 0; i < 8; ++i) rows += "1," + manyRows + "\n"; return rows; }(), false},
        {"torn row", header + "1,2", false},
        {"torn header", "Timestamp,Vbat[V", true},
        {"other variant", "Timestamp,State\n1,2,-\n", true},
        {"own header, then another", header + "1,2,-\nTimestamp,State\n1,2,-\n", true},
        {"another, then own header", "Timestamp,State\n1,2,-\n" + header + "1,2,-\n", false},
    };
    const TableRow row{0, {textCell("t"), numberCell("12.80", 12.80), missingCell()}};
    const std::string jsonLine = StateMessageBuilder(kColumns).build(row) + "\n";
    for (const auto& c : cases) {
        ScratchDir dir;
        const std::string csvName = dir.file("day.csv"), jsonName = dir.file("day.json");
        if (!c.before.empty()) {
            writeFile(csvName, c.before);
            writeFile(jsonName, c.before);
        }
        CsvTableWriter csv(fileNamed(csvName));
        JsonLinesWriter json(fileNamed(jsonName));
        for (TableListener* writer : std::initializer_list<TableListener*>{&csv, &json}) {
            writer->onTableStart(charger("A"), DeviceInfo(), kColumns);
            writer->onRow(row);
        }
        EXPECT_EQ(readFile(csvName), endedLine(c.before) + (c.headerDue ? header : "") + "\"t\",12.80,-\n") << c.legend;
        EXPECT_EQ(readFile(jsonName), endedLine(c.before) + jsonLine) << c.legend;
    }
}

// With %s in the template another charger gets a file of its own; without
// it, its rows follow a header of its own in the same file.
TEST(CsvTableWriter, AnotherChargerGetsItsFileOrItsHeader) {
    ScratchDir dir;
    TableFileSettings perDevice;
    perDevice.nameFor = [&dir](const Identity& identity) { return dir.file(identity.serialNumber + ".csv"); };
    CsvTableWriter bySerial(std::make_unique<TableFile>(perDevice));
    CsvTableWriter shared(fileNamed(dir.file("all.csv")));
    for (const char* serial : {"A", "B", "A"}) {
        for (CsvTableWriter* csv : {&bySerial, &shared}) {
            csv->onTableStart(charger(serial), DeviceInfo(), kColumns);
            csv->onRow(TableRow{0, {wordCell(serial), numberCell("1", 1), missingCell()}});
        }
    }
    const std::string header = "Timestamp,Vbat[V],Err\n";
    EXPECT_EQ(readFile(dir.file("A.csv")), header + "A,1,-\nA,1,-\n");
    EXPECT_EQ(readFile(dir.file("B.csv")), header + "B,1,-\n");
    EXPECT_EQ(readFile(dir.file("all.csv")), header + "A,1,-\n" + header + "B,1,-\n" + header + "A,1,-\n");
}

}  // namespace
