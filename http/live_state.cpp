#include "http/live_state.h"

#include <nlohmann/json.hpp>

#include "publish/device_payloads.h"
#include "publish/mqtt_publisher.h"

namespace tessline {

namespace {

// Rows come every second or faster; none for this long means trouble even
// while the link counts as up.
constexpr std::time_t kStaleRowSeconds = 60;

DeviceLabels labelsOf(const Identity& identity) {
    return {identity.manufacturer, identity.model, identity.serialNumber, identity.softwareVersion,
            productIdText(identity)};
}

}  // namespace

LiveState::LiveState(std::string version, const BrokerHealth* broker)
    : version_(std::move(version)), broker_(broker) {}

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
    if (sink_) sink_("link", linkJson(true, ""));
}

void LiveState::onRow(const TableRow& row) {
    std::string state;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!builder_) return;
        state = builder_->buildState(row);
        state_ = state;
        lastRow_ = row;
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
    if (sink_) sink_("link", linkJson(false, reason));
}

std::string LiveState::metrics() const {
    ServiceHealth health;
    std::shared_ptr<const MetricsPage> page;
    std::optional<TableRow> row;
    std::optional<DeviceLabels> device;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        page = metricsPage_;
        row = lastRow_;
        device = device_;
        health.linkUp = linkUp_;
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
    return linkJson(linkUp_, lossReason_);
}

std::optional<std::string> LiveState::trouble(std::time_t now) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!linkUp_ && !lossReason_.empty()) return "link lost: " + lossReason_;
    if (!lastRow_) return std::string("no row yet");
    if (now - lastRow_->time > kStaleRowSeconds)
        return "no row for " + std::to_string(now - lastRow_->time) + " s";
    return std::nullopt;
}

std::string LiveState::linkJson(bool up, const std::string& reason) {
    nlohmann::json link = {{"up", up}};
    if (!up && !reason.empty()) link["reason"] = reason;
    return link.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tessline
