#pragma once
// Which note end ends which note start: overlapping notes of one channel and
// note number pair first in, first out. Shared by pairing and time reversal.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "song/MusicEvent.h"

namespace rovanta {

using EventTest = bool (*)(const MusicEvent&);

// For each start, the index of the end that ends it (-1 when none does); a
// start is ended by the first end after it that no earlier start has taken.
std::vector<std::int32_t> MatchNotes(std::span<const MusicEvent> events, EventTest isStart, EventTest isEnd);

// One value per key (channel and note number): a table of 128 notes for each
// channel a song uses, made when the channel is first met, and a map for
// whatever else a damaged or hand-made track holds.
template <typename T>
class KeyTable {
public:
    explicit KeyTable(T initial) : initial_(std::move(initial)) {}

    T& operator[](const MusicEvent& e)
    {
        if (e.channel < 16 && e.note < kNotes) {
            std::unique_ptr<T[]>& notes = channels_[e.channel];
            if (!notes) {
                notes = std::make_unique<T[]>(kNotes);
                std::fill_n(notes.get(), kNotes, initial_);
            }
            return notes[e.note];
        }
        const std::uint32_t key = std::uint32_t{e.channel} << 8 | e.note;
        return other_.try_emplace(key, initial_).first->second;
    }

    template <typename F>
    void ForEach(F f) const
    {
        for (const auto& notes : channels_)
            if (notes) std::for_each(notes.get(), notes.get() + kNotes, f);
        for (const auto& entry : other_) f(entry.second);
    }

private:
    static constexpr std::size_t kNotes = 128;
    T initial_;
    std::array<std::unique_ptr<T[]>, 16> channels_;
    std::map<std::uint32_t, T> other_;
};

}  // namespace rovanta
