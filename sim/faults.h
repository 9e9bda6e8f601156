// The faults tests ask for on the way out: corrupted and noisy bytes, and
// the garbage a module at the wrong line speed produces.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "outgoing.h"
#include "sim_options.h"

namespace tolvane::sim {

class Faults {
public:
    explicit Faults(const SimOptions& options) : options_(options), random_(options.seed) {}

    // The bytes that go on the line for one message: its frame or sentence,
    // with noise before it and a flipped byte in it as the options ask.
    std::vector<std::uint8_t> Encode(const Outgoing& message);

    // What the host hears when its line speed differs from the module's:
    // no byte arrives as sent.
    void Garble(std::uint8_t* bytes, std::size_t count);

private:
    bool Chance(double p) { return p > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < p; }

    const SimOptions& options_;
    std::mt19937 random_;
};

} // namespace tolvane::sim
