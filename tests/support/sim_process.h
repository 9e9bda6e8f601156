// tolvane-sim as a child process, for the tests and benchmarks that drive
// the program or the link against it; also the program itself, for the
// tests that signal it. The kernel sends the child SIGTERM when the
// thread that started it ends, so a test program killed (by ctest's
// timeout) leaves nothing running.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

namespace tolvane {

class SimProcess {
public:
    // Starts `program` with `args`, its standard output (or the descriptor
    // `captured`) on a pipe, and `environment` ("NAME=value") added to this
    // process's.
    SimProcess(const std::string& program, std::vector<std::string> args, std::vector<std::string> environment = {},
               int captured = 1);
    // Killed if still running.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // What it wrote (see `captured`) up to its first line end (the
    // terminal's path), or all of it, waiting at most three seconds.
    std::string Output(bool all = false);
    // Exit status after `signal` (0: just wait); -1 if it did not exit
    // normally, or not within ten seconds (it is then killed).
    int Stop(int signal = SIGTERM);

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

} // namespace tolvane
