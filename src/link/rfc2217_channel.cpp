#include "link/rfc2217_channel.h"

#include <chrono>
#include <utility>

#include "link/network_connect.h"

namespace tolvane {
namespace {
// How long an RFC 2217 server has to confirm a baud rate.
constexpr auto kBaudAckWait = std::chrono::milliseconds(500);
} // namespace

Rfc2217Channel::Rfc2217Channel(int fd, NetworkPort address, const TelnetClient& client,
                               std::vector<std::uint8_t> start)
    : TcpChannel(fd, std::move(address)), telnet_(client), start_(std::move(start))
{
}

ChannelRead Rfc2217Channel::Read(short revents, ChannelBytes& got)
{
    const ChannelRead read = TcpChannel::Read(revents, got);
    if (read != ChannelRead::Bytes || raw_.load(std::memory_order_relaxed)) return read;
    // Only the serial port's bytes go on; everything else is the Telnet conversation.
    decoded_.clear();
    replies_.clear();
    telnet_.Receive(got.bytes, got.count, decoded_, replies_);
    if (!replies_.empty() && !Queue(replies_)) return ChannelRead::Ended;
    baudReported_.store(telnet_.BaudRateReported());
    if (telnet_.ComPortRefused()) comPortRefused_.store(true);
    if (telnet_.Negotiated()) spokeTelnet_.store(true);
    if (decoded_.empty()) return ChannelRead::Nothing;
    got.bytes = decoded_.data();
    got.count = decoded_.size();
    return ChannelRead::Bytes;
}

PortProbe Rfc2217Channel::Begin(int baud, const ChannelWait& wait, std::string& notice)
{
    // The line as a local port is set: the rate, 8N1, DTR and RTS off.
    for (const auto& part :
         {TelnetClient::SetLine(static_cast<std::uint32_t>(baud)), TelnetClient::SetModemLines(false)})
        start_.insert(start_.end(), part.begin(), part.end());
    Queue(start_);
    lineBaud_ = baud;
    if (!SetRemoteRate(baud, wait) && !wait.ended()) {
        // A server that answered none of the negotiation is a plain relay:
        // its bytes are the module's own, 0xFF included, and so are ours to it.
        const bool plain = !spokeTelnet_.load();
        if (plain) raw_.store(true);
        notice = std::string("the server does not set the line (RFC 2217); ") +
                 (plain ? "the link is used as raw TCP." : "the line stays as the server has it.");
    }
    return TcpChannel::Begin(baud, wait, notice);
}

PortProbe Rfc2217Channel::Retune(int baud, const ChannelWait& wait)
{
    if (!raw_.load()) SetRemoteRate(baud, wait);
    lineBaud_ = baud;
    return TcpChannel::Retune(baud, wait);
}

bool Rfc2217Channel::Write(const std::uint8_t* frame, std::size_t size)
{
    if (raw_.load()) return TcpChannel::Write(frame, size);
    std::vector<std::uint8_t> escaped;
    TelnetClient::Escape(frame, size, escaped);
    return Queue(escaped.data(), escaped.size(), kMaxOutgoing);
}

bool Rfc2217Channel::SetRemoteRate(int baud, const ChannelWait& wait)
{
    // Only SET-BAUDRATE is answered for sure: a server in front of a
    // pseudo-terminal never confirms SET-CONTROL.
    const auto wanted = static_cast<std::uint32_t>(baud);
    if (lineBaud_ != baud) Queue(TelnetClient::SetLine(wanted));
    const bool confirmed = WaitWithHook(
        [&] { return baudReported_.load() == wanted || comPortRefused_.load() || wait.ended(); }, wait.hook,
        kBaudAckWait);
    return confirmed && baudReported_.load() == wanted && !comPortRefused_.load();
}

} // namespace tolvane
