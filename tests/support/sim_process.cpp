#include "sim_process.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

extern char** environ;

namespace tolvane {

using Clock = std::chrono::steady_clock;

SimProcess::SimProcess(const std::string& program, std::vector<std::string> args, std::vector<std::string> environment,
                       int captured)
{
    args.insert(args.begin(), program);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : environment) envp.push_back(e.data());
    // This process's environment, less what `environment` replaces.
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string name = std::string(*e).substr(0, std::string(*e).find('=') + 1);
        bool replaced = false;
        for (const auto& added : environment) replaced = replaced || added.starts_with(name);
        if (!replaced) envp.push_back(*e);
    }
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) return;
    // fork rather than posix_spawn, for the death signal (see the header);
    // only async-signal-safe calls between fork and exec.
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127); // the parent died before the line above
        ::dup2(out[1], captured);
        ::close(out[0]);
        ::close(out[1]);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
}

SimProcess::~SimProcess()
{
    Stop(SIGKILL);
    if (out_ >= 0) ::close(out_);
}

std::string SimProcess::Output(bool all)
{
    std::string text;
    char buffer[4096];
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end && (all || text.find('\n') == std::string::npos)) {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return all ? text : text.substr(0, text.find('\n'));
}

int SimProcess::Stop(int signal)
{
    if (pid_ <= 0) return -1;
    if (signal) ::kill(pid_, signal);
    const pid_t pid = std::exchange(pid_, -1);
    int status = 0;
    pid_t waited = 0;
    for (const auto end = Clock::now() + std::chrono::seconds(10); (waited = ::waitpid(pid, &status, WNOHANG)) == 0;) {
        if (Clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace tolvane
