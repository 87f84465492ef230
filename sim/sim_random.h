// Deterministic pseudo-random numbers for the simulator: the same seed gives
// the same device on every platform, which the standard distributions do not
// promise.
#pragma once

#include <cstdint>

namespace tessline {

// One SplitMix64 step: a well-mixed 64-bit value for any input.
inline std::uint64_t mixBits(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A value in [0, 1) that depends only on seed and key: no state, so the
// result does not depend on how often or in which order it is asked.
inline double unitNoise(std::uint64_t seed, std::uint64_t key) {
    return double(mixBits(seed ^ mixBits(key)) >> 11) * 0x1.0p-53;
}

class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() { return mixBits(state_++); }
    std::uint8_t nextByte() { return static_cast<std::uint8_t>(next() >> 56); }
    double nextUnit() { return double(next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state_;
};

}  // namespace tessline
