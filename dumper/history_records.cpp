#include "dumper/history_records.h"

#include "dumper/value_format.h"
#include "fields/device_scales.h"
#include "fields/field_catalogue.h"

namespace tessline {

namespace {

// One field of a record layout, by its key in the catalogue (and in the
// device's scales); a field without a key is read and skipped.
struct RecordField {
    unsigned size;
    const char* key;
};

const RecordField kTotalFields[] = {
    {1, nullptr},  // record version, read on its own
    {1, nullptr},  // reserved
    {1, "err_0"},
    {1, "err_1"},
    {1, "err_2"},
    {1, "err_3"},
    {4, "yield_user_kwh"},
    {4, "yield_sys_kwh"},
    {2, "vpnl_max_v"},
    {2, "vbat_max_v"},
    {1, "days"},
};
// Present from record version 1 on.
const RecordField kTotalVbatMin = {2, "vbat_min_v"};

const RecordField kDayFields[] = {
    {1, nullptr},  // reserved
    {4, "yield_kwh"},
    {4, "cons_kwh"},
    {2, "vbat_max_v"},
    {2, "vbat_min_v"},
    {1, nullptr},  // reserved
    {1, "err_0"},
    {1, "err_1"},
    {1, "err_2"},
    {1, "err_3"},
    {2, "timebulk_min"},
    {2, "timeabs_min"},
    {2, "timefloat_min"},
    {4, "pmax_w"},
    {2, "ibat_max_a"},
    {2, "vpnl_max_v"},
    {2, "day"},
};

// A layout's fields with their catalogue entries and scales, looked up once.
struct ResolvedField {
    const RecordField* layout;
    const Field* field;         // nullptr for a skipped one
    const DeviceScale* scale;   // likewise
};

ResolvedField resolve(Record record, const RecordField& layout) {
    if (!layout.key) return {&layout, nullptr, nullptr};
    return {&layout, &catalogueField(record, layout.key), &recordFieldScale(record, layout.key)};
}

template <std::size_t N>
std::vector<ResolvedField> resolved(Record record, const RecordField (&fields)[N]) {
    std::vector<ResolvedField> result;
    for (const RecordField& layout : fields) result.push_back(resolve(record, layout));
    return result;
}

const std::vector<ResolvedField>& totalFields() {
    static const std::vector<ResolvedField> fields = [] {
        std::vector<ResolvedField> all = resolved(Record::total, kTotalFields);
        all.push_back(resolve(Record::total, kTotalVbatMin));
        return all;
    }();
    return fields;
}

const std::vector<ResolvedField>& dayFields() {
    static const std::vector<ResolvedField> fields = resolved(Record::day, kDayFields);
    return fields;
}

std::string joined(const std::vector<std::string>& headers) {
    std::string text;
    for (const std::string& header : headers) text += (text.empty() ? "" : ",") + header;
    return text;
}

std::uint32_t nonePattern(unsigned size) { return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1; }

// Reads one field and returns its cell; the caller leaves out a field
// without a catalogue entry.
TableCell readField(const ResolvedField& resolved, HexMsg& record, std::int64_t updatedAt) {
    const RecordField& layout = *resolved.layout;
    std::uint32_t number = record.readValue(layout.size);
    if (!resolved.field || record.failed() || number == nonePattern(layout.size)) return missingCell();
    DumpItem column;
    column.field = resolved.field;
    column.value = resolved.scale->fromSteps(number);
    column.updatedAt = updatedAt;
    TableCell cell = formatterOf(*resolved.field)(column);
    cell.field = resolved.field;
    return cell;
}

std::vector<TableCell> readFields(const std::vector<ResolvedField>& fields, std::size_t count, HexMsg& record,
                                  std::int64_t updatedAt) {
    std::vector<TableCell> cells;
    for (std::size_t i = 0; i < count; ++i) {
        TableCell cell = readField(fields[i], record, updatedAt);
        if (fields[i].field) cells.push_back(std::move(cell));
    }
    return cells;
}

std::vector<TableColumn> columnsOf(const std::vector<ResolvedField>& fields, int history) {
    std::vector<TableColumn> columns;
    for (const ResolvedField& resolved : fields)
        if (resolved.field)
            columns.push_back(TableColumn{columnHeader(*resolved.field, history), history, resolved.field});
    return columns;
}

std::vector<std::string> headersOf(const std::vector<TableColumn>& columns) {
    std::vector<std::string> headers;
    for (const TableColumn& column : columns) headers.push_back(column.header);
    return headers;
}

}  // namespace

std::vector<TableColumn> historyTotalColumns() { return columnsOf(totalFields(), kHistoryTotal); }

std::vector<TableColumn> historyDayColumns(int day) { return columnsOf(dayFields(), day); }

std::vector<std::string> historyTotalHeaders() { return headersOf(historyTotalColumns()); }

std::vector<std::string> historyDayHeaders(int day) { return headersOf(historyDayColumns(day)); }

std::string historyTotalHeader() { return joined(historyTotalHeaders()); }

std::string historyDayHeader(int day) { return joined(historyDayHeaders(day)); }

std::vector<TableCell> formatHistoryTotal(DumpItem& item) {
    HexMsg record = answerValueBytes(item.raw);
    std::uint8_t version = record.readU8();
    bool hasVersion = !record.failed();
    record.rewind();
    const std::vector<ResolvedField>& fields = totalFields();
    std::vector<TableCell> cells = readFields(fields, fields.size() - 1, record, item.updatedAt);
    bool hasVbatMin = hasVersion && version >= 1;
    TableCell vbatMin = hasVbatMin ? readField(fields.back(), record, item.updatedAt) : missingCell();
    vbatMin.field = fields.back().field;
    cells.push_back(std::move(vbatMin));
    return cells;
}

std::vector<TableCell> formatHistoryDay(DumpItem& item) {
    HexMsg record = answerValueBytes(item.raw);
    const std::vector<ResolvedField>& fields = dayFields();
    return readFields(fields, fields.size(), record, item.updatedAt);
}

}  // namespace tessline
