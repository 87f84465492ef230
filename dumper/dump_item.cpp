#include "dumper/dump_item.h"

#include <iterator>
#include <utility>

#include "dumper/dump_clock.h"
#include "dumper/value_format.h"
#include "log/log.h"

namespace tessline {

namespace {

bool isNumericType(std::uint8_t type) {
    switch (type) {
    case DumpItem::U8:
    case DumpItem::U16:
    case DumpItem::U32:
    case DumpItem::S8:
    case DumpItem::S16:
    case DumpItem::S32:
        return true;
    default:
        return false;
    }
}

std::int64_t signExtend(std::uint32_t number, unsigned width) {
    switch (width) {
    case 1: return static_cast<std::int8_t>(number);
    case 2: return static_cast<std::int16_t>(number);
    default: return static_cast<std::int32_t>(number);
    }
}

// Reads the number of a numeric item type; false when the answer is too short.
bool readNumber(const HexMsg& answer, std::uint8_t type, std::int64_t& number) {
    unsigned width = type & 0x7F;
    HexMsg bytes = answerValueBytes(answer);
    std::uint32_t unsignedNumber = bytes.readValue(width);
    if (bytes.failed()) return false;
    number = (type & 0x80) ? signExtend(unsignedNumber, width) : unsignedNumber;
    return true;
}

}  // namespace

DumpItem::DumpItem(std::int32_t registerId, std::string textLabel, std::uint8_t flags, std::string header,
                   std::uint8_t type, Parser parser, Formatter formatter)
    : registerId(registerId),
      textLabel(std::move(textLabel)),
      flags(flags),
      header(std::move(header)),
      type(type),
      parser(std::move(parser)),
      formatter(std::move(formatter)) {}

DumpItem::DumpItem(std::int32_t registerId, std::uint8_t flags, std::string header, RecordFormatter recordFormatter)
    : registerId(registerId), flags(flags), header(std::move(header)), recordFormatter(std::move(recordFormatter)) {}

DumpItem::DumpItem(const Field& field, std::int32_t registerId, std::string textLabel, std::uint8_t flags,
                   std::uint8_t type, Parser parser)
    : DumpItem(registerId, std::move(textLabel), flags, field.header, type, std::move(parser), formatterOf(field)) {
    this->field = &field;
}

int DumpItem::hexRegister() const { return (flags & HEX_REGISTER) ? registerId : -1; }

void DumpItem::setFromHex(const HexMsg& answer) {
    if (type == RAW) {
        raw = answer;  // takes over the read position: raw starts at the record
        updatedAt = dumpClock().now();
        return;
    }
    std::int64_t number = 0;
    // An unknown type or a short answer must not stamp a made-up value as fresh.
    if (!isNumericType(type)) return;
    if (!readNumber(answer, type, number)) {
        logWarning("dumper", "answer of register 0x%04X too short for its value", registerId);
        return;
    }
    value = static_cast<double>(number);
    updatedAt = dumpClock().now();
    // The register number takes the same parser, and so the same scale, as TEXT.
    if (parser) parser(*this, std::to_string(number));
}

void DumpItem::setFromText(const std::string& text) {
    if (parser) parser(*this, text);  // throws before it writes anything
    lastText = text;
    updatedAt = dumpClock().now();
}

TableCell DumpItem::format() {
    TableCell cell = formatter ? formatter(*this) : formatFixed3(*this);
    cell.field = field;
    return cell;
}

void DumpItem::appendCells(std::vector<TableCell>& cells) {
    if (!recordFormatter) {
        cells.push_back(format());
        return;
    }
    std::vector<TableCell> record = recordFormatter(*this);
    cells.insert(cells.end(), std::make_move_iterator(record.begin()), std::make_move_iterator(record.end()));
}

}  // namespace tessline
