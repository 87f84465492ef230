// Any bytes a host may write, through the simulator's request handling: the
// device must answer only with whole, valid frames, and never with a frame
// cut short, whatever faults and profile the first bytes pick.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hex/hex_frame.h"
#include "sim/sim_engine.h"

namespace {

using namespace tessline;

SimSettings settingsFrom(std::uint8_t knobs) {
    SimSettings settings;
    settings.frozen = (knobs & 0x01) != 0;
    settings.throttle = (knobs & 0x02) != 0;
    settings.faults.sendText = false;  // keep the output all frames
    settings.faults.dropEveryAnswer = (knobs >> 2) & 0x03;
    settings.faults.receptionError = (knobs & 0x10) != 0;
    if (knobs & 0x20) settings.faults.receptionErrorWord = 0xAAAA;
    settings.profile.eepromAnswerBytes = (knobs & 0x40) ? 5 : 16;
    settings.profile.loadOutput = (knobs & 0x80) == 0;
    return settings;
}

// Every ":" of the output opens a frame that decodes.
void checkFrames(const std::string& out) {
    HexFrameDecoder decoder;
    std::size_t frames = 0;
    for (char c : out)
        if (decoder.feed(c)) ++frames;
    if (frames != std::size_t(std::count(out.begin(), out.end(), ':'))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    SimEngine engine(settingsFrom(data[0]), EepromWindow(1), 0);
    std::string out;
    std::int64_t now = 0;
    // Feed the input in chunks of varying size, a little time apart.
    for (std::size_t pos = 1; pos < size;) {
        std::size_t chunk = std::min<std::size_t>(size - pos, 1 + data[pos] % 16);
        engine.receive(std::string(reinterpret_cast<const char*>(data + pos), chunk), now);
        pos += chunk;
        now += 3000;
        engine.advance(now);
        out += engine.takeSendable(now);
    }
    // Drain what is left as the server loop does, waking when the engine
    // asks to, until the line has stayed quiet for a second.
    for (std::int64_t quietSince = now; now - quietSince < 1000000;) {
        now = std::max(now + 100, std::min(engine.nextWakeup(now), now + 10000));
        engine.advance(now);
        std::string sent = engine.takeSendable(now);
        if (!sent.empty()) quietSince = now;
        out += sent;
    }
    checkFrames(out);
    return 0;
}
