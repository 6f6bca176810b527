#pragma once
// Tables kept per key (channel and note number), for the passes that follow
// each key's notes through a track.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "song/MusicEvent.h"

namespace rovanta {

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
