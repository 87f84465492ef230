#include <sstream>

#include <gtest/gtest.h>

#include "dumper/table_items.h"
#include "output/csv_table_writer.h"
#include "dumper/dump_table.h"
#include "dumper/history_records.h"
#include "fields/device_scales.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using dumper_test::plainCharger;

std::string headerLine(DumpVariant variant, const DeviceInfo& info) {
    return csvHeader(DumpTable(tableItems(variant, info)).columns()) + "\n";
}

DeviceInfo hexDevice() { return plainCharger(kHexTableDeviceId); }

DeviceInfo withFirmware(DeviceInfo info, std::uint16_t appVersion) {
    info.appVersion = appVersion;
    return info;
}

DeviceInfo withLoad(DeviceInfo info, bool loadCurrent) {
    info.hasLoadOutput = true;
    info.hasLoadCurrent = loadCurrent;
    return info;
}

DeviceInfo with(DeviceInfo info, bool DeviceInfo::*flag) {
    info.*flag = true;
    return info;
}

DeviceInfo withTimer(DeviceInfo info) { return with(info, &DeviceInfo::hasSolarTimer); }
DeviceInfo candidate(DeviceInfo info) { return with(info, &DeviceInfo::releaseCandidate); }

DeviceInfo withHistory(DeviceInfo info, std::uint8_t version) {
    info.hasHistorySupport = true;
    info.historyVersion = version;
    return info;
}

const std::string kFastBase = "Timestamp,State,Ichr[A],Vchr[V],Vpnl[V],Ppnl[W],Temp[C],Err";
const std::string kFullBase = "Timestamp,State,Ibat[A],Vbat[V],Vpnl[V],Ppnl[W],Temp[C],Err";

// Every register the tables read has its scale, in the unit its column shows.
TEST(ChannelTables, RegistersCountInTheirColumnsUnit) {
    DeviceInfo everything = candidate(withTimer(withLoad(withFirmware(withHistory(plainCharger(), 4), 0x116), true)));
    everything.hasPanelCurrent = true;
    for (DeviceInfo info : {everything, hexDevice()})
        for (DumpVariant variant : {DumpVariant::full, DumpVariant::fast, DumpVariant::channels})
            for (const DumpItem& item : tableItems(variant, info)) {
                if (item.registerId < 0 || !item.field || !item.field->unit) continue;
                const RegisterScale& scale = registerScale(static_cast<std::uint16_t>(item.registerId));
                EXPECT_STREQ(scale.hex.unit, item.field->unit->symbol) << item.field->key;
                EXPECT_STREQ(scale.text.unit, item.field->unit->symbol) << item.field->key;
            }
}

struct HeaderCase {
    const char* legend;
    DumpVariant variant;
    DeviceInfo info;
    std::string expected;
};

TEST(ChannelTables, HeadersInPrintOrder) {
    const HeaderCase cases[] = {
        {"channels", DumpVariant::channels, plainCharger(), "Vout,Iout1,Iout2,Vpanel,Temp"},
        {"channels ignore capabilities", DumpVariant::channels, withLoad(withHistory(plainCharger(), 6), true),
         "Vout,Iout1,Iout2,Vpanel,Temp"},
        {"fast, plain", DumpVariant::fast, plainCharger(), kFastBase},
        {"fast, panel current", DumpVariant::fast, with(plainCharger(), &DeviceInfo::hasPanelCurrent),
         "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err"},
        {"fast, load on firmware 0x111", DumpVariant::fast, withFirmware(withLoad(plainCharger(), true), 0x111),
         kFastBase},
        {"fast, load on firmware 0x112", DumpVariant::fast, withFirmware(withLoad(plainCharger(), false), 0x112),
         kFastBase + ",Load"},
        {"fast, load current on firmware 0x112", DumpVariant::fast,
         withFirmware(withLoad(plainCharger(), true), 0x112), kFastBase + ",Load,Iload[A]"},
        {"0x0300", DumpVariant::full, hexDevice(), kFullBase},
        {"0x0300, load on firmware 0x111", DumpVariant::full, withFirmware(withLoad(hexDevice(), true), 0x111),
         kFullBase},
        {"0x0300, load current on firmware 0x112", DumpVariant::full,
         withFirmware(withLoad(hexDevice(), true), 0x112), kFullBase + ",Load,Iload[A]"},
        {"0x0300 ends the table: no history, no clock", DumpVariant::full,
         withFirmware(withTimer(candidate(withHistory(hexDevice(), 4))), 0x116), kFullBase},
        {"mixed, plain", DumpVariant::full, plainCharger(), kFullBase},
        {"mixed, load without current", DumpVariant::full, withLoad(plainCharger(), false), kFullBase + ",Load"},
        {"mixed, load with current", DumpVariant::full, withLoad(plainCharger(), true),
         kFullBase + ",Load,Iload[A]"},
        {"mixed, load current without load output", DumpVariant::full,
         with(plainCharger(), &DeviceInfo::hasLoadCurrent), kFullBase},
        {"mixed, firmware 0x115 has no clock", DumpVariant::full, withFirmware(plainCharger(), 0x115), kFullBase},
        {"mixed, firmware 0x116", DumpVariant::full, withFirmware(plainCharger(), 0x116), kFullBase + ",RtcState"},
        {"mixed, solar timer with load", DumpVariant::full, withFirmware(withTimer(withLoad(plainCharger(), false)), 0x116),
         kFullBase + ",RtcState,RtcTime,Load,Light[%]"},
        {"mixed, solar timer without load", DumpVariant::full, withFirmware(withTimer(plainCharger()), 0x116),
         kFullBase + ",RtcState,Light[%]"},
        {"mixed, solar timer on old firmware", DumpVariant::full, withTimer(withLoad(plainCharger(), false)),
         kFullBase + ",Load,Light[%]"},
        {"mixed, release candidate with solar timer", DumpVariant::full, candidate(withTimer(plainCharger())),
         kFullBase + ",Light[%],rtcStratum,rtcTonExpected,rtcToffExpected,rtcOffTime,rtcOnTime"},
        {"mixed, release candidate without solar timer", DumpVariant::full, candidate(plainCharger()),
         kFullBase + ",rtcOffTime,rtcOnTime"},
        {"history version 4", DumpVariant::full, withHistory(plainCharger(), 4),
         kFullBase + ",Yield_user[kWh],Yield_today[kWh],Pmax_today[W],Yield_yesterday[kWh],Pmax_yesterday[W]"},
        {"history version 5", DumpVariant::full, withHistory(plainCharger(), 5), kFullBase},
        {"history version 6 without history support", DumpVariant::full,
         [] {
             DeviceInfo info = plainCharger();
             info.historyVersion = 6;
             return info;
         }(),
         kFullBase},
    };
    for (const HeaderCase& c : cases) EXPECT_EQ(headerLine(c.variant, c.info), c.expected + "\n") << c.legend;
}

