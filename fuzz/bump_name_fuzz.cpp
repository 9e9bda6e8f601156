// libFuzzer target: any log file name through the bump naming. Aborts on
// any broken invariant.
#include "logging/log_file.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string next = tolvane::NextBumpName(name);
    const std::size_t dot = name.find('.');
    const std::size_t end = dot == std::string::npos ? name.size() : dot;
    if (end == 0) {
        Check(next.empty());
        return 0;
    }
    // Only an ASCII letter before the first dot steps (z and Z excepted);
    // any other character gains an 'A'. The rest stays as it was.
    Check(next.compare(0, end - 1, name, 0, end - 1) == 0);
    const char c = name[end - 1];
    const bool steps = (c >= 'a' && c < 'z') || (c >= 'A' && c < 'Z');
    if (steps) {
        Check(next.size() == name.size() && next[end - 1] == c + 1);
        Check(next.compare(end, std::string::npos, name, end) == 0);
    } else {
        Check(next.size() == name.size() + 1 && next[end - 1] == c && next[end] == 'A');
        Check(next.compare(end + 1, std::string::npos, name, end) == 0);
    }
    return 0;
}
