// The link over a serial port: opens a numbered port on its configured
// device (termios), runs the reader thread that turns the byte stream into
// messages, queues them for the user-interface thread and writes requests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_link.h"

namespace tolvane {

// Bound of the message queue unless the link is built with another.
inline constexpr std::size_t kDefaultQueueCapacity = 256;

class SerialLink : public DeviceLink {
public:
    explicit SerialLink(std::size_t queueCapacity = kDefaultQueueCapacity);
    ~SerialLink() override; // closes
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    void SetPortMap(const PortMap& map);
    // Folders searched for UUCP lock files; /run/lock and /var/lock by default.
    void SetLockDirectories(std::vector<std::string> directories);

    // The notify callback runs on the reader thread with the queue's lock
    // held, so that no call comes after Close returns; it takes effect at
    // the next Open.
    void SetNotify(std::function<void()> notify) override;
    void SetCapture(CaptureSink* sink) override;
    const PortMap& Ports() const override;
    void SetPortPath(int port, std::string path) override;
    PortProbe Probe(int port) const override;

    using DeviceLink::Open;
    int Open(int port, int baud, PortProbe* why) override;
    // Stops the reader (waiting at most 2000 ms), restores the line settings
    // found at open and closes the device.
    void Close() override;
    std::int32_t Send(const OutgoingRequest& request) override;
    TakeResult TakeMessage(DeviceMessage& message) override;
    int PortNumber() const override;
    bool ReaderRunning() const override;
    std::uint64_t DroppedCount() const override;
    LinkCounters Counters() const override;
    void DiscardInput() override;
    void SetWaitHook(std::function<void()> hook) override;
    std::string TakeNotice() override;

private:
    int OpenNetwork(int port, int baud, PortProbe* why);
    // Sends the Telnet client's `start` and the line, or finds that the
    // server does not set the line and says so once.
    void StartTelnet(int port, int baud, const std::string& path, std::vector<std::uint8_t> start);
    // Sets an RFC 2217 port's rate and waits briefly for the server to
    // confirm it; false when it does not.
    bool SetRemoteRate(int baud);
    // The open session's counts start again from now.
    void RestartCounts();

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Opens and locks the device of `port` as Open would, then closes it at
// once.
PortProbe ExaminePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});
ProbeResult ProbePortReason(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});
// True when the port could be used.
bool ProbePort(const PortMap& map, int port, const std::vector<std::string>& lockDirectories = {});

// The process holding a whole-file lock (flock) on the file `inode` of the
// filesystem on device `major`:`minor`, from the text of /proc/locks; 0
// when none is listed or its holder is not visible from here.
long FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, unsigned long inode);

} // namespace tolvane
