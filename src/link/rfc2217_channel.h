// A network port spoken to over Telnet with the COM-PORT-OPTION
// ("rfc2217://HOST:PORT"): the Telnet client sits inside, so the reader
// gets only the module's bytes, a request's 0xFF goes out doubled, and the
// program's rate, 8N1 and DTR/RTS off reach the remote port. A server that
// answers none of the negotiation is a plain relay and is used as raw TCP.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "link/tcp_channel.h"
#include "link/telnet.h"

namespace tolvane {

class Rfc2217Channel : public TcpChannel {
public:
    // `client` has made `start`, what it asks the server first; from the
    // reader's start on the client is the reader's.
    Rfc2217Channel(int fd, NetworkPort address, const TelnetClient& client, std::vector<std::uint8_t> start);

    ChannelRead Read(short revents, ChannelBytes& got) override;
    // Sends the start and the line, and gives the server up to 0.5 s to
    // confirm the rate; one that does not is named in `notice`.
    PortProbe Begin(int baud, const ChannelWait& wait, std::string& notice) override;
    PortProbe Retune(int baud, const ChannelWait& wait) override;
    bool Write(const std::uint8_t* frame, std::size_t size) override;

private:
    // Sets the remote port's rate and waits briefly for the server to
    // confirm it; false when it does not.
    bool SetRemoteRate(int baud, const ChannelWait& wait);

    TelnetClient telnet_;
    std::vector<std::uint8_t> start_;
    std::vector<std::uint8_t> decoded_, replies_; // the reader's, reused
    int lineBaud_ = 0;                             // the rate last asked of the server
    std::atomic<std::uint32_t> baudReported_{0};
    std::atomic<bool> comPortRefused_{false};
    std::atomic<bool> spokeTelnet_{false}; // the server answered the negotiation
    std::atomic<bool> raw_{false};         // no Telnet after all: a plain relay
};

} // namespace tolvane
