#pragma once
// Pseudo-random numbers that are the same on every machine and compiler: SplitMix64 steps,
// uniform doubles from their top 53 bits, and Gaussian pairs by the Box-Muller transform.
// The standard library's distributions are not specified bit for bit, so the simulator does
// not use them where its output must repeat.

#include <cmath>
#include <cstdint>
#include <utility>

namespace hvk32::sim {

// One SplitMix64 output for a state.
inline std::uint64_t mix64(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ull;

// A uniform double in [0, 1) from 64 random bits.
inline double unitInterval(std::uint64_t bits) { return static_cast<double>(bits >> 11) * 0x1.0p-53; }

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() { return mix64(state_ += kGoldenGamma); }
    double uniform(double low, double high) { return low + (high - low) * unitInterval(next()); }
    bool chance(double probability) { return unitInterval(next()) < probability; }

private:
    std::uint64_t state_;
};

// Two independent standard normal numbers drawn from `key` alone, so that any draw can be
// made again without the ones before it.
inline std::pair<double, double> gaussianPair(std::uint64_t key)
{
    constexpr double kTwoPi = 6.28318530717958647692;
    const double u1 = 1.0 - unitInterval(mix64(key + kGoldenGamma)); // (0, 1]: the logarithm stays finite
    const double u2 = unitInterval(mix64(key + 2 * kGoldenGamma));
    const double radius = std::sqrt(-2.0 * std::log(u1));
    return {radius * std::cos(kTwoPi * u2), radius * std::sin(kTwoPi * u2)};
}

} // namespace hvk32::sim
