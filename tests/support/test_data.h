// What the tests of the link, the protocol, captures and the simulator
// feed them: frames and sentences built here with their own sums,
// independent of the encoder under test; data files; temporary folders.
#pragma once

#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tolvane::test {

using Bytes = std::vector<std::uint8_t>;

// CR LF '~' type length payload sum; `checksumDelta` spoils the sum.
inline Bytes Frame(std::uint8_t type, const Bytes& payload, int checksumDelta = 0)
{
    Bytes out{0x0D, 0x0A, 0x7E, type, static_cast<std::uint8_t>(payload.size())};
    out.insert(out.end(), payload.begin(), payload.end());
    unsigned sum = 0;
    for (auto b : out) sum += b;
    out.push_back(static_cast<std::uint8_t>(sum + checksumDelta));
    return out;
}

// "$text*HH" with the XOR of the text.
inline std::string Nmea(std::string_view text)
{
    unsigned x = 0;
    for (unsigned char c : text) x ^= c;
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", x);
    return "$" + std::string(text) + "*" + digits;
}

inline Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }
inline std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// n bytes counting up from `first`.
inline Bytes Filled(std::size_t n, std::uint8_t first = 1)
{
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

// `text` with every `from` made `to`: temporary paths out of a transcript.
inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

inline Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Polls `done` until it holds, for at most `limit`.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(2))
{
    for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A fresh folder of its own, removed with its content.
struct TempDir {
    static std::filesystem::path Make()
    {
        std::string name = ::testing::TempDir() + "tolvane-XXXXXX";
        return ::mkdtemp(name.data()) ? name : throw std::runtime_error("mkdtemp " + name);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& file) const { return (path / file).string(); }

    const std::filesystem::path path = Make();
};

} // namespace tolvane::test
