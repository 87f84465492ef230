#include "plot/plot_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "plot/stamp_time.h"

namespace tessline {

namespace {

constexpr double kBreakAfterSteps = 10;
constexpr double kStepOfOneRow = 60;

void appendPoint(std::string& out, double x, double value) {
    char line[64];
    int length = std::snprintf(line, sizeof line, "%.10g %.6g\n", x, value);
    out.append(line, static_cast<std::size_t>(length));
}

// Writes points, with one blank line for any number of breaks between two.
class SeriesWriter {
public:
    void point(double x, double value) {
        if (broken_ && !out_.empty()) out_ += '\n';
        broken_ = false;
        appendPoint(out_, x, value);
    }
    void lineBreak() { broken_ = true; }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
    bool broken_ = false;
};

// The lowest and highest point of one bucket.
class Bucket {
public:
    void add(double x, double value) {
        if (count_ == 0 || value < low_) lowX_ = x, low_ = value;
        if (count_ == 0 || value > high_) highX_ = x, high_ = value;
        ++count_;
    }
    void flush(SeriesWriter& writer) {
        if (count_ == 0) return;
        if (lowX_ == highX_) writer.point(lowX_, low_);
        else if (lowX_ < highX_) writer.point(lowX_, low_), writer.point(highX_, high_);
        else writer.point(highX_, high_), writer.point(lowX_, low_);
        count_ = 0;
    }

private:
    std::size_t count_ = 0;
    double lowX_ = 0, low_ = 0, highX_ = 0, high_ = 0;
};

std::string allPoints(const std::vector<double>& x, const std::vector<float>& values,
                      const std::vector<bool>& breaks) {
    SeriesWriter writer;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (breaks[i] || std::isnan(values[i])) writer.lineBreak();
        if (!std::isnan(values[i])) writer.point(x[i], values[i]);
    }
    return writer.take();
}

std::string bucketPoints(const std::vector<double>& x, const std::vector<float>& values,
                         const std::vector<bool>& breaks, int buckets) {
    auto range = std::minmax_element(x.begin(), x.end());
    double from = *range.first;
    double width = (*range.second - from) / buckets;
    SeriesWriter writer;
    Bucket bucket;
    long current = -1;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (breaks[i] || std::isnan(values[i])) {
            bucket.flush(writer);
            writer.lineBreak();
        }
        if (std::isnan(values[i])) continue;
        long index = width > 0 ? std::min<long>(buckets - 1, static_cast<long>((x[i] - from) / width)) : 0;
        if (index != current) bucket.flush(writer);
        current = index;
        bucket.add(x[i], values[i]);
    }
    bucket.flush(writer);
    return writer.take();
}

struct StateRun {
    double from, to;
    int state;
};

std::vector<StateRun> stateRuns(const Recording& recording, const std::vector<bool>& breaks) {
    double step = usualStep(recording);
    std::vector<StateRun> runs;
    for (std::size_t i = 0; i < recording.rows(); ++i) {
        int state = recording.states[i];
        if (state < 0) continue;
        bool joined = i + 1 < recording.rows() && !breaks[i + 1];
        double to = joined ? recording.x[i + 1] : recording.x[i] + step;
        if (!runs.empty() && runs.back().state == state && runs.back().to == recording.x[i])
            runs.back().to = to;
        else
            runs.push_back(StateRun{recording.x[i], to, state});
    }
    return runs;
}

}  // namespace

double usualStep(const Recording& recording) {
    if (!recording.timed) return 1;
    std::vector<double> steps;
    for (std::size_t i = 1; i < recording.rows(); ++i) {
        double step = recording.x[i] - recording.x[i - 1];
        if (!recording.runStart[i] && step > 0) steps.push_back(step);
    }
    if (steps.empty()) return kStepOfOneRow;
    auto middle = steps.begin() + static_cast<long>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

std::vector<bool> lineBreaks(const Recording& recording) {
    double limit = kBreakAfterSteps * usualStep(recording);
    std::vector<bool> breaks(recording.rows(), false);
    for (std::size_t i = 1; i < recording.rows(); ++i) {
        double step = recording.x[i] - recording.x[i - 1];
        breaks[i] = recording.runStart[i] || (recording.timed && (step > limit || step < 0));
    }
    return breaks;
}

std::string seriesData(const Recording& recording, Quantity quantity, const std::vector<bool>& breaks,
                       int buckets) {
    const std::vector<float>& values = recording.series(quantity);
    if (buckets <= 0 || recording.rows() <= 4 * static_cast<std::size_t>(buckets))
        return allPoints(recording.x, values, breaks);
    return bucketPoints(recording.x, values, breaks, buckets);
}

bool hasValues(const Recording& recording, Quantity quantity) {
    const std::vector<float>& values = recording.series(quantity);
    return std::any_of(values.begin(), values.end(), [](float v) { return !std::isnan(v); });
}

ValueRange valueRange(const Recording& recording, Quantity quantity) {
    ValueRange range;
    for (float value : recording.series(quantity))
        if (!std::isnan(value)) range.low = std::min<double>(range.low, value), range.high = std::max<double>(range.high, value);
    return range;
}

std::string stateBands(const Recording& recording, const std::vector<bool>& breaks, std::vector<int>& present) {
    std::vector<StateRun> runs = stateRuns(recording, breaks);
    present.clear();
    std::string out;
    for (int state = 0; state < kChargeStates; ++state) {
        bool found = false;
        for (const StateRun& run : runs) {
            if (run.state != state) continue;
            if (!found && !present.empty()) out += "\n\n";
            found = true;
            char line[64];
            out.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%.10g %.10g\n", run.from, run.to)));
        }
        if (found) present.push_back(state);
    }
    return out;
}

std::string historyData(const DayHistory& history, bool maxPower) {
    std::string out;
    const double today = dayStart(history.today);
    for (int day = 0; day < kHistoryDayCount; ++day) {
        float value = maxPower ? history.maxPower[day] : history.yield[day];
        if (!std::isnan(value)) appendPoint(out, today - day * kSecondsPerDay + kSecondsPerDay / 2, value);
    }
    return out;
}

}  // namespace tessline
