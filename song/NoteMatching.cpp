#include "song/NoteMatching.h"

namespace rovanta {

std::vector<std::int32_t> MatchNotes(std::span<const MusicEvent> events, EventTest isStart, EventTest isEnd)
{
    // One walk: each key keeps the queue of its starts still waiting for an
    // end. Notes of one key seldom overlap, so the queues stay short.
    struct Waiting {
        std::vector<std::int32_t> starts;
        std::size_t head = 0;
    };
    KeyTable<Waiting> waiting{Waiting{}};
    std::vector<std::int32_t> endOf(events.size(), -1);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MusicEvent& e = events[i];
        if (isStart(e)) {
            waiting[e].starts.push_back(static_cast<std::int32_t>(i));
        } else if (isEnd(e)) {
            Waiting& key = waiting[e];
            if (key.head == key.starts.size()) continue;
            endOf[static_cast<std::size_t>(key.starts[key.head++])] = static_cast<std::int32_t>(i);
            if (key.head == key.starts.size()) {
                key.starts.clear();
                key.head = 0;
            }
        }
    }
    return endOf;
}

}  // namespace rovanta
