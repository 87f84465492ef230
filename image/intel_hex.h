// Intel HEX image files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/text_io.h"

namespace tessline {

// Longest record word the reader takes (114 data bytes); longer words are
// skipped as invalid.
constexpr std::size_t kMaxIntelHexWord = 239;

enum IntelHexType : unsigned {
    kIntelHexData = 0,
    kIntelHexEndOfFile = 1,
    kIntelHexSegmentAddress = 2,
    kIntelHexStartSegment = 3,
    kIntelHexLinearAddress = 4,
    kIntelHexStartLinear = 5,
};

struct IntelHexRecord {
    unsigned type;
    std::uint16_t address;
    std::size_t size;        // data bytes
    std::uint8_t data[255];  // no allocation per record: the length byte bounds it
};

// One record without its line end: ":", length, address, type, data and
// checksum, all as upper-case hex.
void appendIntelHexRecord(std::string& text, unsigned type, std::uint16_t address,
                          const std::uint8_t* data, std::size_t count);
std::string formatIntelHexRecord(unsigned type, std::uint16_t address,
                                 const std::uint8_t* data, std::size_t count);

// Fills `record` from a word if it is valid: ":" first, checksum right, a
// type from 0 to 5, and for types 2 to 5 the required length and address 0.
// Only upper-case hex digits count; any other character in a digit's place is 0.
bool parseIntelHexRecord(std::string_view word, IntelHexRecord& record);

// Appends data records of 16 bytes with an extended linear address record
// before each change of the upper 16 address bits, then the end-of-file
// record, each ending in CR LF. Returns the data byte count.
int writeIntelHexText(std::string& text, const std::uint8_t* buffer, std::uint32_t base,
                      std::uint32_t length);
// Stores the data records' bytes that fall into the window; returns their count.
int readIntelHexText(TextSource& text, std::uint8_t* buffer, std::uint32_t base,
                     std::uint32_t length);

}  // namespace tessline
