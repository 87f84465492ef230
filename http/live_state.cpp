#include "http/live_state.h"

#include <nlohmann/json.hpp>

#include "publish/device_payloads.h"
#include "publish/mqtt_publisher.h"

namespace tessline {

namespace {

// Rows have stopped when none came for twice their interval and a bit.
constexpr std::time_t kRowLateness = 5;

DeviceLabels labelsOf(const Identity& identity) {
    return {identity.manufacturer, identity.model, identity.serialNumber, identity.softwareVersion,
            productIdText(identity)};
}

}  // namespace

LiveState::LiveState(std::string version, std::shared_ptr<const BrokerHealth> broker, LineWatch line)
    : version_(std::move(version)), broker_(std::move(broker)), line_(line) {}

void LiveState::setEventSink(EventSink sink) { sink_ = std::move(sink); }

void LiveState::onTableStart(const Identity& identity, const DeviceInfo& info,
                             const std::vector<TableColumn>& columns) {
    auto page = std::make_shared<const MetricsPage>(columns);
    auto builder = std::make_unique<StateMessageBuilder>(columns);
    std::string infoJson = infoPayload(identity, info);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        metricsPage_ = std::move(page);
        builder_ = std::move(builder);
        device_ = labelsOf(identity);
        info_ = std::move(infoJson);
        history_.setColumns(columns);
        lastRow_.reset();
        linkUp_ = true;
        lossReason_.clear();
    }
    if (sink_) sink_("link", linkEvent());
}

void LiveState::onRow(const TableRow& row) {
    std::string state;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!builder_) return;
        state = builder_->buildState(row);
        state_ = state;
        lastRow_ = row;
        if (rows_ > 0 && row.time > lastRowTime_) rowInterval_ = row.time - lastRowTime_;
        lastRowTime_ = row.time;
        history_.add(row);
        ++rows_;
    }
    if (sink_) sink_("row", state);
}

void LiveState::onLinkLost(const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        linkUp_ = false;
        lossReason_ = reason;
        lastRow_.reset();
        ++losses_;
    }
    if (sink_) sink_("link", linkEvent());
}

std::string LiveState::metrics() const {
    ServiceHealth health;
    std::shared_ptr<const MetricsPage> page;
    std::optional<TableRow> row;
    std::optional<DeviceLabels> device;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A silent line's last values are not today's: left out, as after a loss.
        const bool silent = silence().has_value();
        page = metricsPage_;
        if (!silent) row = lastRow_;
        device = device_;
        health.linkUp = linkUp_ && !silent;
        health.rows = rows_;
        health.linkLosses = losses_;
        health.lastRowTime = lastRowTime_;
    }
    if (broker_) {
        health.mqttOn = true;
        health.mqttConnected = broker_->connected;
        health.mqttDropped = broker_->dropped;
    }
    // Before the first table there are no columns, only the health.
    static const MetricsPage kNoTable(std::vector<TableColumn>{});
    const MetricsPage& metricsPage = page ? *page : kNoTable;
    return metricsPage.render(row ? &*row : nullptr, device ? &*device : nullptr, health, version_);
}

std::optional<std::string> LiveState::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

std::optional<std::string> LiveState::info() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return info_;
}

std::string LiveState::history() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return history_.json();
}

std::string LiveState::linkEvent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<std::string> quiet = silence();
    const bool up = linkUp_ && !quiet;
    nlohmann::json link = {{"up", up}};
    const std::string& reason = quiet ? *quiet : lossReason_;
    if (!up && !reason.empty()) link["reason"] = reason;
    if (!up && (rows_ > 0 || (line_.activity && line_.activity->seenAny()))) link["since"] = lastDataTime();
    return link.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::string> LiveState::trouble(std::time_t now) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!linkUp_ && !lossReason_.empty()) return "link lost: " + lossReason_;
    if (std::optional<std::string> quiet = silence()) return "link lost: " + *quiet;
    if (!lastRow_) return std::string("no row yet");
    if (now - lastRow_->time > 2 * rowInterval_ + kRowLateness)
        return "no row for " + std::to_string(now - lastRow_->time) + " s";
    return std::nullopt;
}

std::optional<std::string> LiveState::silence() const {
    if (!linkUp_ || !line_.activity || line_.silenceTimeout.count() <= 0 || !line_.activity->seenAny())
        return std::nullopt;
    if (LineActivity::Clock::now() - line_.activity->lastValidFrame() < line_.silenceTimeout) return std::nullopt;
    // In the words of a reconnecting run's loss, and the same each time asked.
    return "no data for " + std::to_string(line_.silenceTimeout.count()) + " s";
}

std::time_t LiveState::lastDataTime() const {
    if (!line_.activity || !line_.activity->seenAny()) return lastRowTime_;
    // Both clocks run at one pace, so this stays the same from call to call.
    const auto at = std::chrono::system_clock::now() - (LineActivity::Clock::now() - line_.activity->lastValidFrame());
    return std::chrono::duration_cast<std::chrono::seconds>(at.time_since_epoch()).count();
}

}  // namespace tessline
