// A picture written under a temporary name beside its target and renamed
// over the target only once whole, so that no half picture is ever seen.
#pragma once

#include <string>
#include <string_view>

namespace tessline {

class PictureFile {
public:
    // Throws std::runtime_error when the temporary file cannot be made.
    explicit PictureFile(std::string target);
    ~PictureFile();  // removes the temporary file unless committed
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    // A failed write is kept and reported by commit().
    void write(std::string_view bytes);
    // Throws std::runtime_error, naming the target, when the picture could
    // not be completed; the temporary file is gone either way.
    void commit();

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    int writeError_ = 0;
    bool committed_ = false;
};

}  // namespace tessline
