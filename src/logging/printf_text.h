// A printf-style text of any length, made by std::snprintf so that it
// matches the C library's output exactly.
#pragma once

#include <cstdio>
#include <string>

namespace tolvane {

template <typename... Args>
std::string PrintfText(const char* format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

} // namespace tolvane
