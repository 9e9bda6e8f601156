// The simulator's end of the line: a pseudo-terminal whose slave the host
// opens as its serial device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvane::sim {

class PtyPort {
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens the pair, sets the slave raw at `baud`, keeps a slave
    // descriptor so the host can close and reopen, and makes `link` (if
    // not empty) a symbolic link to the slave.
    bool Open(int baud, const std::string& link, std::string& error);
    // As an adapter pulled out: the host's reads end, the node and the
    // link go away.
    void Unplug();
    bool Plugged() const { return master_ >= 0; }

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Bytes from the host; 0 when none are waiting.
    std::size_t Read(std::uint8_t* buffer, std::size_t size);
    // Bytes to the host. What the terminal cannot take is lost, as on a
    // line nobody reads.
    void Write(const std::uint8_t* bytes, std::size_t count);
    // The speed the host has set on its end; 0 if unknown.
    int HostBaud() const;
    // Whether a host has the port open. While none has, what is sent is
    // lost, as on a line nobody listens to; the kernel would otherwise keep
    // it for the next open.
    bool HostConnected();

private:
    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1; // inotify descriptor watching the slave for opens and closes
    int opens_ = 0;
    std::string slavePath_;
    std::string link_;
};

} // namespace tolvane::sim
