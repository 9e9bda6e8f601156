#include "dialogs/com_port_chooser.h"

#include "link/device_link.h"

namespace tolvane {
namespace {

std::string PortName(int port)
{
    return "COM" + std::to_string(port);
}

// "COM3" or "COM3, COM5".
std::string PortNames(const std::vector<int>& ports)
{
    std::string names;
    for (int port : ports) names += (names.empty() ? "" : ", ") + PortName(port);
    return names;
}

} // namespace

int RememberedPort(std::string_view setting)
{
    const auto first = setting.find_first_not_of(" \t");
    if (first == std::string_view::npos) return 0;
    const std::string_view digits = setting.substr(first, setting.find_last_not_of(" \t") + 1 - first);
    int port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
        if (port > kLastPort) return 0; // also stops before any overflow
    }
    return port;
}

ComPortChooser::ComPortChooser(int openPort, const Probe& probe)
    : ComPortChooser(openPort, [&probe](int port) -> PortProbe {
          return probe(port) ? ProbeResult::Free : ProbeResult::Missing;
      })
{
}

ComPortChooser::ComPortChooser(int openPort, const ReasonProbe& probe)
    : openPort_(openPort >= kFirstPort && openPort <= kLastPort ? openPort : -1)
{
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (port == openPort_) {
            selection_ = static_cast<int>(ports_.size());
            ports_.push_back(port);
            continue;
        }
        const PortProbe found = probe(port);
        switch (found.reason) {
        case ProbeResult::Free: ports_.push_back(port); break;
        case ProbeResult::NoPermission: denied_.push_back(port); break;
        case ProbeResult::Busy: busy_.emplace_back(port, found.holderPid); break;
        // Listed all the same: a server may be back by the time it is chosen.
        case ProbeResult::Unreachable:
            ports_.push_back(port);
            unreachable_.emplace_back(port, found.detail);
            break;
        case ProbeResult::Missing:
        case ProbeResult::NotATerminal: break;
        }
    }
}

std::string ComPortChooser::Notice() const
{
    std::vector<std::string> lines;
    if (!denied_.empty()) lines.push_back("No permission to open " + PortNames(denied_) + ". Run: " + kDialoutFix);
    // A port whose holder is known gets a line of its own; the others share one.
    std::vector<int> unknownHolder;
    for (const auto& [port, pid] : busy_) {
        if (pid > 0)
            lines.push_back(PortName(port) + " is in use by another program (process " + std::to_string(pid) + ").");
        else
            unknownHolder.push_back(port);
    }
    if (!unknownHolder.empty())
        lines.push_back(PortNames(unknownHolder) + (unknownHolder.size() == 1 ? " is in use by another program."
                                                                              : " are in use by other programs."));
    for (const auto& [port, why] : unreachable_) lines.push_back(PortName(port) + " could not be reached: " + why + ".");
    std::string notice;
    for (const std::string& line : lines) notice += (notice.empty() ? "" : "\n") + line;
    return notice;
}

void ComPortChooser::OpenFailed(int port, const PortProbe& why)
{
    std::erase_if(unreachable_, [port](const auto& entry) { return entry.first == port; });
    if (why.reason == ProbeResult::Unreachable) unreachable_.emplace_back(port, why.detail);
}

std::string ComPortChooser::EntryText(int port)
{
    return " " + PortName(port);
}

int ComPortChooser::SelectedPort() const
{
    return selection_ < 0 ? -1 : ports_[selection_];
}

void ComPortChooser::Select(int index)
{
    selection_ = index >= 0 && index < static_cast<int>(ports_.size()) ? index : -1;
    openFailed_ = false;
}

bool ComPortChooser::Open(const Opener& open)
{
    const int port = SelectedPort();
    if (port < 0) return false;
    openPort_ = open(port);
    if (openPort_ < kFirstPort || openPort_ > kLastPort) openPort_ = -1;
    openFailed_ = openPort_ < 0;
    return !openFailed_;
}

bool ComPortChooser::DoubleClick(const Opener& open)
{
    const int port = SelectedPort();
    if (port < 0) return false;
    // Closing is decided before the reopen, so it stands even if that fails.
    const bool wasOpen = port == openPort_;
    return Open(open) || wasOpen;
}

void ComPortChooser::Close(const Closer& close)
{
    if (openPort_ > 0) {
        close();
        openPort_ = -1;
        selection_ = -1;
    }
    openFailed_ = false;
}

std::string ComPaneText(int openPort, int lostPort)
{
    if (openPort >= kFirstPort && openPort <= kLastPort) return " " + PortName(openPort) + " Open ";
    if (lostPort >= kFirstPort && lostPort <= kLastPort) return " " + PortName(lostPort) + " Lost ";
    return " No COM Port Open ";
}

ComPortStatus ComPortChooser::Status() const
{
    ComPortStatus s;
    s.comPortSetting = openPort_ > 0 ? openPort_ : 0;
    s.pane = ComPaneText(openPort_);
    if (openPort_ > 0) {
        s.statusLine = PortName(openPort_) + " is open.";
    } else {
        s.statusLine = openFailed_ && selection_ >= 0 ? PortName(SelectedPort()) + " failed to open." : "No COM port open.";
    }
    const bool selectedIsOpen = selection_ >= 0 && SelectedPort() == openPort_;
    s.closeEnabled = selectedIsOpen;
    s.openEnabled = !selectedIsOpen && selection_ >= 0;
    return s;
}

} // namespace tolvane
