// The message view's history, without Qt: the last 10,000 lines, kept apart
// from the 50-line ring the live view paints, for reading back while the
// view is paused. Lines are numbered by arrival (their sequence number), so
// a paused window, a selection or a find stays on its lines while new ones
// arrive and the oldest fall out. The filter (message types hidden) is a
// view on the history: hidden lines are kept, only skipped.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/message_catalogue.h"

namespace tolvane {

// A line of the history: the index of its mnemonic among those seen, and
// its text, not terminated.
struct HistoryLine {
    std::uint8_t mnemonic = 0; // 0: a line of the program's own, no mnemonic
    std::uint8_t length = 0;
    char text[kStatusTextMax];
};

// A line as text for the clipboard: the mnemonic in a column ten wide (the
// view's own columns), then the text.
std::string LineText(std::string_view mnemonic, std::string_view text);

class MessageHistory {
public:
    using Seq = std::uint64_t;
    static constexpr int kCapacity = 10'000;
    // Distinct mnemonics it tells apart; the catalogue has 28.
    static constexpr int kMnemonicLimit = 255;

    MessageHistory();

    // Keeps `line`, pushing out the oldest when full. Constant time: one
    // fixed slot is overwritten, and the mnemonic is looked up among the
    // few seen so far.
    void Add(const StatusLine& line);
    // Forgets every line; numbering, the mnemonics seen and the filter stay.
    void Clear();

    // The lines held are numbered [Begin(), End()).
    Seq Begin() const { return begin_; }
    Seq End() const { return end_; }
    bool Holds(Seq seq) const { return seq >= begin_ && seq < end_; }
    const HistoryLine& At(Seq seq) const { return lines_[seq % kCapacity]; }
    std::string_view Mnemonic(Seq seq) const { return seen_[At(seq).mnemonic]; }
    std::string_view Text(Seq seq) const { return {At(seq).text, At(seq).length}; }
    // The bytes the history holds, its lines and the mnemonics seen.
    std::size_t MemoryBytes() const;

    // The mnemonics seen, in the order first seen (lines of the program's
    // own, which no filter hides, are not among them).
    std::vector<std::string> MnemonicsSeen() const;
    // Hides or shows the lines of `mnemonic` from now on; unknown names are
    // remembered for when they are first seen.
    void SetShown(std::string_view mnemonic, bool shown);
    bool IsShown(std::string_view mnemonic) const;
    bool Filtered() const { return hidden_.any() || !hiddenUnseen_.empty(); }
    bool Shows(Seq seq) const { return !hidden_[At(seq).mnemonic]; }

    // The shown lines of a window of `rows` rows whose last line comes just
    // before `end`, oldest first; fewer when not so many are held.
    std::vector<Seq> Window(Seq end, int rows) const;
    // The end of the window `delta` shown lines later (earlier when
    // negative), kept where a window of `rows` rows is as full as it can be
    // and shows no line past the newest.
    Seq Scroll(Seq end, int rows, int delta) const;
    // The end of a window that shows line `seq`, moved as little as it can.
    Seq Reveal(Seq end, int rows, Seq seq) const;

    // The next shown line, after `from` (before it, backwards), that holds
    // `needle` in its mnemonic or text, ignoring case; the search wraps
    // round and ends at `from` itself. A `from` not held starts at the
    // oldest line (the newest, backwards). None for an empty needle.
    std::optional<Seq> Find(std::string_view needle, Seq from, bool forward) const;

    // The shown lines in [first, last] (either order) as text, one per line.
    std::string CopyText(Seq first, Seq last) const;

private:
    std::uint8_t MnemonicIndex(const char* mnemonic);
    // The shown line nearest before `seq` (from seq - 1 down), if any.
    std::optional<Seq> ShownBefore(Seq seq) const;
    std::optional<Seq> ShownFrom(Seq seq) const; // from seq up

    std::unique_ptr<HistoryLine[]> lines_;
    Seq begin_ = 0;
    Seq end_ = 0;
    std::vector<std::string> seen_; // [0] is ""
    const char* lastMnemonic_ = nullptr;
    std::uint8_t lastIndex_ = 0;
    std::bitset<kMnemonicLimit + 1> hidden_;
    std::vector<std::string> hiddenUnseen_;
};

} // namespace tolvane
