// The charger's history records: a total record and 31 day records, each
// read as one RAW register answer and printed as a group of columns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dumper/dump_item.h"
#include "fields/field_catalogue.h"

namespace tessline {

constexpr std::uint16_t kHistoryTotalRegister = 0x104F;
constexpr std::uint16_t kHistoryDay0Register = 0x1050;
constexpr int kHistoryDays = kDayRecords;  // day 0 (today) to day 30

// The columns of the total record and of day `day`, with their catalogue
// fields; their headers one by one and comma-joined (the item's header).
std::vector<TableColumn> historyTotalColumns();
std::vector<TableColumn> historyDayColumns(int day);
std::vector<std::string> historyTotalHeaders();
std::vector<std::string> historyDayHeaders(int day);
std::string historyTotalHeader();
std::string historyDayHeader(int day);

// Decode the item's stored answer afresh on every call; a field beyond the
// end of a short record, or equal to its none pattern, is missing.
std::vector<TableCell> formatHistoryTotal(DumpItem& item);
std::vector<TableCell> formatHistoryDay(DumpItem& item);

}  // namespace tessline
