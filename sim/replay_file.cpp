// Kept apart from replay.cpp: only this needs the capture library.
#include "capture/capture_format.h"
#include "replay.h"

namespace tolvane::sim {

bool LoadReplay(const std::string& path, std::vector<ReplayChunk>& chunks, std::string& error)
{
    std::string content;
    if (!ReadWholeFile(path, content, error)) return false;
    chunks.clear();
    for (CaptureChunk& chunk : ParseCapture(content).chunks)
        if (chunk.kind == ChunkKind::Received) chunks.push_back({chunk.ms, std::move(chunk.bytes)});
    return true;
}

} // namespace tolvane::sim
