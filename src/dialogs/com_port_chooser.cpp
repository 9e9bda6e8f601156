#include "dialogs/com_port_chooser.h"

#include "link/serial_link.h"

namespace tolvane {
namespace {

std::string PortName(int port)
{
    return "COM" + std::to_string(port);
}

} // namespace

ComPortChooser::ComPortChooser(int openPort, const Probe& probe)
    : openPort_(openPort >= kFirstPort && openPort <= kLastPort ? openPort : -1)
{
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (port == openPort_) {
            selection_ = static_cast<int>(ports_.size());
            ports_.push_back(port);
        } else if (probe(port)) {
            ports_.push_back(port);
        }
    }
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

ComPortStatus ComPortChooser::Status() const
{
    ComPortStatus s;
    s.comPortSetting = openPort_ > 0 ? openPort_ : 0;
    if (openPort_ > 0) {
        s.statusLine = PortName(openPort_) + " is open.";
        s.pane = " " + PortName(openPort_) + " Open ";
    } else {
        s.pane = " No COM Port Open ";
        s.statusLine = openFailed_ && selection_ >= 0 ? PortName(SelectedPort()) + " failed to open." : "No COM port open.";
    }
    const bool selectedIsOpen = selection_ >= 0 && SelectedPort() == openPort_;
    s.closeEnabled = selectedIsOpen;
    s.openEnabled = !selectedIsOpen && selection_ >= 0;
    return s;
}

} // namespace tolvane
