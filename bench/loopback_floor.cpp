// What the gateway's work costs this machine before any of the gateway's
// own: the system calls it cannot do without, made by the plainest loop.
// For MODULES modules at 320 orientation messages a second, each message
// is one send of its two sentences (80 bytes) to each of CLIENTS loopback
// TCP clients (TCP_NODELAY, as the gateway serves them) and one 48-byte
// append to the module's log; a child process reads every client. Prints
// the CPU of the sending process as a share of one core: the gateway's
// figure from gateway_bench cannot be lower than this on the same machine.
// With PASS_US, the loop wakes once every PASS_US microseconds and makes the
// calls of every message due by then, as the gateway's one thread for its
// terminals' modules does (0: a wake for each message).
//   loopback_floor [SECONDS [MODULES [CLIENTS [PASS_US]]]]   (10 s, 16 modules, 2 clients, 0)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "cpu_seconds.h"

namespace {

double Seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9; }

// Reads every client until they close.
[[noreturn]] void ReadClients(const sockaddr_in& server, int count)
{
    std::vector<pollfd> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) _exit(1);
        fds.push_back({fd, POLLIN, 0});
    }
    char chunk[65536];
    for (int open = count; open > 0 && ::poll(fds.data(), fds.size(), 5000) > 0;)
        for (pollfd& f : fds)
            if (f.fd >= 0 && f.revents != 0 && ::read(f.fd, chunk, sizeof chunk) <= 0) {
                ::close(f.fd);
                f.fd = -1;
                --open;
            }
    _exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int modules = argc > 2 ? std::atoi(argv[2]) : 16;
    const int clientsEach = argc > 3 ? std::atoi(argv[3]) : 2;
    const long passNs = argc > 4 ? std::atol(argv[4]) * 1000L : 0;
    if (seconds <= 0 || modules < 1 || clientsEach < 0 || passNs < 0) return std::fprintf(stderr, "bad arguments\n"), 2;

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof at;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(listener, 256) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length) != 0)
        return std::perror("listen"), 1;
    const pid_t reader = ::fork();
    if (reader == 0) ReadClients(at, modules * clientsEach);
    std::vector<int> clients;
    for (int i = 0; i < modules * clientsEach; ++i) {
        const int fd = ::accept(listener, nullptr, nullptr);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        clients.push_back(fd);
    }
    char folderName[] = "/tmp/loopback-floor-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(folderName);
    std::vector<int> logs;
    for (int m = 0; m < modules; ++m)
        logs.push_back(::open((dir / std::to_string(m)).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));

    const char sentences[80] = "$HCHDT,123.4,T*2C\r\n$HCXDR,A,-1.2,D,PTCH,A,2.5,D,ROLL*5A\r\n";
    const long everyNs = 1'000'000'000L / (320L * modules);
    const long total = static_cast<long>(seconds * 320.0 * modules);
    const double cpuStart = CpuSeconds();
    timespec start{}, next{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    next = start;
    const long stepNs = passNs > 0 ? passNs : everyNs;
    long elapsedNs = 0;
    for (long n = 0; n < total;) {
        next.tv_nsec += stepNs;
        if (next.tv_nsec >= 1'000'000'000L) {
            next.tv_nsec -= 1'000'000'000L;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        // The messages due by this wake: one a wake without a pass period.
        elapsedNs += stepNs;
        for (; n < total && (n + 1) * everyNs <= elapsedNs; ++n) {
            const int m = static_cast<int>(n % modules);
            for (int c = 0; c < clientsEach; ++c) ::send(clients[m * clientsEach + c], sentences, 80, MSG_NOSIGNAL);
            [[maybe_unused]] const ssize_t written = ::write(logs[m], sentences, 48);
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double span = Seconds(end) - Seconds(start);
    const double cpu = 100.0 * (CpuSeconds() - cpuStart) / span;
    for (int fd : clients) ::close(fd);
    ::waitpid(reader, nullptr, 0);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::printf("loopback_floor: %d modules x 320 messages a second for %.1f s: %.0f sends a second to %d clients "
                "and %.0f log appends\n",
                modules, span, static_cast<double>(total * clientsEach) / span, modules * clientsEach,
                static_cast<double>(total) / span);
    const std::string waking =
        passNs > 0 ? "waking every " + std::to_string(passNs / 1000) + " us" : "waking for each message";
    std::printf("  CPU of the plainest loop doing only these calls, %s: %.1f %% of one core\n", waking.c_str(), cpu);
    return 0;
}
