#include "image/srecord.h"

#include <algorithm>
#include <cstring>

#include "image/image_window.h"
#include "image/text_io.h"

namespace tessline {

namespace {

constexpr std::uint64_t kRecordDataBytes = 32;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The byte of the hex pair at `pos`, or -1.
int hexPair(std::string_view text, std::size_t pos) {
    if (pos + 2 > text.size()) return -1;
    const int high = hexDigit(text[pos]);
    const int low = hexDigit(text[pos + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The narrowest data record type whose address field holds `lastAddress`.
// The device window fits in 16 bits and gets S1 throughout; higher windows
// get S2 or S3 records instead of addresses cut down to 16 bits.
unsigned dataRecordType(std::uint64_t lastAddress) {
    if (lastAddress <= 0xFFFF) return 1;
    if (lastAddress <= 0xFFFFFF) return 2;
    return 3;
}

// The end record that matches the widest data record: S9, S8 or S7. It is
// written as a record without address bytes whose data are the zero address.
void appendEndRecord(std::string& text, unsigned widestDataType) {
    const std::uint8_t zeroAddress[4] = {};
    appendSRecord(text, 10 - widestDataType, 0, zeroAddress, sRecordAddressWidth(widestDataType));
}

}  // namespace

unsigned sRecordAddressWidth(unsigned type) { return type >= 1 && type <= 3 ? type + 1 : 0; }

void appendSRecord(std::string& text, unsigned type, std::uint32_t address,
                   const std::uint8_t* data, std::size_t count) {
    const unsigned width = sRecordAddressWidth(type);
    text += 'S';
    text += static_cast<char>('0' + type % 10);
    const auto countByte = static_cast<std::uint8_t>(count + width + 1);
    appendHexByte(text, countByte);
    unsigned sum = countByte;
    for (unsigned i = width; i-- > 0;) {
        const auto byte = static_cast<std::uint8_t>(address >> (8 * i));
        appendHexByte(text, byte);
        sum += byte;
    }
    for (std::size_t i = 0; i < count; ++i) {
        appendHexByte(text, data[i]);
        sum += data[i];
    }
    appendHexByte(text, static_cast<std::uint8_t>(~sum));
}

std::string formatSRecord(unsigned type, std::uint32_t address, const std::uint8_t* data,
                          std::size_t count) {
    std::string line;
    appendSRecord(line, type, address, data, count);
    return line;
}

bool parseSRecord(std::string_view line, SRecord& record) {
    if (line.size() < 2 || line[0] != 'S' || hexDigit(line[1]) < 0) return false;
    const unsigned type = static_cast<unsigned>(hexDigit(line[1]));
    const unsigned width = sRecordAddressWidth(type);
    const int count = hexPair(line, 2);
    if (count < 0 || static_cast<unsigned>(count) < width + 1) return false;
    // After the count: `count` bytes, the last of them the checksum.
    if (line.size() < 4 + 2 * static_cast<std::size_t>(count)) return false;
    std::uint8_t bytes[255];
    unsigned sum = static_cast<unsigned>(count);
    for (int i = 0; i < count; ++i) {
        const int byte = hexPair(line, 4 + 2 * static_cast<std::size_t>(i));
        if (byte < 0) return false;
        bytes[i] = static_cast<std::uint8_t>(byte);
        if (i + 1 < count) sum += static_cast<unsigned>(byte);
    }
    if (static_cast<std::uint8_t>(0xFF - sum) != bytes[count - 1]) return false;

    record.type = type;
    record.address = 0;
    for (unsigned i = 0; i < width; ++i) record.address = record.address << 8 | bytes[i];
    record.size = static_cast<std::size_t>(count) - width - 1;
    std::memcpy(record.data, bytes + width, record.size);
    return true;
}

int writeSRecordText(std::string& text, const std::uint8_t* buffer, std::uint32_t base,
                     std::uint32_t length) {
    const std::uint64_t end = windowEnd(base, length);
    unsigned widestType = 1;
    for (std::uint64_t address = base; address < end; address += kRecordDataBytes) {
        const std::uint64_t count = std::min(kRecordDataBytes, end - address);
        const unsigned type = dataRecordType(address + count - 1);
        widestType = std::max(widestType, type);
        appendSRecord(text, type, static_cast<std::uint32_t>(address), buffer + (address - base),
                      count);
        text += "\r\n";
    }
    appendEndRecord(text, widestType);
    text += "\r\n";
    return imageCount(end - base);
}

int readSRecordText(TextSource& text, std::uint8_t* buffer, std::uint32_t base,
                    std::uint32_t length) {
    const ImageWindow window{buffer, base, length};
    std::uint64_t stored = 0;
    TextToken line;
    SRecord record;
    while (text.readLine(kMaxSRecordLine, line)) {
        if (line.tooLong || !parseSRecord(line.text, record)) continue;
        if (record.type < 1 || record.type > 3) continue;
        stored += window.store(record.address, record.data, record.size);
    }
    return imageCount(stored);
}

}  // namespace tessline
