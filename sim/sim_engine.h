// SimEngine: the whole simulated charger behind one byte stream. Bytes from
// the host go in, the bytes the device sends come out, and a clock in
// microseconds is passed in by the caller, so the engine runs the same under
// a test as behind a pseudo-terminal.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/device_registers.h"
#include "sim/eeprom_window.h"
#include "sim/hex_responder.h"
#include "sim/line_device.h"
#include "sim/line_pacer.h"
#include "sim/sim_random.h"
#include "sim/sim_settings.h"

namespace tessline {

class SimEngine : public LineDevice {
public:
    // `now` is the start of the simulated run on the caller's clock.
    SimEngine(const SimSettings& settings, EepromWindow eeprom, std::int64_t now);
    SimEngine(const SimEngine&) = delete;
    SimEngine& operator=(const SimEngine&) = delete;

    // Bytes the host wrote, read from the line at `now`.
    void receive(const std::string& bytes, std::int64_t now) override;
    // Runs everything due by `now`: the model, arrived requests, TEXT blocks.
    void advance(std::int64_t now) override;
    // The bytes the line carries at `now`. A message already begun is always
    // finished before the next one starts, so no TEXT block cuts into a HEX
    // answer and no answer into a block.
    std::string takeSendable(std::int64_t now) override;
    // The next time something is due; `now` when output waits for the line.
    std::int64_t nextWakeup(std::int64_t now) const override;
    // The host closed the line: what was on its way is lost.
    void clientGone() override;

    // Called with each whole message when its first byte goes out.
    void onMessageSent(SentObserver observer) override {
        sentObserver_ = std::move(observer);
    }

    const DeviceModel& model() const { return model_; }
    const DeviceProfile& profile() const { return settings_.profile; }

private:
    struct Outgoing {
        std::int64_t readyAt;
        std::string bytes;
        bool textBlock;
    };
    struct Received {
        std::int64_t arrivesAt;
        char byte;
    };

    std::int64_t nextEventTime() const;
    void moveModelTo(std::int64_t at);
    void takeArrivedByte();
    void sendDueBlock(std::int64_t now);
    void answerRequest(const HexMsg& request, std::int64_t now);
    void answerDamagedFrame(std::int64_t now);
    void sendTextBlock(std::int64_t at);
    bool corruptsBlock(std::int64_t at) const;
    bool isNoise(std::int64_t at) const;
    void enqueue(std::string bytes, std::int64_t readyAt, bool textBlock);
    bool startNextMessage(std::int64_t now);
    bool outputReady(std::int64_t now) const;

    SimSettings settings_;
    std::int64_t start_;
    DeviceModel model_;
    EepromWindow eeprom_;
    DeviceRegisters registers_;
    HexResponder responder_;
    RequestReader reader_;
    LinePacer pacer_;
    SimRandom garbage_;

    std::deque<Received> incoming_;
    std::deque<Outgoing> outgoing_;  // in order of readiness
    std::string current_;
    std::size_t currentSent_ = 0;
    std::int64_t nextBlockAt_;
    unsigned answers_ = 0;
    unsigned blocks_ = 0;
    std::function<void(std::int64_t, const std::string&)> sentObserver_;
};

}  // namespace tessline
