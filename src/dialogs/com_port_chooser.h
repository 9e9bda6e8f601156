// The "Open COM Port" dialog's state and rules, apart from its widgets: which
// ports it lists, what each action does to the link, and what the status
// line, the frame's COM pane, the "COMPort" setting and the buttons show.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/device_link.h"

namespace tolvane {

// What fixes a device the user may not open.
inline constexpr const char* kDialoutFix = "sudo usermod -aG dialout $USER, then log in again.";

// The port the "COMPort" setting remembers: 1..8 for a whole number in that
// range written in decimal digits, blanks around it allowed; 0, no port,
// for 0 and for anything else (a sign, a fraction, a number too large).
int RememberedPort(std::string_view setting);

// The frame's COM pane: " COM3 Open " while port 3 is open, " COM3 Lost "
// while its device is gone and watched for, " No COM Port Open " otherwise.
std::string ComPaneText(int openPort, int lostPort = -1);

// What the dialog shows after an action.
struct ComPortStatus {
    std::string statusLine;
    std::string pane; // the frame's COM pane
    int comPortSetting = 0;
    bool openEnabled = false;
    bool closeEnabled = false;

    friend bool operator==(const ComPortStatus&, const ComPortStatus&) = default;
};

class ComPortChooser {
public:
    using Probe = std::function<bool(int port)>;
    using ReasonProbe = std::function<PortProbe(int port)>;
    // Opens a port, closing any open one first: the port number, or -1.
    using Opener = std::function<int(int port)>;
    using Closer = std::function<void()>;

    // Lists ports 1..8 in order: `openPort` (1..8, or -1) unprobed and
    // selected, the others when `probe` accepts them.
    ComPortChooser(int openPort, const Probe& probe);
    // As above, remembering why the unlisted ports could not be used.
    ComPortChooser(int openPort, const ReasonProbe& probe);

    // " COM3" for port 3.
    static std::string EntryText(int port);

    const std::vector<int>& EntryPorts() const { return ports_; }
    int OpenPort() const { return openPort_; }
    int Selection() const { return selection_; } // entry index, or -1
    int SelectedPort() const;                    // or -1

    // The actions. Those returning bool return true when the dialog is to
    // close accepted.
    void Select(int index); // an index outside the entries selects none
    bool Open(const Opener& open);
    bool DoubleClick(const Opener& open);
    void Close(const Closer& close);
    // An open of `port` failed for `why`: a network port's reason is kept
    // for the notice.
    void OpenFailed(int port, const PortProbe& why);

    ComPortStatus Status() const;
    // Lines naming the ports left out for lack of permission (with the fix)
    // or because another program holds them (with its process id where
    // known), and the network ports that could not be reached, with why;
    // empty when there are none.
    std::string Notice() const;

private:
    std::vector<int> ports_;
    std::vector<int> denied_;
    std::vector<std::pair<int, long>> busy_; // port, holder's process id or 0
    std::vector<std::pair<int, std::string>> unreachable_; // network port, why
    int openPort_ = -1;
    int selection_ = -1;
    bool openFailed_ = false; // only the status update right after a failed open shows it
};

} // namespace tolvane
