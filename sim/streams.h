// What the module sends on its own: the power-up announcement, orientation
// at the interval in force (or back to back in burst mode), heading
// sentences, GPS fixes and compensation progress. Pure, with time passed in.
#pragma once

#include <cstdint>
#include <vector>

#include "compass_module.h"
#include "outgoing.h"
#include "replies.h"

namespace tolvane::sim {

class Streams {
public:
    // While a compensation run goes on, its progress goes out this often.
    static constexpr std::int64_t kProgressMs = 500;

    Streams(CompassModule& module, const Replier& replier);

    // Everything due by `nowMs`. `lineReady` says the line is about to run
    // out of bytes, which is when burst mode adds its next message (so the
    // messages follow each other without a gap).
    std::vector<Outgoing> Due(std::int64_t nowMs, bool lineReady);
    // When the next message falls due, for the caller's wait; -1 for none.
    std::int64_t NextDueMs() const;

private:
    Outgoing OrientationMessage(Orientation o) const;
    Outgoing HeadingSentence(bool magnetic) const;
    Outgoing Rmc(std::int64_t nowMs) const;
    Outgoing Gpvt(std::int64_t nowMs) const;

    CompassModule& module_;
    const Replier& replier_;
    bool announced_ = false;
    std::int64_t nextOrientation_ = 0;
    std::int64_t nextNmea_ = 0;
    std::int64_t nextGps_ = 0;
    std::int64_t nextProgress_ = -1;
    std::uint16_t sequence_ = 0;
};

} // namespace tolvane::sim
