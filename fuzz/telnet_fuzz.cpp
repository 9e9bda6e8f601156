// libFuzzer target: arbitrary bytes from a server into the Telnet client,
// split where the first byte says. Aborts when the split changes what comes
// out, when an answer is not a whole command, or when escaped data does not
// come back as it went in.
#include "link/telnet.h"

#include <cstdlib>

namespace {

using namespace tolvane;
using Bytes = std::vector<std::uint8_t>;

void Check(bool ok)
{
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t split = data[0] % size;
    ++data;
    --size;

    TelnetClient whole, parts;
    whole.Start();
    parts.Start();
    Bytes wholeData, wholeReplies, partData, partReplies;
    whole.Receive(data, size, wholeData, wholeReplies);
    parts.Receive(data, split > size ? size : split, partData, partReplies);
    parts.Receive(data + (split > size ? size : split), size - (split > size ? size : split), partData, partReplies);
    Check(wholeData == partData && wholeReplies == partReplies);
    Check(wholeData.size() <= size && wholeReplies.size() % 3 == 0);
    Check(whole.BaudRateReported() == parts.BaudRateReported());

    Bytes escaped, back, replies;
    TelnetClient::Escape(data, size, escaped);
    TelnetClient fresh;
    fresh.Receive(escaped.data(), escaped.size(), back, replies);
    Check(back == Bytes(data, data + size) && replies.empty());
    return 0;
}
