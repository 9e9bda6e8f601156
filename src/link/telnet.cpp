#include "link/telnet.h"

namespace tolvane {
namespace {
using namespace telnet;

bool WeSupport(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

bool ServerMay(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead;
}

void Command(std::vector<std::uint8_t>& out, std::uint8_t verb, std::uint8_t option)
{
    out.insert(out.end(), {kIac, verb, option});
}

// IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
void ComPortCommand(std::vector<std::uint8_t>& out, std::uint8_t command, const std::uint8_t* value, std::size_t size)
{
    out.insert(out.end(), {kIac, kSb, kComPortOption, command});
    TelnetClient::Escape(value, size, out);
    out.insert(out.end(), {kIac, kSe});
}

} // namespace

std::vector<std::uint8_t> TelnetClient::Start()
{
    std::vector<std::uint8_t> out;
    for (std::uint8_t option : {kBinary, kSuppressGoAhead, kComPortOption}) {
        Command(out, kWill, option);
        usOn_[option] = true;
    }
    for (std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        Command(out, kDo, option);
        himOn_[option] = true;
    }
    return out;
}

void TelnetClient::Escape(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == kIac) out.push_back(kIac);
    }
}

std::vector<std::uint8_t> TelnetClient::SetLine(std::uint32_t baud)
{
    std::vector<std::uint8_t> out;
    const std::uint8_t rate[4] = {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                                  static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
    ComPortCommand(out, kSetBaudRate, rate, 4);
    const std::uint8_t eightBits = 8, noParity = 1, oneStopBit = 1;
    ComPortCommand(out, kSetDataSize, &eightBits, 1);
    ComPortCommand(out, kSetParity, &noParity, 1);
    ComPortCommand(out, kSetStopSize, &oneStopBit, 1);
    return out;
}

std::vector<std::uint8_t> TelnetClient::SetModemLines(bool on)
{
    std::vector<std::uint8_t> out;
    // 8/9 DTR on/off, 11/12 RTS on/off.
    const std::uint8_t dtr = on ? 8 : 9, rts = on ? 11 : 12;
    ComPortCommand(out, kSetControl, &dtr, 1);
    ComPortCommand(out, kSetControl, &rts, 1);
    return out;
}

// Each side's state changes only on a request that changes it, and only a
// change is answered, so two agreeing ends never loop (RFC 854's rule).
void TelnetClient::Negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& replies)
{
    if (WeSupport(option)) negotiated_ = true;
    switch (verb) {
    case kDo:
        if (!WeSupport(option)) {
            Command(replies, kWont, option);
        } else if (!usOn_[option]) {
            usOn_[option] = true;
            Command(replies, kWill, option);
        }
        break;
    case kDont:
        if (usOn_[option]) {
            usOn_[option] = false;
            Command(replies, kWont, option);
        }
        if (option == kComPortOption) comPortRefused_ = true;
        break;
    case kWill:
        if (!ServerMay(option)) {
            Command(replies, kDont, option);
        } else if (!himOn_[option]) {
            himOn_[option] = true;
            Command(replies, kDo, option);
        }
        break;
    case kWont:
        if (himOn_[option]) {
            himOn_[option] = false;
            Command(replies, kDont, option);
        }
        break;
    default: break;
    }
}

void TelnetClient::EndSubnegotiation()
{
    if (subOption_ != kComPortOption || subLength_ == 0) return;
    if (sub_[0] == kServerOffset + kSetBaudRate && subLength_ >= 5)
        baudReported_ = static_cast<std::uint32_t>(sub_[1]) << 24 | static_cast<std::uint32_t>(sub_[2]) << 16 |
                        static_cast<std::uint32_t>(sub_[3]) << 8 | sub_[4];
}

void TelnetClient::Receive(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                           std::vector<std::uint8_t>& replies)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
        case State::Data:
            if (b == kIac) state_ = State::Iac;
            else data.push_back(b);
            break;
        case State::Iac:
            if (b == kIac) {
                data.push_back(kIac);
                state_ = State::Data;
            } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == kSb) {
                state_ = State::SubOption;
            } else {
                state_ = State::Data; // NOP, GA, a stray SE and the like carry nothing here
            }
            break;
        case State::Option:
            Negotiate(verb_, b, replies);
            state_ = State::Data;
            break;
        case State::SubOption:
            subOption_ = b;
            subLength_ = 0;
            state_ = State::SubData;
            break;
        case State::SubData:
            if (b == kIac) state_ = State::SubIac;
            else if (subLength_ < kMaxSub) sub_[subLength_++] = b;
            break;
        case State::SubIac:
            if (b == kIac) {
                if (subLength_ < kMaxSub) sub_[subLength_++] = kIac;
                state_ = State::SubData;
            } else if (b == kSe) {
                EndSubnegotiation();
                state_ = State::Data;
            } else {
                // A command inside a subnegotiation ends it unfinished.
                state_ = State::Iac;
                --i;
            }
            break;
        }
    }
}

} // namespace tolvane
