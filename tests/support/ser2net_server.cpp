#include "support/ser2net_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace tolvane {
namespace {

// Whether /proc/net/tcp lists 127.0.0.1:`port` listening; looking there
// takes no connection from the server.
bool ListensOn(int port)
{
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A") return true;
    }
    return false;
}

// Bound to a loopback port of the system's choosing, which `port` tells.
int LoopbackSocket(int& port, int receiveBuffer = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace

int FreeLoopbackPort()
{
    int port = 0;
    ::close(LoopbackSocket(port));
    return port;
}

HoldingPeer::HoldingPeer(const std::vector<std::uint8_t>& bytes, int receiveBuffer)
{
    const int listener = LoopbackSocket(port_, receiveBuffer);
    if (::listen(listener, 1) == 0) pid_ = ::fork();
    if (pid_ == 0) {
        // System calls only from here on: the parent has threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int peer = ::accept(listener, nullptr, nullptr);
        for (ssize_t n = 0, sent = 0; peer >= 0 && n >= 0 && sent < std::ssize(bytes); sent += n)
            n = ::write(peer, bytes.data() + sent, bytes.size() - static_cast<std::size_t>(sent));
        for (;;) ::pause();
    }
    ::close(listener);
}

HoldingPeer::~HoldingPeer()
{
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

Ser2NetServer::Ser2NetServer(const std::string& folder, const std::string& device, bool rfc2217, int baud)
    : config_(folder + "/ser2net.yaml"), port_(FreeLoopbackPort()), rfc2217_(rfc2217)
{
    std::ofstream(config_) << "connection: &compass\n"
                           << "  accepter: " << (rfc2217 ? "telnet(rfc2217),tcp" : "tcp") << ",127.0.0.1," << port_
                           << "\n"
                           << "  connector: serialdev," << device << "," << baud << "n81,local\n"
                           << "  options:\n"
                           << "    kickolduser: true\n";
    Start();
}

std::string Ser2NetServer::Path() const
{
    return std::string(rfc2217_ ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port_);
}

bool Ser2NetServer::Start()
{
    Stop();
    if (::access(TOLVANE_SER2NET_PATH, X_OK) != 0) return false;
    process_ = std::make_unique<SimProcess>(TOLVANE_SER2NET_PATH, std::vector<std::string>{"-n", "-c", config_});
    for (int i = 0; i < 300 && !listening_; ++i) {
        listening_ = ListensOn(port_);
        if (!listening_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return listening_;
}

void Ser2NetServer::Stop()
{
    if (process_) process_->Stop(SIGKILL);
    process_.reset();
    listening_ = false;
}

} // namespace tolvane
