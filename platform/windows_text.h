// Names and messages between the program's narrow strings and Windows' wide
// ones. Windows only.
#pragma once

#include <string>

namespace tessline {

// A name from the command line (the ANSI code page, as Windows hands it to
// main) as the wide name the file functions take.
std::wstring widePath(const std::string& name);

// Windows' text for an error code of GetLastError(), without its final
// full stop and line end.
std::string windowsErrorText(unsigned long error);

}  // namespace tessline
