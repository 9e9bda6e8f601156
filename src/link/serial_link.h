// The link: opens a numbered port on the channel its path names (a serial
// device, or a network port), runs the one reader thread that turns the
// channel's bytes into messages, queues them for the user-interface thread
// and writes requests through the channel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/byte_channel.h"
#include "link/device_link.h"
#include "link/port_channel.h"

namespace tolvane {

class SharedReader;

// Bound of the message queue unless the link is built with another.
inline constexpr std::size_t kDefaultQueueCapacity = 256;

class SerialLink : public DeviceLink {
public:
    explicit SerialLink(std::size_t queueCapacity = kDefaultQueueCapacity);
    ~SerialLink() override; // closes
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    void SetPortMap(const PortMap& map);
    // Channels that never wait for room (terminals) are read by `reader`,
    // shared with other links, from the next open on; null: by a thread of
    // the link's own.
    void SetSharedReader(std::shared_ptr<SharedReader> reader);
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
    int OpenChannel(std::unique_ptr<ByteChannel> channel, int port, PortProbe* why = nullptr) override;
    // Stops the reader (waiting at most 2000 ms), then lets the channel
    // undo what opening changed (a terminal's line settings are restored).
    void Close() override;
    std::int64_t Send(const OutgoingRequest& request) override;
    TakeResult TakeMessage(DeviceMessage& message) override;
    int PortNumber() const override;
    bool ReaderRunning() const override;
    std::uint64_t DroppedCount() const override;
    LinkCounters Counters() const override;
    void DiscardInput() override;
    void SetWaitHook(std::function<void()> hook) override;
    std::string TakeNotice() override;

private:
    // Starts the reader on `channel` and lets the channel finish opening.
    int Start(std::unique_ptr<ByteChannel> channel, int port, int baud, const std::string& path, PortProbe* why);
    // The same port, still open: only the rate changes, on the live channel.
    int Retune(int port, int baud, PortProbe* why);
    // The open session's counts start again from now.
    void RestartCounts();

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tolvane
