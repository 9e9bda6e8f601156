// The program's options, read from a table before Qt starts so that
// --help and --version need no display.
#pragma once

#include <string>
#include <vector>

namespace tolvane {

struct CommandLine {
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Run;
    std::string replay; // --replay FILE: the recording to play at start
    std::string error;  // for Refuse: "unknown option '--x'"
};

// Read left to right: the first of --help and --version is answered, and
// anything not understood before it refused.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

} // namespace tolvane
