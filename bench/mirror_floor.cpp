// The floor that rovanta-cli's speed and memory are measured against: a plain,
// straight-line C++ program that does the same job on the same file (read it,
// merge its tracks, pair the notes, play it backwards and upside down about
// each channel's centre, write a format-0 file), with no report tables, no
// copies kept for undo and no limits. bench/compare.sh times the two.
//
//     mirror_floor IN OUT

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

namespace {

// A channel message holds its bytes; a meta or system-exclusive message
// points at its data in the file.
struct Event {
    std::int64_t tick;
    std::uint8_t status, a, b;  // for a meta: FF, its type
    std::uint32_t dataAt = 0, dataLength = 0;
};

struct Note {
    std::int64_t start, end;
    int channel, key, velocity;
};

std::uint32_t Be(const std::vector<std::uint8_t>& b, std::size_t at, int n)
{
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | (at + i < b.size() ? b[at + i] : 0);
    return v;
}

std::uint32_t Vlq(const std::vector<std::uint8_t>& b, std::size_t& at, std::size_t end)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4 && at < end; ++i) {
        const std::uint8_t c = b[at++];
        v = v << 7 | (c & 0x7F);
        if (!(c & 0x80)) break;
    }
    return v;
}

void PutVlq(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    std::uint8_t groups[5];
    int n = 0;
    do groups[n++] = v & 0x7F; while (v >>= 7);
    while (n > 1) out.push_back(groups[--n] | 0x80);
    out.push_back(groups[0]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mirror_floor IN OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    std::size_t at = file.size() >= 132 && Be(file, 128, 4) == 0x4D546864 ? 128 : 0;
    const int tracks = static_cast<int>(Be(file, at + 10, 2));
    const std::uint32_t division = Be(file, at + 12, 2);
    at += 14;

    // Every track's events, merged by time (at equal times the earlier track first).
    std::vector<Event> events;
    std::int64_t end = 0;
    std::uint8_t running = 0;
    for (int t = 0; t < tracks && at + 8 <= file.size(); ++t) {
        const std::size_t chunkEnd = std::min(file.size(), at + 8 + Be(file, at + 4, 4));
        std::size_t p = at + 8;
        std::int64_t tick = 0;
        while (p < chunkEnd) {
            tick += Vlq(file, p, chunkEnd);
            std::uint8_t status = p < chunkEnd ? file[p] : 0;
            if (status & 0x80) ++p; else status = running;
            Event e{tick, status, 0, 0};
            if (status == 0xFF) {
                e.a = p < chunkEnd ? file[p++] : 0;
                const std::uint32_t n = Vlq(file, p, chunkEnd);
                if (e.a == 0x2F) break;
                e.dataAt = static_cast<std::uint32_t>(p);
                e.dataLength = static_cast<std::uint32_t>(std::min<std::size_t>(n, chunkEnd - std::min(p, chunkEnd)));
                p += n;
            } else if (status == 0xF0 || status == 0xF7) {
                const std::uint32_t n = Vlq(file, p, chunkEnd);
                e.dataAt = static_cast<std::uint32_t>(p);
                e.dataLength = static_cast<std::uint32_t>(std::min<std::size_t>(n, chunkEnd - std::min(p, chunkEnd)));
                p += n;
            } else {
                running = status;
                e.a = p < chunkEnd ? file[p++] : 0;
                if ((status & 0xE0) != 0xC0) e.b = p < chunkEnd ? file[p++] : 0;
            }
            events.push_back(std::move(e));
        }
        end = std::max(end, tick);
        at = chunkEnd;
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });

    // Notes: a key sounds from a note on until the next note on or off of the key.
    std::vector<Note> notes;
    std::vector<Event> others;
    std::map<std::pair<int, int>, Note> open;
    for (Event& e : events) {
        const int kind = e.status & 0xF0;
        if (kind != 0x80 && kind != 0x90) {
            others.push_back(std::move(e));
            continue;
        }
        const int channel = e.status & 0x0F, key = e.a;
        const bool on = kind == 0x90 && e.b > 0;
        const auto sounding = open.find({channel, key});
        if (sounding != open.end()) {
            sounding->second.end = e.tick;
            notes.push_back(sounding->second);
            open.erase(sounding);
        }
        if (on) open[{channel, key}] = Note{e.tick, e.tick, channel, key, e.b};
    }
    for (auto& [key, note] : open) {
        note.end = end;
        notes.push_back(note);
    }

    // Backwards in time: each passage keeps its program and tempo, so those
    // move one place earlier in the reversed order.
    std::int64_t last = 0;
    for (const Note& n : notes) last = std::max(last, n.end);
    for (const Event& e : others) last = std::max(last, e.tick);
    for (Note& n : notes) n = Note{last - n.end, last - n.start, n.channel, n.key, n.velocity};
    for (Event& e : others) e.tick = last - e.tick;
    std::reverse(others.begin(), others.end());
    std::map<int, std::vector<Event*>> shifted;  // per channel its programs; -1: tempos
    for (Event& e : others) {
        if ((e.status & 0xF0) == 0xC0) shifted[e.status & 0x0F].push_back(&e);
        if (e.status == 0xFF && e.a == 0x51) shifted[-1].push_back(&e);
    }
    for (auto& [channel, list] : shifted) {
        for (std::size_t i = list.size(); i-- > 1;) list[i]->tick = list[i - 1]->tick;
        if (!list.empty()) list[0]->tick = 0;
    }

    // Upside down about the C at the middle of each channel's range, an octave up; drums stay.
    int low[16], high[16];
    std::fill(low, low + 16, 127);
    std::fill(high, high + 16, 0);
    for (const Note& n : notes) {
        low[n.channel] = std::min(low[n.channel], n.key);
        high[n.channel] = std::max(high[n.channel], n.key);
    }
    for (Note& n : notes) {
        if (n.channel == 9) continue;
        const int centre = (low[n.channel] + high[n.channel]) / 2 / 12 * 12;
        int key = std::clamp(2 * centre - n.key, 0, 127) + 12;
        while (key > 127) key -= 12;
        n.key = key;
    }

    // Back to events in time order (controls, note offs, note ons within a tick) and out.
    std::vector<std::pair<std::pair<std::int64_t, int>, Event>> out;
    out.reserve(others.size() + 2 * notes.size());
    for (Event& e : others) out.push_back({{e.tick, 0}, e});
    for (const Note& n : notes) {
        const auto channel = static_cast<std::uint8_t>(n.channel), key = static_cast<std::uint8_t>(n.key);
        out.push_back({{n.end, 1}, Event{n.end, static_cast<std::uint8_t>(0x80 | channel), key, 0x40}});
        out.push_back({{n.start, 2}, Event{n.start, static_cast<std::uint8_t>(0x90 | channel), key, static_cast<std::uint8_t>(n.velocity)}});
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::uint8_t> track;
    std::int64_t previous = 0;
    for (const auto& [key, e] : out) {
        PutVlq(track, static_cast<std::uint32_t>(e.tick - previous));
        previous = e.tick;
        track.push_back(e.status);
        if (e.status == 0xFF) track.push_back(e.a);
        if (e.status >= 0xF0) {
            PutVlq(track, e.dataLength);
            track.insert(track.end(), file.begin() + e.dataAt, file.begin() + e.dataAt + e.dataLength);
        } else {
            track.push_back(e.a);
            if ((e.status & 0xE0) != 0xC0) track.push_back(e.b);
        }
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    std::vector<std::uint8_t> image = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1,
                                       static_cast<std::uint8_t>(division >> 8), static_cast<std::uint8_t>(division),
                                       'M', 'T', 'r', 'k'};
    for (int shift = 24; shift >= 0; shift -= 8) image.push_back(static_cast<std::uint8_t>(track.size() >> shift));
    image.insert(image.end(), track.begin(), track.end());
    std::ofstream(argv[2], std::ios::binary).write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return 0;
}
