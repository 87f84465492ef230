// Register answers and TEXT values of any content through the items, the
// parsers and every formatter; a row must keep the columns of its header.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "dumper/table_items.h"
#include "output/csv_table_writer.h"
#include "dumper/dump_table.h"
#include "dumper/history_records.h"
#include "dumper/value_format.h"
#include "log/log.h"

namespace {

using namespace tessline;

std::size_t commas(const std::string& text) { return std::count(text.begin(), text.end(), ','); }

HexMsg answerWith(const std::uint8_t* data, std::size_t size) {
    HexMsg answer{0x07, 0x50, 0x10, 0x00};
    for (std::size_t i = 0; i < size; ++i) answer.appendByte(data[i]);
    answer.appendByte(0x00);  // checksum; never taken for data
    answer.readValue(4);
    return answer;
}

void formatRegister(std::uint8_t type, const HexMsg& answer) {
    using FormatterFn = TableCell (*)(DumpItem&);
    const FormatterFn formatters[] = {formatState, formatOnOff, formatDayNight, formatClock, formatInt,
                                      formatFixed0, formatFixed1, formatFixed2, formatFixed3};
    DumpItem item(0x1050, "", DumpItem::HEX_REGISTER, "X", type, parseHundredths, nullptr);
    item.setFromHex(answer);
    for (FormatterFn formatter : formatters)
        if (formatter(item).text.empty()) std::abort();
}

void registerPath(std::uint8_t type, const std::uint8_t* data, std::size_t size) {
    HexMsg answer = answerWith(data, size);
    for (std::uint8_t known : {DumpItem::U8, DumpItem::U16, DumpItem::U32, DumpItem::S8, DumpItem::S16,
                               DumpItem::S32})
        formatRegister(known, answer);
    formatRegister(type, answer);

    DumpItem record(0x1050, DumpItem::HEX_REGISTER, "", formatHistoryDay);
    record.setFromHex(answer);
    if (formatHistoryDay(record).size() != 15 || formatHistoryTotal(record).size() != 10) std::abort();
}

DeviceInfo everyTextLabel() {
    DeviceInfo info;
    info.deviceId = 0xA042;
    info.hasLoadOutput = info.hasLoadCurrent = info.hasHistorySupport = true;
    info.historyVersion = 4;
    return info;
}

void textPath(const std::uint8_t* data, std::size_t size) {
    static DumpTable table(tableItems(DumpVariant::full, everyTextLabel()));
    std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t tab = text.find('\t');
    std::string label = text.substr(0, tab);
    std::string value = tab == std::string::npos ? std::string() : text.substr(tab + 1);
    table.onText(label, value);
    std::ostringstream row;
    CsvTableWriter csv(row, true);
    table.dumpData(csv);
    if (commas(csvHeader(table.columns())) != commas(row.str())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    logLevel = 0;  // conversion errors are expected here
    if (size == 0) return 0;
    if (data[0] & 1) textPath(data + 1, size - 1);
    else registerPath(static_cast<std::uint8_t>(data[0] >> 1), data + 1, size - 1);
    return 0;
}
