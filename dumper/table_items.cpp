#include "dumper/table_items.h"

#include "dumper/history_records.h"
#include "dumper/value_format.h"
#include "fields/field_catalogue.h"

namespace tessline {

namespace {

using Condition = bool (*)(const DeviceInfo&);

// How an item reads its value: as its register counts it (the HEX answer,
// and TEXT too on the charger that sends its registers' numbers), as its
// TEXT field counts it, "ON"/"OFF", or not at all.
enum class Reads { hexSteps, textSteps, onOff, nothing };
constexpr Reads kRegister = Reads::hexSteps;
constexpr Reads kText = Reads::textSteps;

constexpr std::uint8_t kNoFlags = 0;
constexpr std::uint8_t kHex = DumpItem::HEX_REGISTER;
constexpr std::uint8_t kHidden = DumpItem::HIDDEN;

// One table row: a live field of the catalogue (which says how it prints)
// and where its value comes from; the register's scales say how it counts.
// A null label or condition means none.
struct ChannelRow {
    const char* key;
    std::int32_t registerId;
    const char* textLabel;
    std::uint8_t flags;
    std::uint8_t type;
    Reads reads;
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
    {"vout", 0xEE80, nullptr, kHex, DumpItem::S32, kRegister, nullptr},
    {"iout1", 0xEE81, nullptr, kHex, DumpItem::S32, kRegister, nullptr},
    {"iout2", 0xEE85, nullptr, kHex, DumpItem::S32, kRegister, nullptr},
    {"vpanel", 0xEE82, nullptr, kHex, DumpItem::S32, kRegister, nullptr},
    {"temp", 0xEDDB, nullptr, kHex, DumpItem::S16, kRegister, nullptr},
};

const ChannelRow kFastRows[] = {
    {"timestamp", -1, nullptr, kNoFlags, DumpItem::RAW, Reads::nothing, nullptr},
    {"state", 0x0201, nullptr, kHex, DumpItem::U8, kRegister, nullptr},
    {"ichr_a", 0xEDD7, nullptr, kHex, DumpItem::U16, kRegister, nullptr},
    {"vchr_v", 0xEDD5, nullptr, kHex, DumpItem::U16, kRegister, nullptr},
    {"ipnl_a", 0xEDBD, nullptr, kHex, DumpItem::U16, kRegister, panelCurrent},
    {"vpnl_v", 0xEDBB, nullptr, kHex, DumpItem::U16, kRegister, nullptr},
    {"ppnl_w", 0xEDBC, nullptr, kHex, DumpItem::U16, kRegister, nullptr},
    {"temp_c", 0xEDDB, nullptr, kHex, DumpItem::S16, kRegister, nullptr},
    {"err", 0xEDDA, nullptr, kHex, DumpItem::U8, kRegister, nullptr},
    {"load", 0xEDA8, nullptr, kHex, DumpItem::U8, kRegister, newFirmwareLoad},
    {"iload_a", 0xEDAD, nullptr, kHex, DumpItem::U16, kRegister, newFirmwareLoadCurrent},
};

const ChannelRow kFullHeadRows[] = {
    {"timestamp", -1, nullptr, kNoFlags, DumpItem::RAW, Reads::nothing, nullptr},
    // Neither TEXT-fed nor read: it never has a value and never prints.
    {"customstate", 0xEDD4, nullptr, kHidden, DumpItem::U8, Reads::nothing, nullptr},
};

const ChannelRow kHexDeviceRows[] = {
    {"state", 0x0201, "CS", kHex, DumpItem::U8, kRegister, nullptr},
    {"ibat_a", 0xEDD7, "I", kHex, DumpItem::U16, kRegister, nullptr},
    {"vbat_v", 0xEDD5, "V", kHex, DumpItem::U16, kRegister, nullptr},
    {"vpnl_v", 0xEDBB, "VPV", kHex, DumpItem::U16, kRegister, nullptr},
    {"ppnl_w", 0xEDBC, "PPV", kHex, DumpItem::U16, kRegister, nullptr},
    {"temp_c", 0xEDDB, nullptr, kHex, DumpItem::S16, kRegister, nullptr},
    {"err", 0xEDDA, "ERR", kHex, DumpItem::U8, kRegister, nullptr},
    {"load", 0xEDA8, nullptr, kHex, DumpItem::U8, kRegister, newFirmwareLoad},
    {"iload_a", 0xEDAD, nullptr, kHex, DumpItem::U16, kRegister, newFirmwareLoadCurrent},
};

// Items without HEX_REGISTER carry their register id but take TEXT alone.
const ChannelRow kMixedRows[] = {
    {"state", 0x0201, "CS", kNoFlags, DumpItem::U8, kText, nullptr},
    {"ibat_a", 0xEDD7, "I", kNoFlags, DumpItem::U16, kText, nullptr},
    {"vbat_v", 0xEDD5, "V", kNoFlags, DumpItem::U16, kText, nullptr},
    {"vpnl_v", 0xEDBB, "VPV", kNoFlags, DumpItem::U16, kText, nullptr},
    {"ppnl_w", 0xEDBC, "PPV", kNoFlags, DumpItem::U16, kText, nullptr},
    {"temp_c", 0xEDDB, nullptr, kHex, DumpItem::S16, kRegister, nullptr},
    {"err", 0xEDDA, "ERR", kNoFlags, DumpItem::U8, kText, nullptr},
    {"rtcstate", 0x2030, nullptr, kHex, DumpItem::U8, kRegister, realTimeClock},
    {"rtctime", 0x2031, nullptr, kHex, DumpItem::U16, kRegister, solarTimerClock},
    {"load", 0xEDA8, "LOAD", kNoFlags, DumpItem::U8, Reads::onOff, loadOutput},
    {"iload_a", 0xEDAD, "IL", kNoFlags, DumpItem::U16, kText, loadCurrent},
    {"light_pct", 0xEDA6, nullptr, kHex, DumpItem::U8, kRegister, solarTimer},
    {"rtcstratum", 0xED96, nullptr, kHex, DumpItem::U8, kRegister, candidateTimer},
    {"rtctonexpected", 0xED95, nullptr, kHex, DumpItem::U16, kRegister, candidateTimer},
    {"rtctoffexpected", 0xED94, nullptr, kHex, DumpItem::U16, kRegister, candidateTimer},
    {"rtcofftime", 0xED93, nullptr, kHex, DumpItem::U16, kRegister, candidate},
    {"rtcontime", 0xED92, nullptr, kHex, DumpItem::U16, kRegister, candidate},
};

// Chargers before history version 5 report their history by TEXT only.
const ChannelRow kTextHistoryRows[] = {
    {"yield_user_kwh", 0xEDDC, "H19", kNoFlags, DumpItem::U32, kText, nullptr},
    {"yield_today_kwh", 0xEDD3, "H20", kNoFlags, DumpItem::U16, kText, nullptr},
    {"pmax_today_w", 0xEDD2, "H21", kNoFlags, DumpItem::U16, kText, nullptr},
    {"yield_yesterday_kwh", 0xEDD1, "H22", kNoFlags, DumpItem::U16, kText, nullptr},
    {"pmax_yesterday_w", 0xEDD0, "H23", kNoFlags, DumpItem::U16, kText, nullptr},
};

constexpr std::uint8_t kFirstRecordHistoryVersion = 6;
constexpr std::uint8_t kFirstVersionWithoutTextHistory = 5;

DumpItem::Parser parserOf(const ChannelRow& row) {
    switch (row.reads) {
    case Reads::hexSteps: return stepParser(hexScale(static_cast<std::uint16_t>(row.registerId)));
    case Reads::textSteps: return stepParser(textScale(static_cast<std::uint16_t>(row.registerId)));
    case Reads::onOff: return parseOnOff;
    case Reads::nothing: break;
    }
    return nullptr;
}

template <std::size_t N>
void appendRows(std::list<DumpItem>& items, const ChannelRow (&rows)[N], const DeviceInfo& info) {
    for (const ChannelRow& row : rows) {
        if (row.condition && !row.condition(info)) continue;
        items.emplace_back(catalogueField(Record::live, row.key), row.registerId, row.textLabel ? row.textLabel : "",
                           row.flags, row.type, parserOf(row));
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
