// The text form of the image formats and the file functions made from it.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "image/replacing_file.h"

namespace tessline {

// A format's writer and reader on streams; the registry's file functions
// are these with the file opened around them.
using ImageTextWriter = int (*)(std::ostream& out, const std::uint8_t* buffer,
                                std::uint32_t base, std::uint32_t length);
using ImageTextReader = int (*)(std::istream& in, std::uint8_t* buffer, std::uint32_t base,
                                std::uint32_t length);

template <ImageTextWriter writeText>
int writeImageFile(const std::uint8_t* buffer, std::uint32_t base, std::uint32_t length,
                   const std::string& fileName) {
    return saveImageText(fileName, [&](std::ostream& out) {
        return writeText(out, buffer, base, length);
    });
}

template <ImageTextReader readText>
int readImageFile(std::uint8_t* buffer, std::uint32_t base, std::uint32_t length,
                  const std::string& fileName) {
    return loadImageText(fileName, [&](std::istream& in) {
        return readText(in, buffer, base, length);
    });
}

}  // namespace tessline
