// The client side of a Telnet connection carrying a serial port (RFC 854
// and RFC 2217): option negotiation, IAC escaping both ways and the
// COM-PORT-OPTION commands that set the remote port's line. Plain C++: the
// link writes what it returns and reads what it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvane {

namespace telnet {
inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;
// COM-PORT-OPTION commands from the client; the server answers each with 100 more.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kServerOffset = 100;
} // namespace telnet

class TelnetClient {
public:
    // What the client asks for first: binary both ways, no go-aheads, and
    // the COM-PORT-OPTION.
    std::vector<std::uint8_t> Start();

    // Takes received bytes; the serial port's data goes to `data`, the
    // answers to the server's negotiation to `replies`. Keeps its state
    // between calls, so a command may be split anywhere.
    void Receive(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                 std::vector<std::uint8_t>& replies);

    // Data for the server, each IAC doubled.
    static void Escape(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out);

    // The line: `baud`, 8 data bits, no parity, one stop bit.
    static std::vector<std::uint8_t> SetLine(std::uint32_t baud);
    // DTR and RTS on (true) or off.
    static std::vector<std::uint8_t> SetModemLines(bool on);

    // The server refused the COM-PORT-OPTION (the line is then not set);
    // the last baud rate the server reported.
    bool ComPortRefused() const { return comPortRefused_; }
    std::uint32_t BaudRateReported() const { return baudReported_; }
    // The server has negotiated an option this side asks for: it speaks
    // Telnet, and is no plain relay.
    bool Negotiated() const { return negotiated_; }

private:
    enum class State : std::uint8_t { Data, Iac, Option, SubOption, SubData, SubIac };

    void Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& replies);
    void EndSubnegotiation();

    static constexpr std::size_t kMaxSub = 32; // longer subnegotiations are cut: none we read is

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t subOption_ = 0;
    std::uint8_t sub_[kMaxSub] = {};
    std::size_t subLength_ = 0;
    bool usOn_[256] = {};   // options this side has enabled
    bool himOn_[256] = {};  // options the server has enabled
    bool comPortRefused_ = false;
    bool negotiated_ = false;
    std::uint32_t baudReported_ = 0;
};

} // namespace tolvane
