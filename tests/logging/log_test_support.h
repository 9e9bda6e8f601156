// Helpers of the log tests: a fixed clock, a scratch folder, whole-file
// reads, and a log in that folder on that clock.
#pragma once

#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logging/log_file.h"
#include "support/test_data.h"

namespace tolvane::log_test {

// Local time 12/6/26 3:58:29.
inline bool FixedNow(std::tm& out)
{
    out = std::tm{};
    out.tm_year = 126, out.tm_mon = 11, out.tm_mday = 6, out.tm_hour = 3, out.tm_min = 58, out.tm_sec = 29;
    return true;
}

inline constexpr char kSection[] = "12/6/26 3:58:29\r\n\r\n";
inline constexpr char kHeader[] = " WinTime   Azim   Pitch    Roll  MtOfst   MDecl\r\n";
inline constexpr char kZeroRecord[] = " 3:58:29    0.0     0.0     0.0     0.0     0.0\r\n";

// Through a stream of its own, so nothing the log holds back is seen.
inline std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

// A log in a scratch folder on the fixed clock, and what its pane showed.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log.SetPaneText([this](const std::string& text) { panes.push_back(text); });
    }

    const test::TempDir dir;
    LogFile log{dir.path.string(), FixedNow};
    std::vector<std::string> panes;
};

} // namespace tolvane::log_test
