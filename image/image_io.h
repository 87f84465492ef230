// The text form of the image formats and the file functions made from it.
#pragma once

#include <cstdint>
#include <string>

#include "image/replacing_file.h"
#include "image/text_io.h"

namespace tessline {

// A format's writer, appending to text in memory, and its reader, on text
// from memory or a stream; the registry's file functions are these with the
// file around them.
using ImageTextWriter = int (*)(std::string& text, const std::uint8_t* buffer,
                                std::uint32_t base, std::uint32_t length);
using ImageTextReader = int (*)(TextSource& text, std::uint8_t* buffer, std::uint32_t base,
                                std::uint32_t length);

template <ImageTextWriter writeText>
int writeImageFile(const std::uint8_t* buffer, std::uint32_t base, std::uint32_t length,
                   const std::string& fileName) {
    std::string text;
    const int count = writeText(text, buffer, base, length);
    return saveTextFile(fileName, text) ? count : 0;
}

template <ImageTextReader readText>
int readImageFile(std::uint8_t* buffer, std::uint32_t base, std::uint32_t length,
                  const std::string& fileName) {
    return loadImageText(fileName, [&](TextSource& text) {
        return readText(text, buffer, base, length);
    });
}

}  // namespace tessline
