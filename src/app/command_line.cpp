#include "app/command_line.h"

#include <iterator>

namespace tolvane {
namespace {

struct Option {
    const char* name;
    const char* alias; // nullptr: none
    CommandLine::Action action;
    std::string CommandLine::*value; // the option takes a value into this field
};

const Option kOptions[] = {
    {"--help", "-h", CommandLine::Action::Help, nullptr},
    {"--version", nullptr, CommandLine::Action::Version, nullptr},
    {"--replay", nullptr, CommandLine::Action::Run, &CommandLine::replay},
};

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const Option* found = nullptr;
        std::string value;
        bool valueGiven = false;
        for (const Option& option : kOptions) {
            const std::string name = option.name;
            if (arg == name || (option.alias && arg == option.alias)) found = &option;
            else if (option.value && arg.starts_with(name + "=")) {
                found = &option;
                value = arg.substr(name.size() + 1);
                valueGiven = true;
            }
            if (found) break;
        }
        if (!found) {
            line.action = CommandLine::Action::Refuse;
            line.error = (arg.starts_with('-') ? "unknown option '" : "unexpected argument '") + arg + "'";
            return line;
        }
        if (found->action != CommandLine::Action::Run) return {found->action, {}, {}};
        if (!valueGiven && i + 1 < args.size()) {
            value = args[++i];
            valueGiven = true;
        }
        if (!valueGiven || value.empty()) {
            line.action = CommandLine::Action::Refuse;
            line.error = std::string("option '") + found->name + "' needs a file";
            return line;
        }
        line.*(found->value) = value;
    }
    return line;
}

} // namespace tolvane
