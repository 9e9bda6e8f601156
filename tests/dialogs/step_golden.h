// A dialog walked through a script of steps, against the expected
// transcript of the states they leave.
#pragma once

#include <QString>

#include <fstream>
#include <functional>
#include <string>

#include "support/golden.h"

namespace tolvane::test {

// Runs each row of the script tests/data/golden/<name>_steps.txt (one a
// line; '#' starts a comment, copied) with `run`, a failure inside naming
// it, and compares with <name>.txt the transcript: each row's steps and,
// indented below, the `state` they leave, line ends in it shown as "\n".
inline void ExpectStepsGolden(const std::string& name, const std::function<void(const std::string&)>& run,
                              const std::function<std::string()>& state)
{
    std::ifstream script(GoldenPath(name + "_steps.txt"));
    ASSERT_TRUE(script) << "no script " << GoldenPath(name + "_steps.txt");
    std::string made;
    for (std::string steps; std::getline(script, steps);) {
        SCOPED_TRACE(steps);
        if (steps.starts_with('#')) {
            made += steps + "\n";
            continue;
        }
        run(steps);
        const QString shown = QString::fromStdString(state()).replace('\n', "\\n");
        made += steps + "\n    " + shown.toStdString() + "\n";
    }
    ExpectGolden(name + ".txt", made);
}

} // namespace tolvane::test