TEST(ChannelTables, HistoryRecordsFromVersion6) {
    for (std::uint8_t version : {6, 7}) {
        std::string header = headerLine(DumpVariant::full, withHistory(plainCharger(), version));
        std::string expectedStart =
            kFullBase + ",Err[0],Err[1],Err[2],Err[3],Yield_user[kWh],Yield_sys[kWh],Vpnl_max[V],Vbat_max[V],"
                        "#Days,Vbat_min[V],Day0Yield[kWh],";
        EXPECT_EQ(header.substr(0, expectedStart.size()), expectedStart);
        EXPECT_EQ(header.substr(header.size() - 11), ",Day30Day#\n");
        EXPECT_EQ(dumper_test::splitFields(header).size(), 8u + 10u + 31u * 15u);
    }
}

TEST(ChannelTables, HistoryRecordItemsAreReadByHex) {
    auto items = tableItems(DumpVariant::full, withHistory(plainCharger(), 6));
    std::vector<int> records;
    for (const DumpItem& item : items)
        if (item.type == DumpItem::RAW && item.hexRegister() != -1) records.push_back(item.hexRegister());
    ASSERT_EQ(records.size(), 32u);
    EXPECT_EQ(records.front(), 0x104F);
    for (int day = 0; day <= 30; ++day) EXPECT_EQ(records[1 + day], 0x1050 + day);
}

struct SourceRow {
    const char* header;
    int hexRegister;
    const char* textLabel;
};

// Which items the mixed table reads by HEX and which it takes from TEXT.
TEST(ChannelTables, MixedTableSources) {
    DeviceInfo info = withFirmware(withTimer(candidate(withLoad(plainCharger(), true))), 0x116);
    const SourceRow expected[] = {
        {"Timestamp", -1, ""},           {"Custom State", -1, ""},    {"State", -1, "CS"},
        {"Ibat[A]", -1, "I"},            {"Vbat[V]", -1, "V"},        {"Vpnl[V]", -1, "VPV"},
        {"Ppnl[W]", -1, "PPV"},          {"Temp[C]", 0xEDDB, ""},     {"Err", -1, "ERR"},
        {"RtcState", 0x2030, ""},        {"RtcTime", 0x2031, ""},     {"Load", -1, "LOAD"},
        {"Iload[A]", -1, "IL"},          {"Light[%]", 0xEDA6, ""},    {"rtcStratum", 0xED96, ""},
        {"rtcTonExpected", 0xED95, ""},  {"rtcToffExpected", 0xED94, ""}, {"rtcOffTime", 0xED93, ""},
        {"rtcOnTime", 0xED92, ""},
    };
    auto items = tableItems(DumpVariant::full, info);
    ASSERT_EQ(items.size(), std::size(expected));
    auto item = items.begin();
    for (const SourceRow& row : expected) {
        EXPECT_EQ(item->header, row.header);
        EXPECT_EQ(item->hexRegister(), row.hexRegister) << row.header;
        EXPECT_EQ(item->textLabel, row.textLabel) << row.header;
        ++item;
    }
}

}  // namespace
