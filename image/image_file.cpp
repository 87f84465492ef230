#include "image/image_file.h"

#include "image/csv_image.h"
#include "image/image_io.h"
#include "image/intel_hex.h"
#include "image/srecord.h"

namespace tessline {

namespace {

// Searched in this order; the first row whose extension matches is taken.
const ImageFormat kImageFormats[] = {
    {".s19", "S-record", readImageFile<readSRecordText>, writeImageFile<writeSRecordText>},
    {".mot", "S-record", readImageFile<readSRecordText>, writeImageFile<writeSRecordText>},
    {".hex", "Intel HEX", readImageFile<readIntelHexText>, writeImageFile<writeIntelHexText>},
    {".a90", "Intel HEX", readImageFile<readIntelHexText>, writeImageFile<writeIntelHexText>},
    {".eep", "Intel HEX", readImageFile<readIntelHexText>, writeImageFile<writeIntelHexText>},
    {".csv", "CSV", readImageFile<readCsvText>, writeImageFile<writeCsvText>},
};

// Longer extensions match no row anyway; the bound keeps the text short.
constexpr std::size_t kMaxExtension = 255;

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Where the extension of the name's last path component starts; npos when
// it has none.
std::size_t extensionStart(const std::string& fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot < nameStart ? std::string::npos : dot;
}

}  // namespace

std::string imageFileExtension(const std::string& fileName) {
    const std::size_t dot = extensionStart(fileName);
    if (dot == std::string::npos || fileName.size() - dot > kMaxExtension) return std::string();
    std::string extension = fileName.substr(dot);
    for (char& c : extension) c = asciiLower(c);
    return extension;
}

const ImageFormat* findImageFormat(const std::string& fileName) {
    const std::string extension = imageFileExtension(fileName);
    if (extension.empty()) return nullptr;
    for (const ImageFormat& format : kImageFormats)
        if (extension == format.extension) return &format;
    return nullptr;
}

std::string knownImageExtensions() {
    std::string list;
    for (const ImageFormat& format : kImageFormats) {
        if (!list.empty()) list += ", ";
        list += format.extension;
    }
    return list;
}

std::string partialImageName(const std::string& fileName) {
    std::string name = fileName;
    const std::size_t dot = extensionStart(fileName);
    return name.insert(dot == std::string::npos ? name.size() : dot, ".partial");
}

int saveImage(const std::uint8_t* buffer, const std::string& fileName) {
    const ImageFormat* format = findImageFormat(fileName);
    return format ? format->writer(buffer, kEepromImageBase, kEepromImageLength, fileName) : 0;
}

int loadImage(std::uint8_t* buffer, std::uint32_t base, std::uint32_t length,
              const std::string& fileName) {
    const ImageFormat* format = findImageFormat(fileName);
    return format ? format->reader(buffer, base, length, fileName) : 0;
}

}  // namespace tessline
