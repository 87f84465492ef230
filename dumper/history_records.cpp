#include "dumper/history_records.h"

#include "dumper/value_format.h"

namespace tessline {

namespace {

using FieldFormatter = std::string (*)(DumpItem&);

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

void appendJoined(std::string& joined, const std::string& part) {
    if (!joined.empty()) joined += ",";
    joined += part;
}

std::uint32_t nonePattern(unsigned size) { return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }

// Reads one field and returns its text; a skipped field gives nothing.
std::string readField(const RecordField& field, HexMsg& record, std::int64_t updatedAt) {
    std::uint32_t number = record.readValue(field.size);
    if (!field.header) return std::string();
    if (record.failed() || number == nonePattern(field.size)) return "-";
    DumpItem column;
    column.value = number / field.divisor;
    column.updatedAt = updatedAt;
    return field.format(column);
}

template <std::size_t N>
std::string readFields(const RecordField (&fields)[N], HexMsg& record, std::int64_t updatedAt) {
    std::string joined;
    for (const RecordField& field : fields) {
        std::string text = readField(field, record, updatedAt);
        if (field.header) appendJoined(joined, text);
    }
    return joined;
}

}  // namespace

std::string historyTotalHeader() {
    std::string joined;
    for (const RecordField& field : kTotalFields)
        if (field.header) appendJoined(joined, field.header);
    appendJoined(joined, kTotalVbatMin.header);
    return joined;
}

std::string historyDayHeader(int day) {
    std::string joined;
    std::string prefix = "Day" + std::to_string(day);
    for (const RecordField& field : kDayFields)
        if (field.header) appendJoined(joined, prefix + field.header);
    return joined;
}

std::string formatHistoryTotal(DumpItem& item) {
    HexMsg record = answerValueBytes(item.raw);
    std::uint8_t version = record.readU8();
    bool hasVersion = !record.failed();
    record.rewind();
    std::string joined = readFields(kTotalFields, record, item.updatedAt);
    bool hasVbatMin = hasVersion && version >= 1;
    appendJoined(joined, hasVbatMin ? readField(kTotalVbatMin, record, item.updatedAt) : "-");
    return joined;
}

std::string formatHistoryDay(DumpItem& item) {
    HexMsg record = answerValueBytes(item.raw);
    return readFields(kDayFields, record, item.updatedAt);
}

}  // namespace tessline
