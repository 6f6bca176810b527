#include "smf/SmfWriter.h"

#include <algorithm>
#include <cstring>

#include "song/NoteMatching.h"
#include "song/Ticks.h"
#include "support/FileAccess.h"
#include "support/FileChooser.h"

namespace rovanta {

namespace {
// Room kept free behind ordinary events; the closing note offs and End of
// Track of a cut chunk use it.
constexpr std::int32_t kMargin = 256;
// The file header stands before the chunk in the song's block of the same size.
constexpr std::int32_t kHeaderRoom = 14;
constexpr std::int32_t kEndOfTrackRoom = 4;  // 00 FF 2F 00
constexpr std::int32_t kNoteOffRoom = 4;     // 00 8n kk 40

std::uint8_t Low(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

void AppendBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A system-exclusive event as stored: its status, then (normally) the length
// of what follows and those bytes. One read under running status, or whose
// end the F7 scan found elsewhere than its length said, holds no length of its
// own; it is written with the length of the bytes behind its status.
void AppendSysEx(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> stored)
{
    if (stored.empty()) return;
    std::uint64_t length = 0;
    std::size_t at = 1;
    bool complete = false;
    for (int groups = 0; groups < 4 && at < stored.size(); ++groups) {
        const std::uint8_t b = stored[at++];
        length = (length << 7) | (b & 0x7Fu);
        if ((b & 0x80) == 0) {
            complete = true;
            break;
        }
    }
    // A message cut off by the end of its chunk (shorter than its length
    // says) gets its closing F7: readers look for it, and without it would
    // take the events behind for its data.
    if (stored[0] == 0xF0 && stored.back() != 0xF7) {
        const auto data = complete && at + length > stored.size() ? stored.subspan(at) : stored.subspan(1);
        out.push_back(stored[0]);
        AppendVlq(out, static_cast<std::uint32_t>(data.size() + 1));
        AppendBytes(out, data);
        out.push_back(0xF7);
        return;
    }
    if (complete && at + length == stored.size()) {
        AppendBytes(out, stored);
        return;
    }
    out.push_back(stored[0]);
    AppendVlq(out, static_cast<std::uint32_t>(stored.size() - 1));
    AppendBytes(out, stored.subspan(1));
}

void PutBe32(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}
}  // namespace

void AppendVlq(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

bool EncodeEvent(MidiTrackData& track, MusicEvent& e, std::vector<std::uint8_t>& out)
{
    // A status byte always carries a channel from 0 to 15.
    auto status = [&](std::int32_t high) { return static_cast<std::uint8_t>(high | (e.channel & 0x0F)); };
    switch (e.kind) {
    case kind::kNoteOff:
    case kind::kNoteOn:
        if (e.note > 127) e.note = 0;
        out.push_back(status(e.kind));
        out.push_back(Low(e.note));
        out.push_back(e.kind == kind::kNoteOff ? 0x40 : Low(e.velocity));
        return true;
    case kind::kPolyPressure:
        // Its stored bytes when it has them, else the message its fields make.
        if (e.bytes)
            AppendBytes(out, e.Bytes());
        else
            out.insert(out.end(), {status(e.kind), Low(e.note), Low(e.value)});
        return true;
    case kind::kSysEx:
    case kind::kSysExEscape:
        AppendSysEx(out, e.Bytes());
        return true;
    case kind::kControlChange:
        out.insert(out.end(), {status(e.kind), Low(e.type), Low(e.value)});
        return true;
    case kind::kProgramChange:
    case kind::kChannelPressure:
        out.insert(out.end(), {status(e.kind), Low(e.value)});
        return true;
    case kind::kPitchBend:
        out.insert(out.end(), {status(e.kind), Low(e.note), Low(e.value)});
        return true;
    case kind::kMeta:
        break;
    default:
        track.ReportError(mdtk::kUndefinedEvent);
        return false;
    }
    if (e.length > 128 && e.type != meta::kSequencerSpecific) track.ReportWarning(mdtk::kOversizeEvent);
    switch (e.type) {
    case meta::kEndOfTrack:
        out.insert(out.end(), {0xFF, 0x2F, 0x00});
        break;
    case meta::kTempo:
        out.insert(out.end(), {0xFF, 0x51, 0x03, Low(e.value >> 16), Low(e.value >> 8), Low(e.value)});
        break;
    case meta::kTimeSignature: {
        // From the stored bytes, not from the value.
        out.insert(out.end(), {0xFF, 0x58, 0x04});
        const auto bytes = e.Bytes();
        for (std::size_t i = 0; i < 4; ++i) out.push_back(i < bytes.size() ? bytes[i] : 0);
        break;
    }
    default: {
        out.insert(out.end(), {0xFF, Low(e.type)});
        const auto bytes = e.Bytes();
        AppendVlq(out, static_cast<std::uint32_t>(std::max(e.length, 0)));
        AppendBytes(out, bytes);
        // A length beyond the stored bytes (never made by this system) is filled with zeros.
        for (std::size_t i = bytes.size(); i < static_cast<std::size_t>(std::max(e.length, 0)); ++i) out.push_back(0);
        break;
    }
    }
    return true;
}

namespace {
// The note ons written and not yet ended, in the order they were written;
// note ends take them first in, first out per key.
class SoundingNotes {
public:
    void Written(const MusicEvent& e)
    {
        if (e.IsNoteStart()) {
            waiting_[e].push_back(ons_.size());
            ons_.push_back(&e);
        } else if (e.IsNoteEnd()) {
            Waiting& key = waiting_[e];
            if (key.head < key.size()) ons_[key[key.head++]] = nullptr;
        }
    }
    template <typename F>
    void ForEach(F f) const
    {
        for (const MusicEvent* on : ons_)
            if (on) f(*on);
    }

private:
    struct Waiting : std::vector<std::size_t> {
        std::size_t head = 0;
    };
    std::vector<const MusicEvent*> ons_;
    KeyTable<Waiting> waiting_{Waiting{}};
};
}  // namespace

bool EncodeTrack(MidiTrackData& track, const char* chunkId)
{
    MemoryBlock& block = track.Block();
    return block && EncodeTrack(track, chunkId, block.data());
}

bool EncodeTrack(MidiTrackData& track, const char* chunkId, std::uint8_t* out)
{
    if (track.State() != track_state::kEventForm || track.Count() == 0 ||
        !track.At(track.Count() - 1).IsEndOfTrack()) {
        track.ReportError(mdtk::kInternalError);
        return false;
    }
    const std::int32_t capacity = track.Capacity();
    // The whole chunk must also fit behind the file header in the song's block.
    const std::int64_t usable = std::int64_t{capacity} - kHeaderRoom;
    std::int32_t length = 8;
    std::vector<std::uint8_t> delta, bytes;
    std::int32_t carried = 0;
    const std::span<MusicEvent> events = track.Events();
    std::size_t next = 0;
    bool cut = false;
    for (; next < events.size(); ++next) {
        MusicEvent& e = events[next];
        bytes.clear();
        if (!EncodeEvent(track, e, bytes)) {
            // No bytes for this event: its time goes to the next one, so no
            // delta is left in the chunk without an event behind it.
            carried = AddTicks(carried, e.delta);
            continue;
        }
        delta.clear();
        AppendVlq(delta, static_cast<std::uint32_t>(std::max(AddTicks(e.delta, carried), 0)));
        carried = 0;
        const std::int64_t needed = std::int64_t{length} + static_cast<std::int64_t>(delta.size());
        // The margin keeps room for ordinary events; a long one is checked
        // whole, leaving room for the End of Track.
        if (needed > capacity - kMargin ||
            needed + static_cast<std::int64_t>(bytes.size()) > usable - kEndOfTrackRoom) {
            track.ReportError(mdtk::kCanNotAddData);
            cut = true;
            break;
        }
        std::memcpy(out + length, delta.data(), delta.size());
        length += static_cast<std::int32_t>(delta.size());
        std::memcpy(out + length, bytes.data(), bytes.size());
        length += static_cast<std::int32_t>(bytes.size());
    }
    if (cut) {
        // A cut chunk still ends every note it started, then ends itself.
        SoundingNotes sounding;
        for (const MusicEvent& e : events.first(next)) sounding.Written(e);
        auto put = [&](std::initializer_list<std::uint8_t> bytes) {
            for (std::uint8_t b : bytes) out[length++] = b;
        };
        sounding.ForEach([&](const MusicEvent& on) {
            if (length + kNoteOffRoom > usable - kEndOfTrackRoom) return;
            put({0x00, static_cast<std::uint8_t>(kind::kNoteOff | (on.channel & 0x0F)), Low(on.note), 0x40});
        });
        put({0x00, 0xFF, 0x2F, 0x00});
    }
    std::memcpy(out, chunkId, 4);
    PutBe32(out + 4, static_cast<std::uint32_t>(length - 8));
    track.dataLength = length;
    track.SetState(track_state::kEncoded);
    return true;
}

namespace {
// More than the bytes any event with its delta time is written as: the delta,
// a status, a type, a length and a closing F7 take at most 13 bytes besides
// the event's data.
std::size_t EncodedBound(const MusicEvent& e)
{
    return 13 + std::max(e.Bytes().size(), static_cast<std::size_t>(std::max(e.length, 0)));
}
}  // namespace

void Encode(MidiF0Data& song)
{
    if (song.State() != track_state::kEventForm || !song.HasTrack()) {
        song.ReportError(m0dt::kInternalError);
        return;
    }
    // A song that cannot come near its capacity gets a block of the size its
    // image may need: zeroing and touching the whole capacity for a short song
    // would cost more than writing it. Near the capacity the encoder may cut
    // the chunk, so it gets all of it.
    std::size_t bound = kHeaderRoom + 8;
    for (const MusicEvent& e : song.Track().Events()) bound += EncodedBound(e);
    const auto capacity = static_cast<std::size_t>(std::max(song.Capacity(), 0));
    MemoryBlock& block = song.Block(bound + kMargin + kHeaderRoom >= capacity ? capacity : bound);
    if (!block) return;
    std::uint8_t* header = block.data();
    std::memcpy(header, "MThd", 4);
    PutBe32(header + 4, 6);
    header[8] = 0;
    header[9] = 0;
    header[10] = 0;
    header[11] = 1;
    header[12] = static_cast<std::uint8_t>(song.division >> 8);
    header[13] = static_cast<std::uint8_t>(song.division);
    song.readPosition = 14;

    MidiTrackData& track = song.Track();
    track.MoveControlsFirst();
    track.MoveSysExFirst();
    track.MoveNoteOffsFirst();
    // The chunk goes straight behind the header; the encoder keeps it within
    // the block. A track it refuses leaves the song unencoded, so nothing
    // half-made is saved.
    if (!EncodeTrack(track, "MTrk", header + 14)) return;
    song.dataLength = 14 + track.dataLength;
    song.SetTrack(std::nullopt);
    song.SetState(track_state::kEncoded);
}

int SaveToFile(MidiF0Data& song, const std::string& path)
{
    if (song.State() != track_state::kEncoded || !song.Block()) {
        song.ReportError(m0dt::kInternalError);
        return 0;
    }
    return WriteWholeFile(song.Context(), path, song.Block().data(), static_cast<std::uint32_t>(song.dataLength));
}

int Save(MidiF0Data& song, FileChooser& chooser)
{
    std::string path;
    if (!AskSaveFileName(chooser, path, kSaveDefaultExtension, kSmfFilter, nullptr, nullptr)) return 0;
    return SaveToFile(song, path);
}

}  // namespace rovanta
