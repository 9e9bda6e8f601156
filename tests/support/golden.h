// Expected outputs kept under tests/data/golden: a test compares what it
// made with the file of that name. With TOLVANE_REGEN naming the file, or
// "all" (`make regen`), the file is written instead, for a change that is
// meant; read the diff before committing it. On a difference the first differing line is named
// and what was made is left beside the test's temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace tolvane::test {

inline std::string GoldenPath(const std::string& name)
{
    return std::string(TOLVANE_TEST_DATA) + "/golden/" + name;
}

inline bool Regenerating(const std::string& name)
{
    const char* asked = std::getenv("TOLVANE_REGEN");
    return asked != nullptr && (name == asked || std::string(asked) == "all");
}

inline void ExpectGolden(const std::string& name, const std::string& made)
{
    const std::string path = GoldenPath(name);
    if (Regenerating(name)) {
        std::ofstream(path, std::ios::binary) << made;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no expected output " << path << " (make regen writes it)";
    const std::string expected{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (made == expected) return;
    std::istringstream a(made), b(expected);
    std::string madeLine, expectedLine;
    int line = 1;
    for (;; ++line) {
        const bool moreMade = static_cast<bool>(std::getline(a, madeLine));
        const bool moreExpected = static_cast<bool>(std::getline(b, expectedLine));
        if (!moreMade) madeLine = "(the end)";
        if (!moreExpected) expectedLine = "(the end)";
        if (madeLine != expectedLine || (!moreMade && !moreExpected)) break;
    }
    const std::string kept = ::testing::TempDir() + name;
    std::ofstream(kept, std::ios::binary) << made;
    ADD_FAILURE() << path << ", line " << line << ":\n  expected: " << expectedLine << "\n  made:     " << madeLine
                  << "\n(all of it: " << kept << ")";
}

} // namespace tolvane::test
