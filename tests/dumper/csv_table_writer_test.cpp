#include <initializer_list>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "dumper/csv_table_writer.h"
#include "publish/json_lines_writer.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace tessline;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

const std::vector<TableColumn> kColumns = {{"Timestamp"}, {"Vbat[V]"}, {"Err"}};

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
            csv.onRow(TableRow{0, {textCell("\"t\""), numberCell("12.80"), missingCell()}});
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
        csv.onRow(TableRow{0, {numberCell("1")}});
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "cannot write the table: output stream failed");
    }
}

// A writer that owns its file appends to it: the CSV header only in a new
// file, and a torn last line ended before the first line of the table.
TEST(CsvTableWriter, OwnedFileIsAppendedTo) {
    const struct {
        const char* legend;
        std::string before;
        std::string kept;  // what precedes the table's lines afterwards
        std::string csvHeader;
    } cases[] = {
        {"new file", "", "", "Timestamp,Vbat[V],Err\n"},
        {"file with rows", "R\n", "R\n", ""},
        {"torn row", "R", "R\n", ""},
    };
    const TableRow row{0, {textCell("\"t\""), numberCell("12.80"), missingCell()}};
    const std::string jsonLine = StateMessageBuilder(kColumns).build(row) + "\n";
    for (const auto& c : cases) {
        ScratchDir dir;
        const std::string csvName = dir.file("day.csv"), jsonName = dir.file("day.json");
        if (!c.before.empty()) {
            writeFile(csvName, c.before);
            writeFile(jsonName, c.before);
        }
        CsvTableWriter csv(std::make_unique<OutputFile>(csvName));
        JsonLinesWriter json(std::make_unique<OutputFile>(jsonName));
        for (TableListener* writer : std::initializer_list<TableListener*>{&csv, &json}) {
            writer->onTableStart(charger("A"), DeviceInfo(), kColumns);
            writer->onRow(row);
        }
        EXPECT_EQ(readFile(csvName), c.kept + c.csvHeader + "\"t\",12.80,-\n") << c.legend;
        EXPECT_EQ(readFile(jsonName), c.kept + jsonLine) << c.legend;
    }
}

}  // namespace
