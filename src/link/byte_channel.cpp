#include "link/byte_channel.h"

#include <unistd.h>

#include <cerrno>

namespace tolvane {

ChannelRead ReadDescriptor(int fd, short revents, std::uint8_t (&buffer)[kReadChunk], ChannelBytes& got)
{
    if ((revents & (POLLIN | POLLHUP)) == 0) return ChannelRead::Nothing;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return ChannelRead::Ended;
    if (n < 0) {
        if (errno == EINTR) return ChannelRead::Nothing;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && (revents & POLLHUP) == 0) return ChannelRead::Nothing;
        return ChannelRead::Ended;
    }
    got.bytes = buffer;
    got.count = static_cast<std::size_t>(n);
    return ChannelRead::Bytes;
}

} // namespace tolvane
