// A module's NMEA 0183 output: a TCP server for up to 16 clients and any
// number of UDP destinations, driven by the event loop. Publish never
// waits: what a client cannot take at once waits in its queue, and a
// client whose queue passes 64 KiB is dropped, so a client that does not
// read costs no other client, the link or the recordings anything. Clients
// are sent sentences and nothing else; what they send is read and ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/event_loop.h"
#include "gateway/net_address.h"

namespace tolvane {

class NmeaServer : public PollSource {
public:
    static constexpr std::size_t kMaxClients = 16;
    static constexpr std::size_t kMaxQueue = 64 * 1024;

    NmeaServer() = default;
    ~NmeaServer() override;
    NmeaServer(const NmeaServer&) = delete;
    NmeaServer& operator=(const NmeaServer&) = delete;

    // Listens on `address`; port 0 takes a free one (see ListeningOn).
    // False with `error` ("127.0.0.1:10110: Address already in use").
    bool Listen(const SocketAddress& address, std::string& error);
    std::optional<SocketAddress> ListeningOn() const;
    // Sends each sentence to `destination` too, one sentence a datagram.
    bool AddDestination(const SocketAddress& destination, std::string& error);

    // `sentences`: whole sentences, each ending in CR LF.
    void Publish(std::string_view sentences);

    std::size_t ClientCount() const { return clients_.size(); }
    std::uint64_t DroppedClients() const { return droppedClients_; }   // for not reading
    std::uint64_t RefusedClients() const { return refusedClients_; }   // beyond the 16th
    std::uint64_t LostDatagrams() const { return lostDatagrams_; }     // the system would not take them

    // PollSource
    void CollectFds(std::vector<pollfd>& fds) const override;
    void OnReadable(int fd) override;
    void OnWritable(int fd) override;

private:
    struct Client {
        int fd = -1;
        std::string queue;     // bytes from `sent` on wait for the socket
        std::size_t sent = 0;
        std::size_t Waiting() const { return queue.size() - sent; }
    };

    void Accept();
    void Send(Client& client, std::string_view bytes);
    // Writes what the socket takes; false when the client has gone.
    bool Flush(Client& client);
    void Close(std::size_t index);
    Client* Find(int fd);

    int listenFd_ = -1;
    int udp4Fd_ = -1;
    int udp6Fd_ = -1;
    std::vector<Client> clients_;
    std::vector<SocketAddress> destinations_;
    std::uint64_t droppedClients_ = 0;
    std::uint64_t refusedClients_ = 0;
    std::uint64_t lostDatagrams_ = 0;
};

} // namespace tolvane
