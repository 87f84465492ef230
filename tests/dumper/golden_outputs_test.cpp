// The bytes every table output writes, compared with recorded files under
// tests/dumper/golden/ (see the README there). The tables run in-process on
// a fixed clock in UTC, so the time stamps are part of the comparison.
// SOLWATCH_UPDATE_GOLDEN=1 writes the files afresh instead of comparing.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include <gtest/gtest.h>

#include "dumper/table_items.h"
#include "output/csv_table_writer.h"
#include "dumper/dump_table.h"
#include "dumper/dump_loop.h"
#include "dumper/history_records.h"
#include "output/json_lines_writer.h"
#include "output/state_message.h"
#include "publish/row_messages.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using namespace dumper_test;

constexpr std::int64_t kStart = 1796692350;  // Tue Dec  8 01:12:30 2026 UTC

// What the MQTT publisher sends for each row, without a broker.
class MqttPayloads : public TableListener {
public:
    void onTableStart(const Identity&, const DeviceInfo&, const std::vector<TableColumn>& columns) override {
        messages_ = std::make_unique<RowMessages>(columns);
    }
    void onRow(const TableRow& row) override {
        RowMessages::Messages messages = messages_->forRow(row);
        text_ += "state " + messages.state + "\n";
        if (!messages.history.empty()) text_ += "history " + messages.history + "\n";
    }
    void onLinkLost(const std::string&) override {}
    void onEnd() override {}
    const std::string& text() const { return text_; }

private:
    std::unique_ptr<RowMessages> messages_;
    std::string text_;
};

// One charger as a table sees it: identity, capabilities, registers, and
// the TEXT fields that come before each row.
struct Charger {
    Identity identity;
    DeviceInfo info;
    FakeRegisters registers;
    std::function<void(DumpTable&, int row)> textBeforeRow;
    // Changes of the registers before each row.
    std::function<void(FakeRegisters&, int row)> changeBeforeRow;
};

// The three outputs of the tables of one run, written as the dump writes them.
class GoldenRun {
public:
    // `appended`: the output already held rows, so the first table has no header.
    explicit GoldenRun(bool appended = false) : clock_(kStart), csv_(csvText_, appended), json_(jsonText_) {
        listeners_.add(csv_);
        listeners_.add(json_);
        listeners_.add(mqtt_);
    }

    void table(Charger& charger, DumpVariant variant, int rows) {
        DumpTable dump(tableItems(variant, charger.info));
        listeners_.onTableStart(charger.identity, charger.info, dump.columns());
        const std::atomic<bool> goOn{false};
        for (int row = 0; row < rows; ++row) {
            if (charger.changeBeforeRow) charger.changeBeforeRow(charger.registers, row);
            if (charger.textBeforeRow) charger.textBeforeRow(dump, row);
            dump.pollOnce(charger.registers.reader(), goOn);
            clock_.setSeconds(rowDeadline(variant, clock_.now()));
            dump.dumpData(listeners_);
        }
        listeners_.onLinkLost("golden table ends");
    }

    std::string csv() const { return csvText_.str(); }
    std::string json() const { return jsonText_.str(); }
    std::string mqtt() const { return mqtt_.text(); }

private:
    FakeClock clock_;
    std::ostringstream csvText_;
    std::ostringstream jsonText_;
    CsvTableWriter csv_;
    JsonLinesWriter json_;
    MqttPayloads mqtt_;
    TableListeners listeners_;
};

