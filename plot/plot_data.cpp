#include "plot/plot_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "plot/stamp_time.h"

namespace tessline {

namespace {

constexpr double kBreakAfterSteps = 10;
constexpr double kStepOfOneRow = 60;
// The first rows, whose steps give the usual step, wait before any row is
// reduced: enough for a median, few enough not to count in memory.
constexpr std::size_t kStepSampleRows = 4096;

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

std::int64_t columnNumber(double x, double width) { return static_cast<std::int64_t>(std::floor(x / width)); }

// The number of the column twice as wide that holds column `n`.
std::int64_t widerNumber(std::int64_t n) { return n >= 0 ? n / 2 : -((1 - n) / 2); }

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

void PlotData::Extremes::add(double x, float value) {
    if (!any || value < low) lowX = x, low = value;
    if (!any || value > high) highX = x, high = value;
    any = true;
}

void PlotData::Extremes::join(const Extremes& later) {
    if (!later.any) return;
    if (!any || later.low < low) lowX = later.lowX, low = later.low;
    if (!any || later.high > high) highX = later.highX, high = later.high;
    any = true;
}

void PlotData::Column::join(const Column& later) {
    for (int q = 0; q < kQuantities; ++q) {
        values[q].join(later.values[q]);
        broken[q] = broken[q] || later.broken[q];
    }
    for (int state = 0; state < kChargeStates; ++state) stateTime[state] += later.stateTime[state];
}

PlotData::PlotData(std::size_t mostColumns) : mostColumns_(std::max<std::size_t>(2, mostColumns)) {}

void PlotData::add(const Recording& part) {
    timed_ = part.timed;
    if (usualStep_ > 0) {
        for (std::size_t i = 0; i < part.rows(); ++i) reduce(part, i);
        return;
    }
    waiting_.timed = part.timed;
    waiting_.appendRows(part);
    if (waiting_.rows() >= kStepSampleRows) startReducing();
}

void PlotData::startReducing() {
    usualStep_ = usualStep(waiting_);
    Recording rows = std::move(waiting_);
    waiting_ = Recording();
    for (std::size_t i = 0; i < rows.rows(); ++i) reduce(rows, i);
}

void PlotData::finish() {
    if (usualStep_ == 0) startReducing();
    if (lastState_ >= 0) addStateTime(lastX_, lastX_ + usualStep_, lastState_);
    lastState_ = -1;
}

void PlotData::reduce(const Recording& rows, std::size_t i) {
    const double x = rows.x[i];
    const bool pause = timed_ && (x - lastX_ > kBreakAfterSteps * usualStep_ || x < lastX_);
    const bool newLine = rows_ == 0 || rows.runStart[i] || pause;
    // The last row's state held until this row, or a usual step where the line breaks.
    if (lastState_ >= 0) addStateTime(lastX_, newLine ? lastX_ + usualStep_ : x, lastState_);
    Column& column = columnAt(x);
    for (int q = 0; q < kQuantities; ++q) {
        const float value = rows.values[q][i];
        if (newLine || std::isnan(value)) lineBroken_[q] = true;
        if (std::isnan(value)) continue;
        column.values[q].add(x, value);
        column.broken[q] = column.broken[q] || lineBroken_[q];
        lineBroken_[q] = false;
        ranges_[q].low = std::min<double>(ranges_[q].low, value);
        ranges_[q].high = std::max<double>(ranges_[q].high, value);
    }
    lastState_ = rows.states[i];
    lastX_ = x;
    first_ = std::min(first_, x);
    last_ = std::max(last_, x);
    ++rows_;
}

PlotData::Column& PlotData::columnAt(double x) {
    std::int64_t n = columnNumber(x, width_);
    if (columns_.empty()) firstColumn_ = n;
    auto held = [&] {
        std::int64_t last = firstColumn_ + static_cast<std::int64_t>(columns_.size()) - 1;
        return std::max(n, last) - std::min(n, firstColumn_) + 1;
    };
    while (held() > static_cast<std::int64_t>(mostColumns_)) {
        widen();
        n = columnNumber(x, width_);
    }
    for (; n < firstColumn_; --firstColumn_) columns_.emplace_front();
    while (n >= firstColumn_ + static_cast<std::int64_t>(columns_.size())) columns_.emplace_back();
    return columns_[static_cast<std::size_t>(n - firstColumn_)];
}

void PlotData::widen() {
    std::deque<Column> wider;
    const std::int64_t firstWider = widerNumber(firstColumn_);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        std::size_t at = static_cast<std::size_t>(widerNumber(firstColumn_ + static_cast<std::int64_t>(i)) - firstWider);
        if (at == wider.size()) wider.emplace_back();
        wider[at].join(columns_[i]);
    }
    columns_ = std::move(wider);
    firstColumn_ = firstWider;
    width_ *= 2;
}

void PlotData::addStateTime(double from, double to, int state) {
    while (from < to) {
        Column& column = columnAt(from);
        double end = std::min(to, (std::floor(from / width_) + 1) * width_);
        column.stateTime[state] += static_cast<float>(end - from);
        from = end;
    }
}

int PlotData::shownState(const Column& column) const {
    auto longest = std::max_element(column.stateTime.begin(), column.stateTime.end());
    float covered = 0;
    for (float held : column.stateTime) covered += held;
    if (*longest <= 0 || *longest < width_ - covered) return -1;
    return static_cast<int>(longest - column.stateTime.begin());
}

std::string PlotData::seriesData(Quantity quantity) const {
    const int q = static_cast<int>(quantity);
    SeriesWriter writer;
    for (const Column& column : columns_) {
        const Extremes& e = column.values[q];
        if (!e.any) continue;
        if (column.broken[q]) writer.lineBreak();
        if (e.lowX == e.highX) writer.point(e.lowX, e.low);
        else if (e.lowX < e.highX) writer.point(e.lowX, e.low), writer.point(e.highX, e.high);
        else writer.point(e.highX, e.high), writer.point(e.lowX, e.low);
    }
    return writer.take();
}

std::string PlotData::stateBands(std::vector<int>& present) const {
    struct StateRun {
        double from, to;
        int state;
    };
    std::vector<StateRun> runs;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        int state = shownState(columns_[i]);
        if (state < 0) continue;
        double from = static_cast<double>(firstColumn_ + static_cast<std::int64_t>(i)) * width_;
        if (!runs.empty() && runs.back().state == state && runs.back().to == from)
            runs.back().to = from + width_;
        else
            runs.push_back(StateRun{from, from + width_, state});
    }
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
