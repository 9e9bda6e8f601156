#include "flash_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tolvane::sim {
namespace {

struct Field {
    const char* key;
    std::int16_t FlashValues::*value;
};
const Field kFields[] = {
    {"declination", &FlashValues::declination}, {"body_offset", &FlashValues::bodyOffset},
    {"pitch_offset", &FlashValues::pitchOffset}, {"roll_offset", &FlashValues::rollOffset},
    {"interval", &FlashValues::interval},
};

} // namespace

bool FlashStore::Open(const std::string& path, std::string& error)
{
    path_ = path;
    values_ = FlashValues{};
    if (path.empty()) return true;
    std::ifstream in(path);
    if (!in) {
        if (errno == ENOENT) return true;
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        bool known = false;
        if (eq != std::string::npos) {
            const std::string key = line.substr(0, eq);
            char* end = nullptr;
            const long v = std::strtol(line.c_str() + eq + 1, &end, 10);
            for (const Field& f : kFields) {
                if (key == f.key && *end == '\0' && end != line.c_str() + eq + 1 && v >= -32768 && v <= 32767) {
                    values_.*f.value = static_cast<std::int16_t>(v);
                    known = true;
                }
            }
        }
        if (!known) {
            error = path + ":" + std::to_string(lineNumber) + ": not a start-up default: " + line;
            return false;
        }
    }
    return true;
}

bool FlashStore::Store(const FlashValues& values)
{
    if (!path_.empty()) {
        const std::string temporary = path_ + ".new";
        {
            std::ofstream out(temporary, std::ios::trunc);
            out << "# start-up defaults of the simulated compass (angles in binary-angle counts)\n";
            for (const Field& f : kFields) out << f.key << '=' << values.*f.value << '\n';
            out.flush();
            if (!out) return false;
        }
        if (std::rename(temporary.c_str(), path_.c_str()) != 0) return false;
    }
    // Only once stored: a failed write leaves flash as it was.
    values_ = values;
    return true;
}

} // namespace tolvane::sim
