#include "dumper/table_items.h"

#include "dumper/history_records.h"
#include "dumper/value_format.h"
#include "fields/field_catalogue.h"

namespace tessline {

namespace {

using ParserFn = void (*)(DumpItem&, const std::string&);
using Condition = bool (*)(const DeviceInfo&);

constexpr std::uint8_t kNoFlags = 0;
constexpr std::uint8_t kHex = DumpItem::HEX_REGISTER;
constexpr std::uint8_t kHidden = DumpItem::HIDDEN;

// One table row: a live field of the catalogue (which says how it prints)
// and where its value comes from. A null label, parser or condition means none.
struct ChannelRow {
    const char* key;
    std::int32_t registerId;
    const char* textLabel;
    std::uint8_t flags;
    std::uint8_t type;
    ParserFn parser;
    Condition condition;
};

bool newFirmwareLoad(const DeviceInfo& d) { return d.appVersion >= 0x112 && d.hasLoadOutput; }
bool newFirmwareLoadCurrent(const DeviceInfo& d) { return newFirmwareLoad(d) && d.hasLoadCurrent; }
bool panelCurrent(const DeviceInfo& d) { return d.hasPanelCurrent; }
bool realTimeClock(const DeviceInfo& d) { return d.appVersion >= 0x116; }
bool solarTimerClock(const DeviceInfo& d) { return d.hasLoadOutput && realTimeClock(d) && d.hasSolarTimer; }
bool loadOutput(const DeviceInfo& d) { return d.hasLoadOutput; }
bool loadCurrent(const DeviceInfo& d) { return d.hasLoadOutput && d.hasLoadCurrent; }
bool solarTimer(const DeviceInfo& d) { return d.hasSolarTimer; }
bool candidateTimer(const DeviceInfo& d) { return d.releaseCandidate && d.hasSolarTimer; }
bool candidate(const DeviceInfo& d) { return d.releaseCandidate; }

const ChannelRow kChannelsRows[] = {
    {"vout", 0xEE80, nullptr, kHex, DumpItem::S32, parseThousandths, nullptr},
    {"iout1", 0xEE81, nullptr, kHex, DumpItem::S32, parseThousandths, nullptr},
    {"iout2", 0xEE85, nullptr, kHex, DumpItem::S32, parseThousandths, nullptr},
    {"vpanel", 0xEE82, nullptr, kHex, DumpItem::S32, parseThousandths, nullptr},
    {"temp", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, nullptr},
};

const ChannelRow kFastRows[] = {
    {"timestamp", -1, nullptr, kNoFlags, DumpItem::RAW, nullptr, nullptr},
    {"state", 0x0201, nullptr, kHex, DumpItem::U8, parseNumber, nullptr},
    {"ichr_a", 0xEDD7, nullptr, kHex, DumpItem::U16, parseTenths, nullptr},
    {"vchr_v", 0xEDD5, nullptr, kHex, DumpItem::U16, parseHundredths, nullptr},
    {"ipnl_a", 0xEDBD, nullptr, kHex, DumpItem::U16, parseTenths, panelCurrent},
    {"vpnl_v", 0xEDBB, nullptr, kHex, DumpItem::U16, parseHundredths, nullptr},
    {"ppnl_w", 0xEDBC, nullptr, kHex, DumpItem::U16, parseHundredths, nullptr},
    {"temp_c", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, nullptr},
    {"err", 0xEDDA, nullptr, kHex, DumpItem::U8, parseNumber, nullptr},
    {"load", 0xEDA8, nullptr, kHex, DumpItem::U8, parseNumber, newFirmwareLoad},
    {"iload_a", 0xEDAD, nullptr, kHex, DumpItem::U16, parseTenths, newFirmwareLoadCurrent},
};

const ChannelRow kFullHeadRows[] = {
    {"timestamp", -1, nullptr, kNoFlags, DumpItem::RAW, nullptr, nullptr},
    // Neither TEXT-fed nor read: it never has a value and never prints.
    {"customstate", 0xEDD4, nullptr, kHidden, DumpItem::U8, nullptr, nullptr},
};

const ChannelRow kHexDeviceRows[] = {
    {"state", 0x0201, "CS", kHex, DumpItem::U8, parseNumber, nullptr},
    {"ibat_a", 0xEDD7, "I", kHex, DumpItem::U16, parseTenths, nullptr},
    {"vbat_v", 0xEDD5, "V", kHex, DumpItem::U16, parseHundredths, nullptr},
    {"vpnl_v", 0xEDBB, "VPV", kHex, DumpItem::U16, parseHundredths, nullptr},
    {"ppnl_w", 0xEDBC, "PPV", kHex, DumpItem::U16, parseHundredths, nullptr},
    {"temp_c", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, nullptr},
    {"err", 0xEDDA, "ERR", kHex, DumpItem::U8, parseNumber, nullptr},
    {"load", 0xEDA8, nullptr, kHex, DumpItem::U8, parseNumber, newFirmwareLoad},
    {"iload_a", 0xEDAD, nullptr, kHex, DumpItem::U16, parseTenths, newFirmwareLoadCurrent},
};

// Items without HEX_REGISTER carry their register id but take TEXT alone.
const ChannelRow kMixedRows[] = {
    {"state", 0x0201, "CS", kNoFlags, DumpItem::U8, parseNumber, nullptr},
    {"ibat_a", 0xEDD7, "I", kNoFlags, DumpItem::U16, parseThousandths, nullptr},
    {"vbat_v", 0xEDD5, "V", kNoFlags, DumpItem::U16, parseThousandths, nullptr},
    {"vpnl_v", 0xEDBB, "VPV", kNoFlags, DumpItem::U16, parseThousandths, nullptr},
    // PPV is the one TEXT value in whole units (watts), not milli-units.
    {"ppnl_w", 0xEDBC, "PPV", kNoFlags, DumpItem::U16, parseNumber, nullptr},
    {"temp_c", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, nullptr},
    {"err", 0xEDDA, "ERR", kNoFlags, DumpItem::U8, parseNumber, nullptr},
    {"rtcstate", 0x2030, nullptr, kHex, DumpItem::U8, parseNumber, realTimeClock},
    {"rtctime", 0x2031, nullptr, kHex, DumpItem::U16, parseNumber, solarTimerClock},
    {"load", 0xEDA8, "LOAD", kNoFlags, DumpItem::U8, parseOnOff, loadOutput},
    {"iload_a", 0xEDAD, "IL", kNoFlags, DumpItem::U16, parseThousandths, loadCurrent},
    {"light_pct", 0xEDA6, nullptr, kHex, DumpItem::U8, parseNumber, solarTimer},
    {"rtcstratum", 0xED96, nullptr, kHex, DumpItem::U8, parseNumber, candidateTimer},
    {"rtctonexpected", 0xED95, nullptr, kHex, DumpItem::U16, parseNumber, candidateTimer},
    {"rtctoffexpected", 0xED94, nullptr, kHex, DumpItem::U16, parseNumber, candidateTimer},
    {"rtcofftime", 0xED93, nullptr, kHex, DumpItem::U16, parseNumber, candidate},
    {"rtcontime", 0xED92, nullptr, kHex, DumpItem::U16, parseNumber, candidate},
};

// Chargers before history version 5 report their history by TEXT only.
const ChannelRow kTextHistoryRows[] = {
    {"yield_user_kwh", 0xEDDC, "H19", kNoFlags, DumpItem::U32, parseHundredths, nullptr},
    {"yield_today_kwh", 0xEDD3, "H20", kNoFlags, DumpItem::U16, parseHundredths, nullptr},
    {"pmax_today_w", 0xEDD2, "H21", kNoFlags, DumpItem::U16, parseNumber, nullptr},
    {"yield_yesterday_kwh", 0xEDD1, "H22", kNoFlags, DumpItem::U16, parseHundredths, nullptr},
    {"pmax_yesterday_w", 0xEDD0, "H23", kNoFlags, DumpItem::U16, parseNumber, nullptr},
};

constexpr std::uint8_t kFirstRecordHistoryVersion = 6;
constexpr std::uint8_t kFirstVersionWithoutTextHistory = 5;

template <std::size_t N>
void appendRows(std::list<DumpItem>& items, const ChannelRow (&rows)[N], const DeviceInfo& info) {
    for (const ChannelRow& row : rows) {
        if (row.condition && !row.condition(info)) continue;
        items.emplace_back(catalogueField(Record::live, row.key), row.registerId, row.textLabel ? row.textLabel : "",
                           row.flags, row.type, row.parser);
    }
}

void appendHistoryRecords(std::list<DumpItem>& items) {
    items.emplace_back(kHistoryTotalRegister, kHex, historyTotalHeader(), formatHistoryTotal);
    for (int day = 0; day < kHistoryDays; ++day)
        items.emplace_back(kHistoryDay0Register + day, kHex, historyDayHeader(day), formatHistoryDay);
}

void appendHistory(std::list<DumpItem>& items, const DeviceInfo& info) {
    if (!info.hasHistorySupport) return;
    if (info.historyVersion >= kFirstRecordHistoryVersion) appendHistoryRecords(items);
    else if (info.historyVersion < kFirstVersionWithoutTextHistory) appendRows(items, kTextHistoryRows, info);
}

std::list<DumpItem> fullTable(const DeviceInfo& info) {
    std::list<DumpItem> items;
    appendRows(items, kFullHeadRows, info);
    if (info.deviceId == kHexTableDeviceId) {
        appendRows(items, kHexDeviceRows, info);
        return items;
    }
    appendRows(items, kMixedRows, info);
    appendHistory(items, info);
    return items;
}

}  // namespace

std::list<DumpItem> tableItems(DumpVariant variant, const DeviceInfo& info) {
    std::list<DumpItem> items;
    switch (variant) {
    case DumpVariant::channels: appendRows(items, kChannelsRows, info); break;
    case DumpVariant::fast: appendRows(items, kFastRows, info); break;
    case DumpVariant::full: items = fullTable(info); break;
    }
    return items;
}

}  // namespace tessline
