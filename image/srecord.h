// Motorola S-record image files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tessline {

// Longest line the reader takes, line end not counted; longer lines are
// skipped as invalid.
constexpr std::size_t kMaxSRecordLine = 1023;

struct SRecord {
    unsigned type;  // 0 to 15
    std::uint32_t address;
    std::vector<std::uint8_t> data;
};

// Address bytes of a record type: 2, 3 and 4 for types 1, 2 and 3, else none.
unsigned sRecordAddressWidth(unsigned type);

// One record line without its end: "S", the type digit, the count, the
// address (most significant byte first), the data and the checksum.
std::string formatSRecord(unsigned type, std::uint32_t address, const std::uint8_t* data,
                          std::size_t count);

// The record of a line whose checksum holds; hex digits of either case.
std::optional<SRecord> parseSRecord(std::string_view line);

// Data records of 32 bytes, then the end record; returns the data byte count.
int writeSRecordText(std::ostream& out, const std::uint8_t* buffer, std::uint32_t base,
                     std::uint32_t length);
// Stores the data records' bytes that fall into the window; returns their count.
int readSRecordText(std::istream& in, std::uint8_t* buffer, std::uint32_t base,
                    std::uint32_t length);

}  // namespace tessline