std::string goldenPath(const std::string& name) {
    return std::string(SOLWATCH_SOURCE_DIR) + "/tests/dumper/golden/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void expectGolden(const std::string& name, const std::string& actual) {
    const std::string path = goldenPath(name);
    if (const char* update = std::getenv("SOLWATCH_UPDATE_GOLDEN"); update && *update == '1') {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    EXPECT_EQ(readFile(path), actual) << "differs from " << name;
}

Identity identityOf(const char* model, const char* serial, std::uint16_t productId) {
    Identity identity;
    identity.manufacturer = "Tessline";
    identity.model = model;
    identity.serialNumber = serial;
    identity.softwareVersion = "1.17";
    identity.productId = productId;
    return identity;
}

// A fast-table charger with panel and load current; the panel current
// register never answers, so its cell stays "-".
Charger fastCharger() {
    Charger c;
    c.identity = identityOf("Alder 80A high", "HQ2133ABCDE", 0xA04A);
    c.info = plainCharger(0xA04A);
    c.info.appVersion = 0x117;
    c.info.hasPanelCurrent = c.info.hasLoadOutput = c.info.hasLoadCurrent = true;
    c.registers.set(0x0201, 3, 1);
    c.registers.set(0xEDD7, 123, 2);
    c.registers.set(0xEDD5, 1342, 2);
    c.registers.set(0xEDBB, 3456, 2);
    c.registers.set(0xEDBC, 4570, 2);
    c.registers.set(0xEDDB, static_cast<std::uint16_t>(-512), 2);
    c.registers.set(0xEDDA, 0, 1);
    c.registers.set(0xEDA8, 1, 1);
    c.registers.set(0xEDAD, 7, 2);
    c.changeBeforeRow = [](FakeRegisters& r, int row) {
        r.set(0x0201, row == 2 ? 255 : 3 + row, 1);
        r.set(0xEDD7, 123 + row * 11, 2);
    };
    return c;
}

Charger channelsCharger() {
    Charger c;
    c.identity = identityOf("Alder 15A mid", "HQ1900XYZ", 0xA042);
    c.info = plainCharger(0xA042);
    c.registers.set(0xEE80, 13450, 4);
    c.registers.set(0xEE81, static_cast<std::uint32_t>(-250), 4);
    c.registers.set(0xEE82, 35125, 4);
    c.registers.set(0xEDDB, 2530, 2);
    c.changeBeforeRow = [](FakeRegisters& r, int row) { r.set(0xEE85, 1000 * row, 4); };
    return c;
}

// A record's bytes from its fields, each a number and its width in bytes.
std::vector<std::uint8_t> recordOf(const std::vector<std::pair<std::uint32_t, unsigned>>& fields) {
    std::vector<std::uint8_t> record;
    for (const auto& field : fields)
        for (std::uint8_t byte : littleEndian(field.first, field.second)) record.push_back(byte);
    return record;
}

// Reserved, yield, consumed, Vbat max and min, reserved, four error bytes,
// bulk, absorption, float (none), Pmax, Ibat max, Vpnl max, day number.
std::vector<std::uint8_t> dayRecord(std::uint32_t yield, std::uint16_t dayNumber) {
    return recordOf({{0, 1}, {yield, 4}, {25, 4}, {1444, 2}, {1210, 2}, {0, 1}, {0, 4}, {60, 2}, {120, 2},
                     {0xFFFF, 2}, {420, 4}, {153, 2}, {4010, 2}, {dayNumber, 2}});
}

// Version 1, reserved, four error bytes, user and system yield, Vpnl max,
// Vbat max, days, Vbat min.
std::vector<std::uint8_t> totalRecord(std::uint32_t yield) {
    return recordOf({{1, 1}, {0, 1}, {0, 4}, {yield, 4}, {yield, 4}, {4510, 2}, {1460, 2}, {45, 1}, {1190, 2}});
}

// A mixed-table charger with history records, solar timer and a real-time
// clock: TEXT brings the live values, HEX the rest and the records. Day 1
// changes at the third row, today's yield at every row.
Charger historyCharger() {
    Charger c;
    c.identity = identityOf("Alder 32A high s3", "HQ2201QWERT", 0xA058);
    c.info = plainCharger(0xA058);
    c.info.appVersion = 0x117;
    c.info.hasLoadOutput = c.info.hasLoadCurrent = c.info.hasSolarTimer = true;
    c.info.hasHistorySupport = true;
    c.info.historyVersion = 6;
    c.registers.set(0xEDDB, 1875, 2);
    c.registers.set(0x2030, 1, 1);
    c.registers.set(0x2031, 750, 2);
    c.registers.set(0xEDA6, 80, 1);
    c.registers.values[kHistoryTotalRegister] = totalRecord(45678);
    c.registers.values[kHistoryDay0Register + 1] = dayRecord(1010, 43);
    c.changeBeforeRow = [](FakeRegisters& r, int row) {
        r.values[kHistoryDay0Register] = dayRecord(1000 + 5 * row, 44);
        if (row == 2) r.values[kHistoryDay0Register + 1] = dayRecord(1020, 43);
    };
    c.textBeforeRow = [](DumpTable& table, int row) {
        if (row == 1) return;  // one row without TEXT: the values are still fresh
        table.onText("CS", "5");
        table.onText("I", std::to_string(4200 + row));
        table.onText("V", "13650");
        table.onText("VPV", "38120");
        table.onText("PPV", "57");
        table.onText("ERR", "0");
        table.onText("LOAD", row ? "OFF" : "ON");
        table.onText("IL", "1300");
    };
    return c;
}

// An older mixed-table charger that reports its history by TEXT alone and
// is a release candidate; the rtc columns never answer. Its second row
// brings an unknown state and a panel voltage that is not a number.
Charger textHistoryCharger() {
    Charger c;
    c.identity = identityOf("Alder 28A mid", "HQ1700OLD", 0xA044);
    c.info = plainCharger(0xA044);
    c.info.appVersion = 0x116;
    c.info.releaseCandidate = true;
    c.info.hasSolarTimer = c.info.hasLoadOutput = true;
    c.info.hasHistorySupport = true;
    c.info.historyVersion = 4;
    c.registers.set(0xEDDB, static_cast<std::uint16_t>(-150), 2);
    c.registers.set(0x2030, 0, 1);
    c.registers.set(0x2031, 1500, 2);  // beyond a day: no clock time
    c.textBeforeRow = [](DumpTable& table, int row) {
        table.onText("cs", row ? "42" : "3");
        table.onText("V", "12800");
        table.onText("I", "-1500");
        table.onText("VPV", row ? "nan" : "10");
        table.onText("PPV", "0");
        table.onText("LOAD", "ON");
        table.onText("H19", std::to_string(12345 + row));
        table.onText("H20", "150");
        table.onText("H21", "220");
        table.onText("H22", "310");
        table.onText("H23", "280");
    };
    return c;
}

// The charger with a table of its own (all values read by HEX).
Charger hexTableCharger() {
    Charger c;
    c.identity = identityOf("Elm 64A high", "HQ1500HEX", 0x0300);
    c.info = plainCharger(kHexTableDeviceId);
    c.registers.set(0x0201, 4, 1);
    c.registers.set(0xEDD7, 55, 2);
    c.registers.set(0xEDD5, 1333, 2);
    c.registers.set(0xEDBB, 1800, 2);
    c.registers.set(0xEDBC, 0, 2);
    c.registers.set(0xEDDB, 2200, 2);
    c.registers.set(0xEDDA, 2, 1);
    return c;
}

struct GoldenTable {
    Charger (*charger)();
    DumpVariant variant;
    int rows;
};

struct GoldenCase {
    const char* name;  // of the files
    bool appended;
    std::vector<GoldenTable> tables;
};

// Names a case in test listings by its files, not by its bytes.
void PrintTo(const GoldenCase& c, std::ostream* out) { *out << c.name; }

const GoldenCase kGoldenCases[] = {
    {"fast", false, {{fastCharger, DumpVariant::fast, 3}}},
    {"channels", false, {{channelsCharger, DumpVariant::channels, 3}}},
    {"full_history", false, {{historyCharger, DumpVariant::full, 4}}},
    {"full_text_history", false, {{textHistoryCharger, DumpVariant::full, 2}}},
    {"full_hex_table", false, {{hexTableCharger, DumpVariant::full, 2}}},
    // Appended to an output that held rows: no header, and none after the
    // same device comes back.
    {"appended", true, {{fastCharger, DumpVariant::fast, 2}, {fastCharger, DumpVariant::fast, 2}}},
    {"device_change", false, {{historyCharger, DumpVariant::full, 2}, {textHistoryCharger, DumpVariant::full, 2}}},
};

class GoldenOutputs : public testing::TestWithParam<GoldenCase> {
protected:
    LogCapture log_;  // expected failures of absent registers stay out of the test's output
};

TEST_P(GoldenOutputs, AreByteIdentical) {
    const GoldenCase& c = GetParam();
    GoldenRun run(c.appended);
    for (const GoldenTable& table : c.tables) {
        Charger charger = table.charger();
        run.table(charger, table.variant, table.rows);
    }
    expectGolden(std::string(c.name) + ".csv", run.csv());
    expectGolden(std::string(c.name) + ".jsonl", run.json());
    expectGolden(std::string(c.name) + ".mqtt", run.mqtt());
}

INSTANTIATE_TEST_SUITE_P(Tables, GoldenOutputs, testing::ValuesIn(kGoldenCases),
                         [](const testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

}  // namespace
