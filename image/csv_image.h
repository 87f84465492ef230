// CSV image files: the window's bytes as decimal numbers, one per line, in
// buffer order. The file carries no addresses, so the base plays no part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/text_io.h"

namespace tessline {

// Longest word the reader takes; longer words are skipped as invalid.
constexpr std::size_t kMaxCsvWord = 255;

// The low byte of the decimal number at the start of a word (optional sign,
// digits; the "," after it ends it). A word without digits gives 0.
std::uint8_t csvValue(std::string_view word);

// Appends "12,", "0,", "255": every value but the last followed by ",",
// each line ending in CR LF. Returns the value count (length).
int writeCsvText(std::string& text, const std::uint8_t* buffer, std::uint32_t base,
                 std::uint32_t length);
// Stores the file's values from buffer byte 0 on, up to the window's end;
// returns the count stored.
int readCsvText(TextSource& text, std::uint8_t* buffer, std::uint32_t base,
                std::uint32_t length);

}  // namespace tessline
