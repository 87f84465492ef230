#include "dumper/history_records.h"

#include "dumper/value_format.h"

namespace tessline {

namespace {

using FieldFormatter = TableCell (*)(DumpItem&);

// One field of a record layout; a field without a header is skipped.
struct RecordField {
    unsigned size;
    const char* header;
    double divisor;
    FieldFormatter format;
};

const RecordField kTotalFields[] = {
    {1, nullptr, 1, nullptr},  // record version, read on its own
    {1, nullptr, 1, nullptr},  // reserved
    {1, "Err[0]", 1, formatInt},
    {1, "Err[1]", 1, formatInt},
    {1, "Err[2]", 1, formatInt},
    {1, "Err[3]", 1, formatInt},
    {4, "Yield_user[kWh]", 100, formatFixed2},
    {4, "Yield_sys[kWh]", 100, formatFixed2},
    {2, "Vpnl_max[V]", 100, formatFixed1},
    {2, "Vbat_max[V]", 100, formatFixed2},
    {1, "#Days", 1, formatInt},
};
// Present from record version 1 on.
const RecordField kTotalVbatMin = {2, "Vbat_min[V]", 100, formatFixed2};

const RecordField kDayFields[] = {
    {1, nullptr, 1, nullptr},  // reserved
    {4, "Yield[kWh]", 100, formatFixed2},
    {4, "Cons[kWh]", 100, formatFixed2},
    {2, "Vbat_max[V]", 100, formatFixed2},
    {2, "Vbat_min[V]", 100, formatFixed2},
    {1, nullptr, 1, nullptr},  // reserved
    {1, "Err[0]", 1, formatInt},
    {1, "Err[1]", 1, formatInt},
    {1, "Err[2]", 1, formatInt},
    {1, "Err[3]", 1, formatInt},
    {2, "TimeBulk[min]", 1, formatInt},
    {2, "TimeAbs[min]", 1, formatInt},
    {2, "TimeFloat[min]", 1, formatInt},
    {4, "Pmax[W]", 1, formatInt},
    {2, "Ibat_max[A]", 10, formatFixed1},
    {2, "Vpnl_max[V]", 100, formatFixed1},
    {2, "Day#", 1, formatInt},
};

std::string joined(const std::vector<std::string>& headers) {
    std::string text;
    for (const std::string& header : headers) text += (text.empty() ? "" : ",") + header;
    return text;
}

std::uint32_t nonePattern(unsigned size) { return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }

// Reads one field and returns its cell; the caller leaves out a field
// without a header.
TableCell readField(const RecordField& field, HexMsg& record, std::int64_t updatedAt) {
    std::uint32_t number = record.readValue(field.size);
    if (!field.header || record.failed() || number == nonePattern(field.size)) return missingCell();
    DumpItem column;
    column.value = number / field.divisor;
    column.updatedAt = updatedAt;
    return field.format(column);
}

template <std::size_t N>
std::vector<TableCell> readFields(const RecordField (&fields)[N], HexMsg& record, std::int64_t updatedAt) {
    std::vector<TableCell> cells;
    for (const RecordField& field : fields) {
        TableCell cell = readField(field, record, updatedAt);
        if (field.header) cells.push_back(std::move(cell));
    }
    return cells;
}

}  // namespace

std::vector<std::string> historyTotalHeaders() {
    std::vector<std::string> headers;
    for (const RecordField& field : kTotalFields)
        if (field.header) headers.push_back(field.header);
    headers.push_back(kTotalVbatMin.header);
    return headers;
}

std::vector<std::string> historyDayHeaders(int day) {
    std::vector<std::string> headers;
    std::string prefix = "Day" + std::to_string(day);
    for (const RecordField& field : kDayFields)
        if (field.header) headers.push_back(prefix + field.header);
    return headers;
}

std::string historyTotalHeader() { return joined(historyTotalHeaders()); }

std::string historyDayHeader(int day) { return joined(historyDayHeaders(day)); }

std::vector<TableCell> formatHistoryTotal(DumpItem& item) {
    HexMsg record = answerValueBytes(item.raw);
    std::uint8_t version = record.readU8();
    bool hasVersion = !record.failed();
    record.rewind();
    std::vector<TableCell> cells = readFields(kTotalFields, record, item.updatedAt);
    bool hasVbatMin = hasVersion && version >= 1;
    cells.push_back(hasVbatMin ? readField(kTotalVbatMin, record, item.updatedAt) : missingCell());
    return cells;
}

std::vector<TableCell> formatHistoryDay(DumpItem& item) {
    HexMsg record = answerValueBytes(item.raw);
    return readFields(kDayFields, record, item.updatedAt);
}

}  // namespace tessline
