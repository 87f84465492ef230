// The output file split by period, a file per day or per month, each row in
// the file of its own time's period: the names and the pruning of old ones.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace tessline {

enum class Rotation { daily, monthly };

// "daily" or "monthly"; throws std::invalid_argument otherwise.
Rotation parseRotation(const std::string& text);

// `name` with the local date of `time`'s period ("2026-12-08" daily,
// "2026-12" monthly) put before its extension, or at its end without one:
// "a/HQ1.csv" becomes "a/HQ1-2026-12-08.csv".
std::string periodFileName(const std::string& name, Rotation rotation, std::time_t time);

// Of `entries` (names in the template's folder), the period files of
// `name` to delete so that `keep` of them remain: `current` (the file just
// opened) and the newest others by the date in their names, as logrotate
// counts files. A name whose date is not a real day or month is no period
// file and never goes.
std::vector<std::string> periodFilesBeyond(const std::vector<std::string>& entries, const std::string& name,
                                           Rotation rotation, const std::string& current, int keep);

// Deletes the regular files that periodFilesBeyond() names in the
// template's folder, logging each; symlinks and other kinds stay.
void prunePeriodFiles(const std::string& name, Rotation rotation, const std::string& current, int keep);

}  // namespace tessline
