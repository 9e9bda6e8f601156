// The names of a module's recordings: NAME-YYYYMMDD-HHMMSS.log in its log
// folder and the .tcap of the same stem in its capture folder, one pair per
// module and start. A file that exists is never written over: the pair
// moves to the next free stem (NAME-YYYYMMDD-HHMMSS-2, -3, ...), free in
// both folders so that log and capture keep the same stem.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tolvane {

inline constexpr char kLogSuffix[] = ".log";
inline constexpr char kCaptureSuffix[] = ".tcap";

// The module's configured name, or its serial number when none is given.
std::string ModuleName(const std::string& configuredName, std::uint32_t serialNumber);

// "bow-20261207-134510" for a start at `local`.
std::string RecordingStem(const std::string& moduleName, const std::tm& local);

struct RecordingPaths {
    std::string log;     // empty: no orientation log
    std::string capture; // empty: no capture
};

// Creates the pair's files, empty, each exclusively (so that neither an
// older file nor another gateway starting in the same second is written
// over), under `stem` or its first free successor; no file for a folder
// given empty. The log then opens to append and the capture over its empty
// file. False with `error` naming the file and the reason; nothing is left
// behind then.
bool CreateRecordingFiles(const std::string& logDir, const std::string& captureDir, const std::string& stem,
                          RecordingPaths& paths, std::string& error);

} // namespace tolvane
