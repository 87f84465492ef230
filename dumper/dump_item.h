// DumpItem: one dumped column (or, for a history record, a group of
// columns) with its sources, its current value and how it prints.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "row/table_row.h"
#include "fields/field.h"
#include "hex/hex_msg.h"

namespace tessline {

struct DumpItem {
    // Flags.
    static constexpr std::uint8_t HIDDEN = 2;        // never printed, still ages
    static constexpr std::uint8_t HEX_REGISTER = 4;  // read by HEX every period

    // Value types: the low bits give the width in bytes, bit 7 marks signed.
    static constexpr std::uint8_t RAW = 0;
    static constexpr std::uint8_t U8 = 0x01;
    static constexpr std::uint8_t U16 = 0x02;
    static constexpr std::uint8_t U32 = 0x04;
    static constexpr std::uint8_t S8 = 0x81;
    static constexpr std::uint8_t S16 = 0x82;
    static constexpr std::uint8_t S32 = 0x84;

    using Parser = std::function<void(DumpItem&, const std::string&)>;
    using Formatter = std::function<TableCell(DumpItem&)>;
    // A history record's item prints a group of cells.
    using RecordFormatter = std::function<std::vector<TableCell>(DumpItem&)>;

    DumpItem() = default;
    DumpItem(std::int32_t registerId, std::string textLabel, std::uint8_t flags, std::string header,
             std::uint8_t type, Parser parser, Formatter formatter);
    DumpItem(std::int32_t registerId, std::uint8_t flags, std::string header, RecordFormatter recordFormatter);
    // A column of the catalogue: its header and formatter come from `field`.
    DumpItem(const Field& field, std::int32_t registerId, std::string textLabel, std::uint8_t flags,
             std::uint8_t type, Parser parser);

    // registerId when the item is read by HEX, else -1.
    int hexRegister() const;

    // `answer` is a register answer with its read position on the first
    // value byte and its checksum byte last. An answer too short for the
    // item's width leaves the item unchanged.
    void setFromHex(const HexMsg& answer);
    // Throws the parser's conversion error and then leaves the item unchanged.
    void setFromText(const std::string& text);
    // The item's cell, with the item's field; without a formatter, formatFixed3's.
    TableCell format();
    // Adds the item's cells, one or a record's group, to `cells`.
    void appendCells(std::vector<TableCell>& cells);

    double value = 0;
    std::int32_t registerId = -1;
    std::string textLabel;
    std::uint8_t flags = 0;
    std::string header;
    const Field* field = nullptr;  // of a catalogue column; nullptr for a record or a bare item
    std::uint8_t type = RAW;
    std::string lastText;
    std::int64_t updatedAt = 0;  // seconds since the epoch; 0: no current value
    HexMsg raw;                  // the last answer of a RAW item
    Parser parser;
    Formatter formatter;
    RecordFormatter recordFormatter;

private:
    bool decodeNumber(const HexMsg& answer);
};

}  // namespace tessline
