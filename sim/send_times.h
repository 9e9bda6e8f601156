// --send-times: the moment each orientation message's last byte went to the
// terminal, on the steady clock every process of the machine shares, so a
// host on the same machine can measure its delay from send to handling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

#include "outgoing.h"

namespace tolvane::sim {

class SendTimes {
public:
    ~SendTimes();
    bool Open(const std::string& path, std::string& error);

    // `message`, encoded to `size` bytes, joins the line after every byte
    // queued before it.
    void Queued(const Outgoing& message, std::size_t size);
    // The next `count` bytes of the line reached the terminal at `steadyNs`
    // (written) or were thrown away with no host listening (not written).
    // Each message finished by a write gives a line "<steady ns> <azimuth>".
    void Left(std::size_t count, std::int64_t steadyNs, bool written);

private:
    struct Pending {
        std::uint64_t end; // line position just past the message's last byte
        std::uint16_t azimuth;
    };
    std::FILE* file_ = nullptr;
    std::uint64_t queuedEnd_ = 0;
    std::uint64_t left_ = 0;
    std::deque<Pending> pending_;
};

} // namespace tolvane::sim
