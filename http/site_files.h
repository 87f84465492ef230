// The page's own files, built into the program, and the one file it serves
// from the system: Debian's dygraphs script.
#pragma once

#include <cstddef>

namespace tessline {

struct SiteFile {
    const char* path;  // "/", "/page.css", ...
    const char* contentType;
    const unsigned char* data;
    std::size_t size;
};

// Ends with an entry whose path is null.
extern const SiteFile* const kSiteFiles;

}  // namespace tessline
