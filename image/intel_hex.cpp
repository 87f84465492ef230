#include "image/intel_hex.h"

#include <algorithm>
#include <optional>

#include "image/image_window.h"
#include "image/text_io.h"

namespace tessline {

namespace {

constexpr std::uint64_t kRecordDataBytes = 16;
constexpr std::size_t kHeaderBytes = 4;  // length, address high, address low, type

unsigned upperHexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return 0;
}

// Byte i of the record, counted from the length byte after ":".
std::uint8_t recordByte(std::string_view word, std::size_t i) {
    return static_cast<std::uint8_t>(upperHexDigit(word[1 + 2 * i]) << 4 |
                                     upperHexDigit(word[2 + 2 * i]));
}

bool typeRulesHold(const IntelHexRecord& record) {
    switch (record.type) {
    case kIntelHexData:
    case kIntelHexEndOfFile:
        return true;
    case kIntelHexSegmentAddress:
    case kIntelHexLinearAddress:
        return record.size == 2 && record.address == 0;
    case kIntelHexStartSegment:
    case kIntelHexStartLinear:
        return record.size == 4 && record.address == 0;
    default:
        return false;
    }
}

std::uint64_t upperAddress(const IntelHexRecord& record) {
    const std::uint64_t value = std::uint64_t{record.data[0]} << 8 | record.data[1];
    return record.type == kIntelHexSegmentAddress ? value << 4 : value << 16;
}

void appendLine(std::string& text, unsigned type, std::uint16_t address,
                const std::uint8_t* data, std::size_t count) {
    appendIntelHexRecord(text, type, address, data, count);
    text += "\r\n";
}

}  // namespace

void appendIntelHexRecord(std::string& text, unsigned type, std::uint16_t address,
                          const std::uint8_t* data, std::size_t count) {
    const std::uint8_t header[kHeaderBytes] = {
        static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(address >> 8),
        static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(type)};
    text += ':';
    unsigned sum = 0;
    for (std::uint8_t byte : header) {
        appendHexByte(text, byte);
        sum += byte;
    }
    for (std::size_t i = 0; i < count; ++i) {
        appendHexByte(text, data[i]);
        sum += data[i];
    }
    appendHexByte(text, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
}

std::string formatIntelHexRecord(unsigned type, std::uint16_t address,
                                 const std::uint8_t* data, std::size_t count) {
    std::string line;
    appendIntelHexRecord(line, type, address, data, count);
    return line;
}

bool parseIntelHexRecord(std::string_view word, IntelHexRecord& record) {
    if (word.size() < 1 + 2 * (kHeaderBytes + 1) || word[0] != ':') return false;
    const std::size_t length = recordByte(word, 0);
    const std::size_t checksumIndex = kHeaderBytes + length;
    if (word.size() < 1 + 2 * (checksumIndex + 1)) return false;

    unsigned sum = 0;
    for (std::size_t i = 0; i <= checksumIndex; ++i) sum += recordByte(word, i);
    if ((sum & 0xFF) != 0) return false;

    record.type = recordByte(word, 3);
    record.address = static_cast<std::uint16_t>(recordByte(word, 1) << 8 | recordByte(word, 2));
    record.size = length;
    for (std::size_t i = 0; i < length; ++i) record.data[i] = recordByte(word, kHeaderBytes + i);
    return typeRulesHold(record);
}

int writeIntelHexText(std::string& text, const std::uint8_t* buffer, std::uint32_t base,
                      std::uint32_t length) {
    const std::uint64_t end = windowEnd(base, length);
    std::optional<std::uint64_t> upperWritten;
    for (std::uint64_t address = base; address < end; address += kRecordDataBytes) {
        const std::uint64_t upper = address >> 16;
        if (upper != upperWritten) {
            const std::uint8_t value[2] = {static_cast<std::uint8_t>(upper >> 8),
                                           static_cast<std::uint8_t>(upper)};
            appendLine(text, kIntelHexLinearAddress, 0, value, 2);
            upperWritten = upper;
        }
        // Cut by the 16-byte rule only: a record may run over a 64 KiB
        // boundary, which linear addressing carries on into the next page.
        const std::uint64_t count = std::min(kRecordDataBytes, end - address);
        appendLine(text, kIntelHexData, static_cast<std::uint16_t>(address),
                    buffer + (address - base), count);
    }
    appendLine(text, kIntelHexEndOfFile, 0, nullptr, 0);
    return imageCount(end - base);
}

int readIntelHexText(TextSource& text, std::uint8_t* buffer, std::uint32_t base,
                     std::uint32_t length) {
    const ImageWindow window{buffer, base, length};
    std::uint64_t upper = 0;
    std::uint64_t stored = 0;
    TextToken word;
    IntelHexRecord record;
    while (text.readWord(kMaxIntelHexWord, word)) {
        if (word.tooLong || !parseIntelHexRecord(word.text, record)) continue;
        if (record.type == kIntelHexData)
            stored += window.store(upper + record.address, record.data, record.size);
        else if (record.type == kIntelHexSegmentAddress || record.type == kIntelHexLinearAddress)
            upper = upperAddress(record);
    }
    return imageCount(stored);
}

}  // namespace tessline
