#pragma once
// What must hold for a track or a song however broken the file it came from,
// shared by every fuzz target and by the regression test. Nothing here knows
// the fuzzing engine: a broken rule goes to the caller's handler (a fuzz
// target traps, the test records a failure), so the code builds with any
// compiler.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"
#include "support/Report.h"

namespace rovanta::fuzz {

// Called with the step and the rule that failed.
using ViolationHandler = std::function<void(std::string_view step, std::string_view rule)>;

// Swallows every report but reads each character, so a report assembled from
// freed or out-of-range memory still trips the address checker. Given a list
// (KeepCodesIn), also keeps each report's tag and code there ("MDTK0D000001").
class DiscardingSink : public ReportSink {
public:
    static constexpr std::size_t kCodeLength = 12;

    void Show(std::string_view text) override
    {
        std::uint64_t digest = digest_;
        for (const char c : text) digest = digest * 131 + static_cast<unsigned char>(c);
        digest_ = digest;
        ++reports_;
        if (codes_) codes_->emplace_back(text.substr(0, kCodeLength));
    }
    std::uint64_t Digest() const { return digest_; }
    std::uint64_t Reports() const { return reports_; }
    void KeepCodesIn(std::vector<std::string>* codes) { codes_ = codes; }

private:
    volatile std::uint64_t digest_ = 0;  // volatile: the reads above must not be optimised away
    std::uint64_t reports_ = 0;
    std::vector<std::string>* codes_ = nullptr;
};

namespace detail {

inline bool IsKnownKind(std::int32_t k)
{
    switch (k) {
    case kind::kPairedNote:
    case kind::kNoteOff:
    case kind::kNoteOn:
    case kind::kPolyPressure:
    case kind::kControlChange:
    case kind::kProgramChange:
    case kind::kChannelPressure:
    case kind::kPitchBend:
    case kind::kSysEx:
    case kind::kSysExEscape:
    case kind::kMeta:
        return true;
    default:
        return false;
    }
}

inline std::int32_t CountIf(const MidiTrackData& track, bool (*test)(const MusicEvent&))
{
    std::int32_t n = 0;
    for (const MusicEvent& e : track.Events()) n += test(e) ? 1 : 0;
    return n;
}

inline std::int32_t CountKind(const MidiTrackData& track, std::int32_t k)
{
    std::int32_t n = 0;
    for (const MusicEvent& e : track.Events()) n += e.kind == k ? 1 : 0;
    return n;
}

// The notes that sound: unpairing drops silent ones.
inline std::int32_t SoundingNotes(const MidiTrackData& track)
{
    return CountIf(track, [](const MusicEvent& e) { return e.kind == kind::kPairedNote && e.velocity != 0; });
}

// Whether unpairing a paired track has room for a note off for every note
// that sounds; without it, unpairing drops notes (reported).
inline bool RoomToUnpair(const MidiTrackData& track)
{
    const std::int32_t sounding = SoundingNotes(track);
    const std::int32_t silent = CountKind(track, kind::kPairedNote) - sounding;
    return std::int64_t{track.Count()} - silent + sounding <= track.MaxEvents();
}

// Events per kind, to show that a reordering pass neither lost nor made one.
inline std::array<std::int32_t, 256> KindHistogram(const MidiTrackData& track)
{
    std::array<std::int32_t, 256> counts{};
    for (const MusicEvent& e : track.Events()) ++counts[static_cast<std::size_t>(e.kind) & 0xFF];
    return counts;
}

// The same without the notes and the invalid events, which pairing turns into
// notes or drops.
inline std::array<std::int32_t, 256> OtherKinds(const MidiTrackData& track)
{
    std::array<std::int32_t, 256> counts = KindHistogram(track);
    for (const std::int32_t k : {kind::kInvalid, kind::kPairedNote, kind::kNoteOn, kind::kNoteOff})
        counts[static_cast<std::size_t>(k)] = 0;
    return counts;
}

inline std::vector<std::int32_t> Deltas(const MidiTrackData& track)
{
    std::vector<std::int32_t> deltas;
    deltas.reserve(static_cast<std::size_t>(track.Count()));
    for (const MusicEvent& e : track.Events()) deltas.push_back(e.delta);
    return deltas;
}

// Every paired note as (tick, channel, key, velocity, duration), sorted.
// Notes of one key struck in one tick may trade velocities on the way
// through the same-tick orders (their lengths stay), so within such a group
// the velocities are listed in order of their own, apart from the lengths.
using Note = std::tuple<std::int64_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t>;
inline std::vector<Note> PairedNotes(const MidiTrackData& track)
{
    std::vector<Note> notes;
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        if (e.kind == kind::kPairedNote) notes.emplace_back(tick, e.channel, e.note, e.velocity, e.duration);
    }
    std::sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) {
        return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a), std::get<4>(a)) <
               std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b), std::get<4>(b));
    });
    std::vector<std::int32_t> velocities;
    for (std::size_t from = 0, to = 0; from < notes.size(); from = to) {
        velocities.clear();
        for (to = from; to < notes.size() && std::get<0>(notes[to]) == std::get<0>(notes[from]) &&
                        std::get<1>(notes[to]) == std::get<1>(notes[from]) &&
                        std::get<2>(notes[to]) == std::get<2>(notes[from]);
             ++to)
            velocities.push_back(std::get<3>(notes[to]));
        std::sort(velocities.begin(), velocities.end());
        for (std::size_t k = from; k < to; ++k) std::get<3>(notes[k]) = velocities[k - from];
    }
    return notes;
}

