// libFuzzer target: arbitrary bytes through both receivers, every delivered
// message rendered and its effects applied. Aborts on any broken invariant;
// the sanitizers catch the rest.
#include "link/framing.h"
#include "protocol/message_catalogue.h"

#include <cstdlib>
#include <cstring>

namespace {

using namespace tolvane;

void Check(bool ok)
{
    if (!ok) std::abort();
}

class CheckingEffects : public MessageEffects {
public:
    bool LogIsOpen() const override { return open; }
    void LogWriteLine(const char* text) override { Check(std::strlen(text) <= kStatusTextMax); }
    void LogSetHeaderPending() override {}
    void LogSetMountOffset(std::int16_t) override {}
    void LogSetDeclination(std::int16_t) override {}
    void LogWriteRecord() override {}
    void SendRequest(const OutgoingRequest& request) override { Check(request.length <= kMaxSentPayload); }
    bool open = false;
};

void Inspect(const DeviceMessage& m, CheckingEffects& effects)
{
    Check(m.length <= kMaxReceivedPayload);
    for (std::size_t i = m.length; i < kMaxReceivedPayload; ++i) Check(m.payload[i] == 0);
    StatusLine line;
    if (RenderMessage(m, line)) {
        Check(std::memchr(line.text, 0, sizeof line.text) != nullptr);
        effects.open = !effects.open;
        ApplyMessageEffects(m, line, effects);
    } else {
        Check(FindFormatter(m.type) == nullptr);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckingEffects effects;
    StreamDecoder decoder;
    decoder.Feed(data, size, 0, [&](const DeviceMessage& m) { Inspect(m, effects); });

    // Any payload the host may send comes back whole through a fresh receiver.
    if (size >= 1 && size - 1 <= kMaxSentPayload) {
        std::uint8_t frame[kMaxSentFrame];
        const std::size_t n = EncodeBinaryFrame(data[0], data + 1, size - 1, frame);
        BinaryReceiver rx;
        int delivered = 0;
        for (std::size_t i = 0; i < n; ++i) delivered += rx.Feed(frame[i], 0);
        Check(delivered == 1 && rx.Message().type == data[0] && rx.Message().length == size - 1 &&
              std::memcmp(rx.Message().payload, data + 1, size - 1) == 0);
    }
    return 0;
}
