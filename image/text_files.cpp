// The image formats' whole-file save and load, on whichever ReplacingFile
// the system has.
#include <fstream>

#include "image/replacing_file.h"

namespace tessline {

bool saveTextFile(const std::string& fileName, std::string_view text) {
    ReplacingFile file(fileName);
    return file.isOpen() && file.write(text) && file.commit();
}

int loadImageText(const std::string& fileName, const std::function<int(TextSource&)>& readText) {
    // Binary: the readers take LF and CR LF line ends alike.
    std::ifstream in(fileName, std::ios::binary);
    if (!in.is_open()) return 0;
    TextSource text(in);
    return readText(text);
}

}  // namespace tessline
