// Who holds a serial port: the advisory flock on its device, as
// /proc/locks lists it, and the UUCP lock files older terminal programs
// leave in /run/lock or /var/lock (read, never written). The readers of
// the texts are plain functions, apart from the files they come from.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// /run/lock and /var/lock: where lock files are looked for unless the link is told otherwise.
const std::vector<std::string>& DefaultLockDirectories();

// The process id a lock file's `content` names: ASCII digits (usually
// "%10d\n", at most ten of them) or a native 4-byte int, the older Kermit
// style. 0 when neither, or when the number cannot be a process (0, a
// negative one, one beyond INT_MAX): such a file is not ours to judge.
long LockFileOwner(std::string_view content);

// The live holder of a lock file LCK..NAME on `device` (NAME its last
// component) in one of `lockDirectories` (empty: the default ones), or 0.
long LockFileHolder(const std::string& device, const std::vector<std::string>& lockDirectories);

// The process holding a whole-file lock (flock) on the file `inode` of the
// filesystem on device `major`:`minor`, from the text of /proc/locks; 0
// when none is listed or its holder is not visible from here.
long FlockHolder(std::string_view procLocks, unsigned major, unsigned minor, unsigned long inode);

// Who holds the flock on the open file `fd`, as /proc/locks lists it; 0
// when that cannot be told.
long FlockHolderOf(int fd);

} // namespace tolvane
