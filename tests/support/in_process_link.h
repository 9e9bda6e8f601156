// A link in process, for tests of the frame, the dialogs and the views:
// the test plays the compass by delivering messages, sees every request
// sent, decides which ports open, and can pull the cable. Everything runs
// on the test's thread; the notify callback is called at once.
#pragma once

#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "link/byte_channel.h"

namespace tolvane::test {

class InProcessLink : public DeviceLink {
public:
    // Ports that open, and why the others do not (Missing by default).
    void SetProbe(int port, PortProbe probe) { probes_[port] = probe; }

    // The compass sends `message`: queued, and the frame notified.
    void Deliver(const DeviceMessage& message)
    {
        queue_.push_back(message);
        if (notify_) notify_();
    }

    // The reader ends on its own, as when the cable is pulled: the port
    // still counts as open until closed.
    void PullCable()
    {
        cablePulled_ = true;
        if (notify_) notify_();
    }

    // Every request handed to Send, taken or refused: a test of "nothing
    // is sent" must not pass just because the port is closed.
    std::vector<OutgoingRequest> sent;
    std::vector<std::pair<int, int>> opened; // port and baud of every successful Open

    void SetNotify(std::function<void()> notify) override { notify_ = std::move(notify); }
    void SetCapture(CaptureSink*) override {}
    const PortMap& Ports() const override { return ports_; }
    void SetPortPath(int port, std::string path) override { ports_.SetPath(port, std::move(path)); }
    PortProbe Probe(int port) const override
    {
        const auto it = probes_.find(port);
        return it == probes_.end() ? PortProbe(ProbeResult::Missing) : it->second;
    }

    using DeviceLink::Open;
    int Open(int port, int baud, PortProbe* why) override
    {
        Close();
        const PortProbe found = Probe(port);
        if (why) *why = found;
        if (found.reason != ProbeResult::Free) return -1;
        port_ = port;
        cablePulled_ = false;
        opened.emplace_back(port, baud);
        return port;
    }
    // The test plays the compass itself: a channel of the program's is refused.
    int OpenChannel(std::unique_ptr<ByteChannel>, int, PortProbe*) override { return -1; }
    void Close() override { port_ = -1; }
    std::int64_t Send(const OutgoingRequest& request) override
    {
        sent.push_back(request);
        return port_ == -1 || request.length > kMaxSentPayload ? -1 : 0;
    }
    TakeResult TakeMessage(DeviceMessage& message) override
    {
        if (queue_.empty()) return kEmpty;
        message = queue_.front();
        queue_.pop_front();
        return kTaken;
    }
    int PortNumber() const override { return port_; }
    bool ReaderRunning() const override { return port_ != -1 && !cablePulled_; }
    std::uint64_t DroppedCount() const override { return counters.dropped; }
    LinkCounters Counters() const override { return port_ == -1 ? LinkCounters{} : counters; }
    void DiscardInput() override { queue_.clear(); }
    void SetWaitHook(std::function<void()>) override {}
    std::string TakeNotice() override { return {}; }

    // What Counters reports while a port is open.
    LinkCounters counters;

private:
    PortMap ports_;
    std::map<int, PortProbe> probes_;
    std::function<void()> notify_;
    std::deque<DeviceMessage> queue_;
    int port_ = -1;
    bool cablePulled_ = false;
};

} // namespace tolvane::test
