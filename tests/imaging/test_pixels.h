// Deterministic noise images for the imaging tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

inline std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}
