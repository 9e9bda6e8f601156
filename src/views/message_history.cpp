#include "views/message_history.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tolvane {

namespace {

bool ContainsIgnoringCase(std::string_view hay, std::string_view needle)
{
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != hay.end();
}

} // namespace

std::string LineText(std::string_view mnemonic, std::string_view text)
{
    std::string line(mnemonic);
    line.resize(std::max<std::size_t>(10, line.size() + 1), ' ');
    line += text;
    return line;
}

MessageHistory::MessageHistory() : lines_(new HistoryLine[kCapacity]), seen_{""} {}

std::uint8_t MessageHistory::MnemonicIndex(const char* mnemonic)
{
    if (mnemonic == nullptr || *mnemonic == '\0')
        return 0;
    if (mnemonic == lastMnemonic_ && seen_[lastIndex_] == mnemonic)
        return lastIndex_;
    auto it = std::find(seen_.begin() + 1, seen_.end(), mnemonic);
    if (it == seen_.end()) {
        // Past the limit (no catalogue comes near it) a line is kept
        // without its mnemonic rather than under another's.
        if (seen_.size() > kMnemonicLimit)
            return 0;
        seen_.emplace_back(mnemonic);
        it = seen_.end() - 1;
        const auto unseen = std::find(hiddenUnseen_.begin(), hiddenUnseen_.end(), *it);
        if (unseen != hiddenUnseen_.end()) {
            hiddenUnseen_.erase(unseen);
            hidden_.set(seen_.size() - 1);
        }
    }
    lastMnemonic_ = mnemonic;
    lastIndex_ = static_cast<std::uint8_t>(it - seen_.begin());
    return lastIndex_;
}

void MessageHistory::Add(const StatusLine& line)
{
    HistoryLine& slot = lines_[end_ % kCapacity];
    slot.mnemonic = MnemonicIndex(line.mnemonic);
    slot.length = static_cast<std::uint8_t>(strnlen(line.text, kStatusTextMax));
    std::memcpy(slot.text, line.text, slot.length);
    ++end_;
    if (end_ - begin_ > static_cast<Seq>(kCapacity))
        ++begin_;
}

void MessageHistory::Clear()
{
    begin_ = end_;
}

std::size_t MessageHistory::MemoryBytes() const
{
    std::size_t bytes = sizeof *this + kCapacity * sizeof(HistoryLine) + seen_.capacity() * sizeof(std::string);
    for (const std::string& name : seen_)
        bytes += name.capacity() > 15 ? name.capacity() + 1 : 0; // longer than the string's own buffer
    return bytes;
}

std::vector<std::string> MessageHistory::MnemonicsSeen() const
{
    return {seen_.begin() + 1, seen_.end()};
}

void MessageHistory::SetShown(std::string_view mnemonic, bool shown)
{
    const auto it = std::find(seen_.begin() + 1, seen_.end(), mnemonic);
    if (it != seen_.end()) {
        hidden_.set(static_cast<std::size_t>(it - seen_.begin()), !shown);
        return;
    }
    const auto unseen = std::find(hiddenUnseen_.begin(), hiddenUnseen_.end(), mnemonic);
    if (!shown && unseen == hiddenUnseen_.end() && !mnemonic.empty())
        hiddenUnseen_.emplace_back(mnemonic);
    else if (shown && unseen != hiddenUnseen_.end())
        hiddenUnseen_.erase(unseen);
}

bool MessageHistory::IsShown(std::string_view mnemonic) const
{
    const auto it = std::find(seen_.begin() + 1, seen_.end(), mnemonic);
    if (it != seen_.end())
        return !hidden_[static_cast<std::size_t>(it - seen_.begin())];
    return std::find(hiddenUnseen_.begin(), hiddenUnseen_.end(), mnemonic) == hiddenUnseen_.end();
}

std::optional<MessageHistory::Seq> MessageHistory::ShownBefore(Seq seq) const
{
    for (seq = std::min(seq, end_); seq > begin_;) {
        if (Shows(--seq))
            return seq;
    }
    return std::nullopt;
}

std::optional<MessageHistory::Seq> MessageHistory::ShownFrom(Seq seq) const
{
    for (seq = std::max(seq, begin_); seq < end_; ++seq) {
        if (Shows(seq))
            return seq;
    }
    return std::nullopt;
}

std::vector<MessageHistory::Seq> MessageHistory::Window(Seq end, int rows) const
{
    std::vector<Seq> shown;
    for (auto at = ShownBefore(end); at && static_cast<int>(shown.size()) < rows; at = ShownBefore(*at))
        shown.push_back(*at);
    std::reverse(shown.begin(), shown.end());
    return shown;
}

MessageHistory::Seq MessageHistory::Scroll(Seq end, int rows, int delta) const
{
    end = std::clamp(end, begin_, end_);
    for (; delta < 0; ++delta) {
        const auto before = ShownBefore(end);
        if (!before)
            break;
        end = *before;
    }
    for (; delta > 0; --delta) {
        const auto next = ShownFrom(end);
        if (!next)
            break;
        end = *next + 1;
    }
    // Never fewer rows than the lines there are to fill them: an end too
    // early moves to just after the first `rows` shown lines.
    if (static_cast<int>(Window(end, rows).size()) < rows) {
        Seq full = begin_;
        for (int n = 0; n < rows; ++n) {
            const auto next = ShownFrom(full);
            if (!next)
                return std::max(end, full);
            full = *next + 1;
        }
        return std::max(end, full);
    }
    return end;
}

MessageHistory::Seq MessageHistory::Reveal(Seq end, int rows, Seq seq) const
{
    if (seq >= end)
        return Scroll(seq + 1, rows, 0);
    const std::vector<Seq> window = Window(end, rows);
    if (window.empty() || seq >= window.front())
        return end;
    // Above the window: `seq` becomes its top row.
    Seq bottom = seq;
    for (int n = 0; n < rows; ++n) {
        const auto next = ShownFrom(bottom);
        if (!next)
            break;
        bottom = *next + 1;
    }
    return Scroll(bottom, rows, 0);
}

std::optional<MessageHistory::Seq> MessageHistory::Find(std::string_view needle, Seq from, bool forward) const
{
    if (needle.empty() || begin_ == end_)
        return std::nullopt;
    const Seq count = end_ - begin_;
    // Offsets from the oldest line, stepping round the held lines.
    Seq at = Holds(from) ? from - begin_ : forward ? count - 1 : 0;
    for (Seq n = 0; n < count; ++n) {
        at = forward ? (at + 1) % count : (at + count - 1) % count;
        const Seq seq = begin_ + at;
        if (Shows(seq) && (ContainsIgnoringCase(Mnemonic(seq), needle) || ContainsIgnoringCase(Text(seq), needle)))
            return seq;
    }
    return std::nullopt;
}

std::string MessageHistory::CopyText(Seq first, Seq last) const
{
    if (first > last)
        std::swap(first, last);
    std::string text;
    for (Seq seq = std::max(first, begin_); seq <= last && seq < end_; ++seq) {
        if (Shows(seq))
            text += LineText(Mnemonic(seq), Text(seq)) + '\n';
    }
    return text;
}

} // namespace tolvane
