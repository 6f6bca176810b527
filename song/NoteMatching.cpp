#include "song/NoteMatching.h"

#include <algorithm>

namespace rovanta {

std::vector<std::int32_t> MatchNotes(std::span<const MusicEvent> events, EventTest isStart, EventTest isEnd)
{
    // Group the notes by key, keeping time order within a key, then walk each
    // key's run with a queue of the starts still waiting.
    struct Note {
        std::uint64_t key;
        std::int32_t index;
    };
    std::vector<Note> notes;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MusicEvent& e = events[i];
        if (isStart(e) || isEnd(e))
            notes.push_back({(std::uint64_t{static_cast<std::uint32_t>(e.channel)} << 32) |
                                 static_cast<std::uint32_t>(e.note),
                             static_cast<std::int32_t>(i)});
    }
    // Real songs use channels 0 to 15 and notes 0 to 127: a counting sort by
    // key keeps time order within a key in one pass; anything else is sorted.
    constexpr std::uint64_t kSmallKeys = 16 * 128;
    const bool small = std::all_of(notes.begin(), notes.end(),
                                   [](const Note& n) { return (n.key >> 32) < 16 && (n.key & 0xFFFFFFFFu) < 128; });
    if (small) {
        std::vector<std::uint32_t> start(kSmallKeys + 1, 0);
        auto bucket = [](const Note& n) { return (n.key >> 32) * 128 + (n.key & 0xFFFFFFFFu); };
        for (const Note& n : notes) ++start[bucket(n) + 1];
        for (std::size_t k = 1; k <= kSmallKeys; ++k) start[k] += start[k - 1];
        std::vector<Note> sorted(notes.size());
        for (const Note& n : notes) sorted[start[bucket(n)]++] = n;
        notes = std::move(sorted);
    } else {
        std::sort(notes.begin(), notes.end(),
                  [](const Note& a, const Note& b) { return a.key != b.key ? a.key < b.key : a.index < b.index; });
    }

    std::vector<std::int32_t> endOf(events.size(), -1);
    std::vector<std::int32_t> waiting;
    for (std::size_t g = 0; g < notes.size();) {
        std::size_t end = g;
        while (end < notes.size() && notes[end].key == notes[g].key) ++end;
        waiting.clear();
        std::size_t oldest = 0;
        for (std::size_t k = g; k < end; ++k) {
            const std::int32_t i = notes[k].index;
            if (isStart(events[static_cast<std::size_t>(i)]))
                waiting.push_back(i);
            else if (oldest < waiting.size())
                endOf[static_cast<std::size_t>(waiting[oldest++])] = i;
        }
        g = end;
    }
    return endOf;
}

}  // namespace rovanta
