// Motorola S-record image files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/text_io.h"

namespace tessline {

// Longest line the reader takes, line end not counted; longer lines are
// skipped as invalid.
constexpr std::size_t kMaxSRecordLine = 1023;

struct SRecord {
    unsigned type;  // 0 to 15
    std::uint32_t address;
    std::size_t size;          // data bytes
    std::uint8_t data[255];    // no allocation per record: the count byte bounds it
};

// Address bytes of a record type: 2, 3 and 4 for types 1, 2 and 3, else none.
unsigned sRecordAddressWidth(unsigned type);

// One record line without its end: "S", the type digit, the count, the
// address (most significant byte first), the data and the checksum.
void appendSRecord(std::string& text, unsigned type, std::uint32_t address,
                   const std::uint8_t* data, std::size_t count);
std::string formatSRecord(unsigned type, std::uint32_t address, const std::uint8_t* data,
                          std::size_t count);

// Fills `record` from a line whose checksum holds; hex digits of either case.
bool parseSRecord(std::string_view line, SRecord& record);

// Appends data records of 32 bytes, then the end record, each ending in
// CR LF; returns the data byte count.
int writeSRecordText(std::string& text, const std::uint8_t* buffer, std::uint32_t base,
                     std::uint32_t length);
// Stores the data records' bytes that fall into the window; returns their count.
int readSRecordText(TextSource& text, std::uint8_t* buffer, std::uint32_t base,
                    std::uint32_t length);

}  // namespace tessline
