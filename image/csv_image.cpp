#include "image/csv_image.h"

#include "image/image_window.h"
#include "image/text_io.h"

namespace tessline {

namespace {

void appendDecimal(std::string& text, std::uint8_t value) {
    if (value >= 100) text += static_cast<char>('0' + value / 100);
    if (value >= 10) text += static_cast<char>('0' + value / 10 % 10);
    text += static_cast<char>('0' + value % 10);
}

}  // namespace

std::uint8_t csvValue(std::string_view word) {
    std::size_t pos = 0;
    const bool negative = !word.empty() && word[0] == '-';
    if (!word.empty() && (word[0] == '-' || word[0] == '+')) ++pos;
    // Only the low byte is kept, so the digits are summed modulo 256: no
    // overflow however long the number.
    unsigned value = 0;
    for (; pos < word.size() && word[pos] >= '0' && word[pos] <= '9'; ++pos)
        value = (value * 10 + static_cast<unsigned>(word[pos] - '0')) & 0xFF;
    return static_cast<std::uint8_t>(negative ? 0x100 - value : value);
}

int writeCsvText(std::string& text, const std::uint8_t* buffer, std::uint32_t /*base*/,
                 std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
        if (i > 0) text += ",\r\n";
        appendDecimal(text, buffer[i]);
    }
    text += "\r\n";
    return imageCount(length);
}

int readCsvText(TextSource& text, std::uint8_t* buffer, std::uint32_t /*base*/,
                std::uint32_t length) {
    std::uint32_t count = 0;
    TextToken word;
    while (count < length && text.readWord(kMaxCsvWord, word)) {
        if (!word.tooLong) buffer[count++] = csvValue(word.text);
    }
    return imageCount(count);
}

}  // namespace tessline
