// The receive path byte by byte, as the link's reader thread runs it: the
// HEX decoder and the TEXT framing, with listeners on the frame and field
// signals. Reports nanoseconds per byte.
#include <benchmark/benchmark.h>

#include <boost/signals2/signal.hpp>

#include "hex/hex_frame.h"
#include "link/receive_path.h"
#include "link/text_framer.h"

namespace {

std::string sealed(std::string body) {
    body += "\r\nChecksum\t";
    unsigned sum = 0;
    for (char c : body) sum += static_cast<unsigned char>(c);
    body += static_cast<char>((0x100 - sum % 256) % 256);
    return body;
}

// One second of line traffic: a TEXT block of a charger with load output and
// history, and the answers to the ten register reads of a dump period.
std::string oneSecond() {
    std::string block = sealed(
        "\r\nPID\t0xA053\r\nFW\t116\r\nSER#\tHQ1234ABCDE\r\nV\t12840\r\nI\t4200\r\nVPV\t35100\r\nPPV\t58"
        "\r\nCS\t3\r\nMPPT\t2\r\nOR\t0x00000000\r\nERR\t0\r\nLOAD\tON\r\nIL\t300\r\nH19\t1234\r\nH20\t12"
        "\r\nH21\t310\r\nH22\t15\r\nH23\t298\r\nHSDS\t12");
    std::string answers;
    for (int i = 0; i < 10; ++i) answers += ":7D5ED00410546\n";
    return block + answers;
}

// Feeds the stream through the link's receive path with listeners on the
// frame and field signals; `byteListener` adds one on every byte, as the
// traffic dump (-d) does.
void runReceivePath(benchmark::State& state, bool byteListener) {
    tessline::ReceivePath::ByteSignal rxChar;
    tessline::ReceivePath::FrameSignal rxHexMsg;
    tessline::ReceivePath::FieldSignal rxTextField;
    tessline::ReceivePath path(rxChar, rxHexMsg, rxTextField);
    std::size_t frames = 0, fields = 0, bytes = 0;
    rxHexMsg.connect([&](const tessline::HexMsg& msg) { frames += msg.size() > 0; });
    rxTextField.connect([&](const std::string& l, const std::string&) { fields += !l.empty(); });
    if (byteListener) rxChar.connect([&](char c) { bytes += c != 0; });

    const std::string stream = oneSecond();
    for (auto _ : state) {
        for (char c : stream) path.feed(c);
    }
    benchmark::DoNotOptimize(frames + fields + bytes);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations() * stream.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["fields_per_pass"] = static_cast<double>(fields) / static_cast<double>(state.iterations());
}

void receivePath(benchmark::State& state) { runReceivePath(state, false); }
BENCHMARK(receivePath)->Unit(benchmark::kMicrosecond);

void receivePathWithTrafficDump(benchmark::State& state) { runReceivePath(state, true); }
BENCHMARK(receivePathWithTrafficDump)->Unit(benchmark::kMicrosecond);

// The same bytes through the decoder and the framing without the signals,
// to tell their share from that of the signal emissions.
void framingOnly(benchmark::State& state) {
    tessline::HexFrameDecoder decoder;
    std::size_t fields = 0, frames = 0;
    tessline::TextFramer framer([&](const std::string& l, const std::string&) { fields += !l.empty(); });
    const std::string stream = oneSecond();
    for (auto _ : state) {
        for (char c : stream) {
            frames += decoder.feed(c);
            framer.feed(c);
        }
    }
    benchmark::DoNotOptimize(frames + fields);
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations() * stream.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(framingOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
