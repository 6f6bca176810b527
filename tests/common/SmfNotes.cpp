#include "common/SmfNotes.h"

#include <algorithm>
#include <deque>
#include <map>
#include <utility>

namespace rovanta::test {

namespace {

class Cursor {
public:
    Cursor(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t end) : b_(bytes), at_(at), end_(end) {}
    bool More() const { return at_ < end_; }
    std::uint8_t Peek() const { return at_ < end_ ? b_[at_] : 0; }
    std::uint8_t Next() { return at_ < end_ ? b_[at_++] : 0; }
    std::uint32_t Vlq()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4 && More(); ++i) {
            const std::uint8_t b = Next();
            value = (value << 7) | (b & 0x7Fu);
            if (!(b & 0x80)) break;
        }
        return value;
    }
    void Skip(std::size_t n) { at_ = std::min(end_, at_ + n); }

private:
    const std::vector<std::uint8_t>& b_;
    std::size_t at_, end_;
};

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

using Key = std::pair<int, int>;

}  // namespace

std::vector<NoteTrack> ReadNoteTracks(const std::vector<std::uint8_t>& file, int maxChunks)
{
    std::vector<NoteTrack> tracks;
    std::size_t at = 14;
    std::uint8_t running = 0;
    while (at + 8 <= file.size() && static_cast<int>(tracks.size()) < maxChunks) {
        const std::size_t size = Be32(file, at + 4);
        const std::size_t end = std::min(file.size(), at + 8 + size);
        Cursor c(file, at + 8, end);
        NoteTrack& track = tracks.emplace_back();
        std::int64_t tick = 0;
        while (c.More()) {
            tick += c.Vlq();
            std::uint8_t status = c.Peek();
            if (status >= 0x80) {
                c.Next();
                if (status != 0xFF) running = status;
            } else {
                status = running;
            }
            if (status == 0xFF) {
                const std::uint8_t type = c.Next();
                c.Skip(c.Vlq());
                if (type == 0x2F) break;
            } else if (status == 0xF0 || status == 0xF7) {
                c.Skip(c.Vlq());
            } else {
                const std::uint8_t a = c.Next();
                const std::uint8_t b = (status & 0xE0) == 0xC0 ? 0 : c.Next();
                const int high = status & 0xF0;
                if (high == 0x80 || high == 0x90) track.events.push_back({tick, high == 0x90 && b > 0, status & 0x0F, a});
            }
        }
        at = at + 8 + size;
    }
    return tracks;
}

std::vector<Note> NotesHeard(const NoteTrack& track)
{
    std::vector<Note> notes;
    std::map<Key, std::deque<std::int64_t>> sounding;
    for (const NoteEvent& e : track.events) {
        auto& starts = sounding[{e.channel, e.key}];
        if (e.on) {
            starts.push_back(e.tick);
        } else if (!starts.empty()) {
            notes.push_back({e.channel, e.key, starts.front(), e.tick});
            starts.pop_front();
        }
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

int Strikes(const NoteTrack& track)
{
    return static_cast<int>(std::count_if(track.events.begin(), track.events.end(), [](const NoteEvent& e) { return e.on; }));
}

int EndsBehindRestrikes(const NoteTrack& track)
{
    int found = 0;
    std::map<Key, std::deque<std::size_t>> sounding;  // positions of the note ons not yet ended
    for (std::size_t i = 0; i < track.events.size(); ++i) {
        const NoteEvent& e = track.events[i];
        auto& ons = sounding[{e.channel, e.key}];
        if (e.on) {
            ons.push_back(i);
            continue;
        }
        if (ons.empty()) continue;
        const std::size_t ended = ons.front();
        ons.pop_front();
        // A later strike of the key earlier in this tick?
        for (std::size_t j = i; j-- > ended + 1 && track.events[j].tick == e.tick;) {
            const NoteEvent& other = track.events[j];
            if (other.on && other.channel == e.channel && other.key == e.key) {
                ++found;
                break;
            }
        }
    }
    return found;
}

}  // namespace rovanta::test