// Whether every tick of the track, note ends included, fits a delta time.
// Beyond that, sums of deltas saturate by design, and passes that move a
// delta onto another event may move that event in time.
inline bool TicksFit(const MidiTrackData& track)
{
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        const std::int64_t end = tick + (e.kind == kind::kPairedNote ? std::max(e.duration, 0) : 0);
        if (end > std::numeric_limits<std::int32_t>::max()) return false;
    }
    return true;
}

inline bool SameEvent(const MusicEvent& a, const MusicEvent& b)
{
    if (a.kind != b.kind || a.delta != b.delta || a.note != b.note || a.duration != b.duration ||
        a.velocity != b.velocity || a.type != b.type || a.value != b.value || a.length != b.length ||
        a.channel != b.channel)
        return false;
    const auto x = a.Bytes();
    const auto y = b.Bytes();
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin());
}

inline std::uint32_t Be32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace detail

// The rules every event of a track in `state` (1 event form, 2 paired form)
// keeps. A freshly read track may still hold invalid events (kind 0, for bytes
// the reader could not place); pairing drops them.
inline void CheckEvents(const MidiTrackData& track, std::int32_t state, bool invalidAllowed, std::string_view step,
                        const ViolationHandler& violated)
{
    if (track.State() != state) violated(step, "track is not in the expected form");
    if (track.Count() > track.MaxEvents()) violated(step, "more events than the table holds");
    for (const MusicEvent& e : track.Events()) {
        if (e.kind == kind::kInvalid) {
            if (!invalidAllowed) violated(step, "an invalid (kind 0) event survived");
        } else if (!detail::IsKnownKind(e.kind)) {
            violated(step, "an event of unknown kind");
        }
        if (!(e.channel == kNoChannel || e.channel <= 15))
            violated(step, "channel outside 0..15 and not 255");
        if (e.delta < 0) violated(step, "negative delta time");
        // A channel message keeps no bytes: its fields hold them.
        const bool channelMessage = (e.kind >= kind::kNoteOff && e.kind < kind::kSysEx) || e.kind == kind::kPairedNote;
        if (e.length < 0 || (e.bytes && static_cast<std::size_t>(e.length) > e.bytes.size()) ||
            (!channelMessage && e.length > 0 && !e.bytes))
            violated(step, "length does not fit the event's bytes");
        if (state == track_state::kPaired) {
            if (e.kind == kind::kNoteOn || e.kind == kind::kNoteOff)
                violated(step, "a note on or note off left in paired form");
            if (e.kind == kind::kPairedNote && e.duration < 0) violated(step, "a paired note of negative duration");
            if (e.kind == kind::kPairedNote && e.note > 127)
                violated(step, "a paired note outside 0..127");
        } else if (e.kind == kind::kPairedNote) {
            violated(step, "a paired note left in event form");
        }
    }
}

// A song in `state`: its one track keeps the event rules and ends with its
// only End of Track.
inline void CheckSong(const MidiF0Data& song, std::int32_t state, std::string_view step,
                      const ViolationHandler& violated)
{
    if (song.State() != state) violated(step, "song is not in the expected form");
    if (!song.HasTrack()) {
        violated(step, "song has no track");
        return;
    }
    const MidiTrackData& track = song.Track();
    if (track.Count() == 0 || !track.At(track.Count() - 1).IsEndOfTrack())
        violated(step, "the last event is not an End of Track");
    std::int32_t ends = 0;
    for (const MusicEvent& e : track.Events()) ends += e.IsEndOfTrack() ? 1 : 0;
    if (ends != 1) violated(step, "not exactly one End of Track");
    CheckEvents(track, state, false, step, violated);
}

// An encoded song's image: one format-0 header and one track chunk whose
// length is right.
inline void CheckImage(std::span<const std::uint8_t> image, std::string_view step, const ViolationHandler& violated)
{
    if (image.size() < 22 || !std::equal(image.begin(), image.begin() + 4, "MThd") ||
        !std::equal(image.begin() + 14, image.begin() + 18, "MTrk") ||
        detail::Be32(image.data() + 18) + 22 != image.size())
        violated(step, "the image is not a well-formed one-track file");
}

// For the fuzz targets: prints the broken rule and traps, so libFuzzer keeps the input.
[[noreturn]] inline void Trap(const char* target, std::string_view step, std::string_view rule)
{
    std::fprintf(stderr, "%s: after %.*s: %.*s\n", target, static_cast<int>(step.size()), step.data(),
                 static_cast<int>(rule.size()), rule.data());
    __builtin_trap();
}

}  // namespace rovanta::fuzz
