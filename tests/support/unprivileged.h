// While an Unprivileged lives, a process that runs as root acts as the
// user nobody, so that tests of permissions hold under CI, which runs as
// root and may open and write anything.
#pragma once

#include <unistd.h>

#include <cstdlib>

namespace tolvane::test {

class Unprivileged {
public:
    Unprivileged()
    {
        constexpr uid_t kNobody = 65534;
        dropped_ = ::geteuid() == 0 && ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~Unprivileged()
    {
        if (dropped_ && (::seteuid(0) != 0 || ::setegid(0) != 0)) std::abort();
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    // Whether permissions now bind the process.
    static bool Effective() { return ::geteuid() != 0; }

private:
    bool dropped_ = false;
};

} // namespace tolvane::test
