// The image file registry: the file name's extension picks the format in
// which a window of device memory is saved or loaded.
#pragma once

#include <cstdint>
#include <string>

namespace tessline {

// The device's EEPROM window that the write mode saves.
constexpr std::uint32_t kEepromImageBase = 0x8000;
constexpr std::uint32_t kEepromImageLength = 4608;

// Readers return the count of bytes stored into the buffer (0 when the file
// cannot be opened); writers the count of bytes written (0 when the file
// cannot be created, with errno telling why).
using ImageReader = int (*)(std::uint8_t* buffer, std::uint32_t base, std::uint32_t length,
                            const std::string& fileName);
using ImageWriter = int (*)(const std::uint8_t* buffer, std::uint32_t base,
                            std::uint32_t length, const std::string& fileName);

struct ImageFormat {
    const char* extension;  // lower case, with its leading "."
    const char* name;       // "S-record", "Intel HEX" or "CSV"
    ImageReader reader;
    ImageWriter writer;
};

// The extension of the name's last path component, from its last "." on,
// lowercased; "" when it has none.
std::string imageFileExtension(const std::string& fileName);

// The registry row for a file name, or null for an unknown or missing extension.
const ImageFormat* findImageFormat(const std::string& fileName);

// The registry's extensions in search order: ".s19, .mot, .hex, .a90, .eep, .csv".
std::string knownImageExtensions();

// Where an image that is not whole goes instead of `fileName`, beside it:
// "NAME.partial.EXT" ("dir/eeprom.hex" gives "dir/eeprom.partial.hex").
std::string partialImageName(const std::string& fileName);

// Saves the EEPROM window (base kEepromImageBase, kEepromImageLength bytes) in
// the format of the name's extension. Returns the writer's count, or 0 for no
// name, an unknown extension or a file that could not be written.
int saveImage(const std::uint8_t* buffer, const std::string& fileName);

// Loads a window from a file in the format of its extension. Returns the
// reader's count, or 0 for no name or an unknown extension.
int loadImage(std::uint8_t* buffer, std::uint32_t base, std::uint32_t length,
              const std::string& fileName);

}  // namespace tessline
