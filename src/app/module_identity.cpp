#include "app/module_identity.h"

#include <cstdio>

#include "protocol/message_catalogue.h"
#include "resources/menu.h"

namespace tolvane {

std::string WindowTitle(bool versionKnown, const ModuleIdentity& identity)
{
    std::string title = kTitlePrefix;
    if (!versionKnown) return title + "Serial number unknown";
    if (identity.serialNumber == 0) return title + "Serial number unassigned";
    char text[40];
    std::snprintf(text, sizeof text, "Serial number %u", identity.serialNumber);
    return title + text;
}

std::string VersionPaneText(bool versionKnown, const ModuleIdentity& identity)
{
    if (!versionKnown) return " No version information available";
    char text[64];
    std::snprintf(text, sizeof text, " Version=%d.%02d  Build Opts=", identity.versionMajor, identity.versionMinor);
    std::string pane = text;
    std::string letters;
    for (int bit = 0; bit < 16; ++bit)
        if ((identity.buildOptions >> bit) & 1u) letters += static_cast<char>('A' + bit);
    pane += letters.empty() ? "None" : letters;
    pane += std::string("  Fwd=") + AxisCodeText(identity.forwardAxis) + "  Up=" + AxisCodeText(identity.upAxis);
    return pane;
}

} // namespace tolvane
