#pragma once
// Which note end ends which note start: overlapping notes of one channel and
// note number pair first in, first out. Shared by pairing and time reversal.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "song/MusicEvent.h"

namespace rovanta {

using EventTest = bool (*)(const MusicEvent&);

// For each start, the index of the end that ends it (-1 when none does); a
// start is ended by the first end after it that no earlier start has taken.
std::vector<std::int32_t> MatchNotes(std::span<const MusicEvent> events, EventTest isStart, EventTest isEnd);

// One value per key (channel and note number): a flat table for the keys real
// songs use, a map for whatever else a damaged or hand-made track holds.
template <typename T>
class KeyTable {
public:
    explicit KeyTable(T initial) : initial_(initial), flat_(kFlatKeys, initial) {}

    T& operator[](const MusicEvent& e)
    {
        if (e.channel < 16 && e.note < 128)
            return flat_[static_cast<std::size_t>(e.channel) * 128 + static_cast<std::size_t>(e.note)];
        const std::uint64_t key = (std::uint64_t{static_cast<std::uint32_t>(e.channel)} << 32) |
                                  static_cast<std::uint32_t>(e.note);
        return other_.try_emplace(key, initial_).first->second;
    }

    template <typename F>
    void ForEach(F f) const
    {
        for (const T& value : flat_) f(value);
        for (const auto& entry : other_) f(entry.second);
    }

private:
    static constexpr std::size_t kFlatKeys = 16 * 128;
    T initial_;
    std::vector<T> flat_;
    std::map<std::uint64_t, T> other_;
};

}  // namespace rovanta
