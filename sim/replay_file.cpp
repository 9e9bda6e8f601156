// Kept apart from replay.cpp: only this needs the capture library.
#include <filesystem>
#include <fstream>
#include <memory>

#include <cerrno>
#include <cstring>

#include "capture/capture_format.h"
#include "replay.h"

namespace tolvane::sim {

bool OpenReplay(const std::string& path, Replay::Source& source, std::string& error)
{
    std::error_code isDirectory;
    auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
    if (!*file || std::filesystem::is_directory(path, isDirectory)) {
        error = "cannot read " + path + ": " + (*file ? std::string("Is a directory") : std::strerror(errno));
        return false;
    }
    auto reader = std::make_shared<CaptureReader>(*file);
    source = [file, reader](ReplayChunk& next) {
        CaptureChunk chunk;
        while (reader->Next(chunk)) {
            if (chunk.kind != ChunkKind::Received) continue;
            next = {chunk.ms, std::move(chunk.bytes)};
            return true;
        }
        return false;
    };
    return true;
}

} // namespace tolvane::sim
