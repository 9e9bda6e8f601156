#include "send_times.h"

#include <cerrno>
#include <cstring>

namespace tolvane::sim {

SendTimes::~SendTimes()
{
    if (file_) std::fclose(file_);
}

bool SendTimes::Open(const std::string& path, std::string& error)
{
    file_ = std::fopen(path.c_str(), "w");
    if (!file_) error = "cannot write " + path + ": " + std::strerror(errno);
    return file_ != nullptr;
}

void SendTimes::Queued(const Outgoing& message, std::size_t size)
{
    queuedEnd_ += size;
    if (!file_ || message.sentence || message.type != TypeByte(MessageType::Orientation) ||
        message.payload.size() < PayloadLength<Orientation>())
        return;
    PayloadReader reader(message.payload.data(), message.payload.size());
    pending_.push_back({queuedEnd_, Decode<Orientation>(reader).azimuth});
}

void SendTimes::Left(std::size_t count, std::int64_t steadyNs, bool written)
{
    left_ += count;
    while (!pending_.empty() && pending_.front().end <= left_) {
        if (written)
            std::fprintf(file_, "%lld %u\n", static_cast<long long>(steadyNs),
                         static_cast<unsigned>(pending_.front().azimuth));
        pending_.pop_front();
    }
}

} // namespace tolvane::sim
