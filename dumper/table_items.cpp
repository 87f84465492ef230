#include "dumper/table_items.h"

#include "dumper/history_records.h"
#include "dumper/value_format.h"

namespace tessline {

namespace {

using ParserFn = void (*)(DumpItem&, const std::string&);
using FormatterFn = TableCell (*)(DumpItem&);
using Condition = bool (*)(const DeviceInfo&);

constexpr std::uint8_t kNoFlags = 0;
constexpr std::uint8_t kHex = DumpItem::HEX_REGISTER;
constexpr std::uint8_t kHidden = DumpItem::HIDDEN;

// One table row; a null label, parser, formatter or condition means none.
struct ChannelRow {
    const char* header;
    std::int32_t registerId;
    const char* textLabel;
    std::uint8_t flags;
    std::uint8_t type;
    ParserFn parser;
    FormatterFn formatter;
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
    {"Vout", 0xEE80, nullptr, kHex, DumpItem::S32, parseThousandths, formatFixed3, nullptr},
    {"Iout1", 0xEE81, nullptr, kHex, DumpItem::S32, parseThousandths, formatFixed3, nullptr},
    {"Iout2", 0xEE85, nullptr, kHex, DumpItem::S32, parseThousandths, formatFixed3, nullptr},
    {"Vpanel", 0xEE82, nullptr, kHex, DumpItem::S32, parseThousandths, formatFixed3, nullptr},
    {"Temp", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, formatFixed1, nullptr},
};

const ChannelRow kFastRows[] = {
    {"Timestamp", -1, nullptr, kNoFlags, DumpItem::RAW, nullptr, formatNow, nullptr},
    {"State", 0x0201, nullptr, kHex, DumpItem::U8, parseNumber, formatState, nullptr},
    {"Ichr[A]", 0xEDD7, nullptr, kHex, DumpItem::U16, parseTenths, formatFixed1, nullptr},
    {"Vchr[V]", 0xEDD5, nullptr, kHex, DumpItem::U16, parseHundredths, formatFixed2, nullptr},
    {"Ipnl[A]", 0xEDBD, nullptr, kHex, DumpItem::U16, parseTenths, formatFixed1, panelCurrent},
    {"Vpnl[V]", 0xEDBB, nullptr, kHex, DumpItem::U16, parseHundredths, formatFixed1, nullptr},
    {"Ppnl[W]", 0xEDBC, nullptr, kHex, DumpItem::U16, parseHundredths, formatFixed1, nullptr},
    {"Temp[C]", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, formatFixed1, nullptr},
    {"Err", 0xEDDA, nullptr, kHex, DumpItem::U8, parseNumber, formatInt, nullptr},
    {"Load", 0xEDA8, nullptr, kHex, DumpItem::U8, parseNumber, formatOnOff, newFirmwareLoad},
    {"Iload[A]", 0xEDAD, nullptr, kHex, DumpItem::U16, parseTenths, formatFixed1, newFirmwareLoadCurrent},
};

const ChannelRow kFullHeadRows[] = {
    {"Timestamp", -1, nullptr, kNoFlags, DumpItem::RAW, nullptr, formatNow, nullptr},
    // Neither TEXT-fed nor read: it never has a value and never prints.
    {"Custom State", 0xEDD4, nullptr, kHidden, DumpItem::U8, nullptr, nullptr, nullptr},
};

const ChannelRow kHexDeviceRows[] = {
    {"State", 0x0201, "CS", kHex, DumpItem::U8, parseNumber, formatState, nullptr},
    {"Ibat[A]", 0xEDD7, "I", kHex, DumpItem::U16, parseTenths, formatFixed1, nullptr},
    {"Vbat[V]", 0xEDD5, "V", kHex, DumpItem::U16, parseHundredths, formatFixed2, nullptr},
    {"Vpnl[V]", 0xEDBB, "VPV", kHex, DumpItem::U16, parseHundredths, formatFixed1, nullptr},
    {"Ppnl[W]", 0xEDBC, "PPV", kHex, DumpItem::U16, parseHundredths, formatFixed1, nullptr},
    {"Temp[C]", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, formatFixed1, nullptr},
    {"Err", 0xEDDA, "ERR", kHex, DumpItem::U8, parseNumber, formatInt, nullptr},
    {"Load", 0xEDA8, nullptr, kHex, DumpItem::U8, parseNumber, formatOnOff, newFirmwareLoad},
    {"Iload[A]", 0xEDAD, nullptr, kHex, DumpItem::U16, parseTenths, formatFixed1, newFirmwareLoadCurrent},
};

// Items without HEX_REGISTER carry their register id but take TEXT alone.
const ChannelRow kMixedRows[] = {
    {"State", 0x0201, "CS", kNoFlags, DumpItem::U8, parseNumber, formatState, nullptr},
    {"Ibat[A]", 0xEDD7, "I", kNoFlags, DumpItem::U16, parseThousandths, formatFixed1, nullptr},
    {"Vbat[V]", 0xEDD5, "V", kNoFlags, DumpItem::U16, parseThousandths, formatFixed2, nullptr},
    {"Vpnl[V]", 0xEDBB, "VPV", kNoFlags, DumpItem::U16, parseThousandths, formatFixed1, nullptr},
    // PPV is the one TEXT value in whole units (watts), not milli-units.
    {"Ppnl[W]", 0xEDBC, "PPV", kNoFlags, DumpItem::U16, parseNumber, formatFixed1, nullptr},
    {"Temp[C]", 0xEDDB, nullptr, kHex, DumpItem::S16, parseHundredths, formatFixed1, nullptr},
    {"Err", 0xEDDA, "ERR", kNoFlags, DumpItem::U8, parseNumber, formatInt, nullptr},
    {"RtcState", 0x2030, nullptr, kHex, DumpItem::U8, parseNumber, formatDayNight, realTimeClock},
    {"RtcTime", 0x2031, nullptr, kHex, DumpItem::U16, parseNumber, formatClock, solarTimerClock},
    {"Load", 0xEDA8, "LOAD", kNoFlags, DumpItem::U8, parseOnOff, formatOnOff, loadOutput},
    {"Iload[A]", 0xEDAD, "IL", kNoFlags, DumpItem::U16, parseThousandths, formatFixed1, loadCurrent},
    {"Light[%]", 0xEDA6, nullptr, kHex, DumpItem::U8, parseNumber, formatInt, solarTimer},
    {"rtcStratum", 0xED96, nullptr, kHex, DumpItem::U8, parseNumber, formatInt, candidateTimer},
    {"rtcTonExpected", 0xED95, nullptr, kHex, DumpItem::U16, parseNumber, formatClock, candidateTimer},
    {"rtcToffExpected", 0xED94, nullptr, kHex, DumpItem::U16, parseNumber, formatClock, candidateTimer},
    {"rtcOffTime", 0xED93, nullptr, kHex, DumpItem::U16, parseNumber, formatClock, candidate},
    {"rtcOnTime", 0xED92, nullptr, kHex, DumpItem::U16, parseNumber, formatClock, candidate},
};

// Chargers before history version 5 report their history by TEXT only.
const ChannelRow kTextHistoryRows[] = {
    {"Yield_user[kWh]", 0xEDDC, "H19", kNoFlags, DumpItem::U32, parseHundredths, formatFixed1, nullptr},
    {"Yield_today[kWh]", 0xEDD3, "H20", kNoFlags, DumpItem::U16, parseHundredths, formatFixed1, nullptr},
    {"Pmax_today[W]", 0xEDD2, "H21", kNoFlags, DumpItem::U16, parseNumber, formatFixed0, nullptr},
    {"Yield_yesterday[kWh]", 0xEDD1, "H22", kNoFlags, DumpItem::U16, parseHundredths, formatFixed1, nullptr},
    {"Pmax_yesterday[W]", 0xEDD0, "H23", kNoFlags, DumpItem::U16, parseNumber, formatFixed0, nullptr},
};

constexpr std::uint8_t kFirstRecordHistoryVersion = 6;
constexpr std::uint8_t kFirstVersionWithoutTextHistory = 5;

template <std::size_t N>
void appendRows(std::list<DumpItem>& items, const ChannelRow (&rows)[N], const DeviceInfo& info) {
    for (const ChannelRow& row : rows) {
        if (row.condition && !row.condition(info)) continue;
        items.emplace_back(row.registerId, row.textLabel ? row.textLabel : "", row.flags, row.header, row.type,
                           row.parser, row.formatter);
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
