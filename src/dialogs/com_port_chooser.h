// The "Open COM Port" dialog's state and rules, apart from its widgets: which
// ports it lists, what each action does to the link, and what the status
// line, the frame's COM pane, the "COMPort" setting and the buttons show.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tolvane {

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
    // Opens a port, closing any open one first: the port number, or -1.
    using Opener = std::function<int(int port)>;
    using Closer = std::function<void()>;

    // Lists ports 1..8 in order: `openPort` (1..8, or -1) unprobed and
    // selected, the others when `probe` accepts them.
    ComPortChooser(int openPort, const Probe& probe);

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

    ComPortStatus Status() const;

private:
    std::vector<int> ports_;
    int openPort_ = -1;
    int selection_ = -1;
    bool openFailed_ = false; // only the status update right after a failed open shows it
};

} // namespace tolvane
