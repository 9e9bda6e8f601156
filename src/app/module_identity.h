// The window title and version pane texts made from the compass's identity.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/messages.h"

namespace tolvane {

// "Serial number unknown", "Serial number unassigned" or "Serial number %u",
// after the title prefix.
std::string WindowTitle(bool versionKnown, const ModuleIdentity& identity);
// The version pane: " No version information available", or
// " Version=%d.%02d  Build Opts=...  Fwd=...  Up=...".
std::string VersionPaneText(bool versionKnown, const ModuleIdentity& identity);

} // namespace tolvane
