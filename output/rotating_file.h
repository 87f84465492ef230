// RotatingFile: the output file split by period, a file per day or per
// month, each row in the file of its own time's period.
#pragma once

#include <ctime>
#include <memory>
#include <string>

#include "output/output_file.h"

namespace tessline {

enum class Rotation { daily, monthly };

// "daily" or "monthly"; throws std::invalid_argument otherwise.
Rotation parseRotation(const std::string& text);

// `name` with the local date of `time`'s period ("2026-12-08" daily,
// "2026-12" monthly) put before its extension, or at its end without one:
// "a/HQ1.csv" becomes "a/HQ1-2026-12-08.csv".
std::string periodFileName(const std::string& name, Rotation rotation, std::time_t time);

class RotatingFile {
public:
    // `keep` > 0: after each switch, files of `name` older than `keep`
    // periods (the current one counted) are deleted; 0 keeps all.
    RotatingFile(std::string name, Rotation rotation, int keep = 0)
        : name_(std::move(name)), rotation_(rotation), keep_(keep) {}

    // The file of `time`'s period, opened (for appending) when another
    // period's file was open; throws as OutputFile does. `switched` tells
    // whether it was opened by this call.
    OutputFile& fileFor(std::time_t time, bool& switched);

private:
    void pruneOlderThan(std::time_t time) const;

    std::string name_;
    Rotation rotation_;
    int keep_;
    std::string currentName_;
    std::unique_ptr<OutputFile> current_;
};

}  // namespace tessline
