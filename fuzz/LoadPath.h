#pragma once
// The path a user's file takes through the core, driven from a file on disk:
// load, build the song, then the copies and passes that Play and Save run on
// it, checking after every step what must hold for any input whatsoever.
// Shared by the fuzz target and the regression test, so both run the same
// path; it knows nothing of the fuzzing engine. A broken rule is handed to the
// caller's handler: the fuzz target traps, the test records a failure.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pipelines/MirrorPipeline.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfWriter.h"
#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"
#include "support/Report.h"
#include "support/RunContext.h"

namespace rovanta::fuzz {

// Called with the step and the rule that failed.
using ViolationHandler = std::function<void(std::string_view step, std::string_view rule)>;

// Swallows every report but reads each character, so a report assembled from
// freed or out-of-range memory still trips the address checker.
class DiscardingSink : public ReportSink {
public:
    void Show(std::string_view text) override
    {
        std::uint64_t digest = digest_;
        for (const char c : text) digest = digest * 131 + static_cast<unsigned char>(c);
        digest_ = digest;
        ++reports_;
    }
    std::uint64_t Digest() const { return digest_; }
    std::uint64_t Reports() const { return reports_; }

private:
    volatile std::uint64_t digest_ = 0;  // volatile: the reads above must not be optimised away
    std::uint64_t reports_ = 0;
};

struct LoadOutcome {
    bool loaded = false;       // a song was built
    std::int32_t events = 0;   // events of the loaded song
    std::int32_t pairedNotes = 0;
    std::uint64_t reports = 0;
    std::uint64_t digest = 0;  // of every report text
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

inline std::int32_t CountKind(const MidiTrackData& track, std::int32_t k)
{
    std::int32_t n = 0;
    for (const MusicEvent& e : track.Events()) n += e.kind == k ? 1 : 0;
    return n;
}

// Events per kind, to show that a reordering pass neither lost nor made one.
inline std::array<std::int32_t, 256> KindHistogram(const MidiTrackData& track)
{
    std::array<std::int32_t, 256> counts{};
    for (const MusicEvent& e : track.Events()) ++counts[static_cast<std::size_t>(e.kind) & 0xFF];
    return counts;
}

inline std::vector<std::int32_t> Deltas(const MidiTrackData& track)
{
    std::vector<std::int32_t> deltas;
    deltas.reserve(static_cast<std::size_t>(track.Count()));
    for (const MusicEvent& e : track.Events()) deltas.push_back(e.delta);
    return deltas;
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

}  // namespace detail

// What every song in `state` (1 event form, 2 paired form) must look like,
// however broken the file it came from.
inline void CheckSong(const MidiF0Data& song, std::int32_t state, std::string_view step,
                      const ViolationHandler& violated)
{
    if (song.State() != state) violated(step, "song is not in the expected form");
    if (!song.HasTrack()) {
        violated(step, "song has no track");
        return;
    }
    const MidiTrackData& track = song.Track();
    if (track.State() != state) violated(step, "track is not in the expected form");
    if (track.Count() > track.MaxEvents()) violated(step, "more events than the table holds");
    if (track.Count() == 0 || !track.At(track.Count() - 1).IsEndOfTrack())
        violated(step, "the last event is not an End of Track");
    std::int32_t ends = 0;
    for (const MusicEvent& e : track.Events()) ends += e.IsEndOfTrack() ? 1 : 0;
    if (ends != 1) violated(step, "not exactly one End of Track");
    for (const MusicEvent& e : track.Events()) {
        if (e.kind == kind::kInvalid) violated(step, "an invalid (kind 0) event survived");
        else if (!detail::IsKnownKind(e.kind)) violated(step, "an event of unknown kind");
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

// Runs the whole path on the file at `path` with a fresh run context.
inline LoadOutcome RunLoadPath(const std::string& path, const ViolationHandler& violated)
{
    DiscardingSink sink;
    RunContext ctx(sink);
    LoadOutcome outcome;
    {
        MidiFileLoader loader(ctx);
        loader.Load(path);
        if (loader.FileLength() != 0) {
            loader.BuildSong();
            // Load keeps a non-zero length only when it holds tracks to build
            // from; BuildSong gives the song up only as a failed load.
            if (!loader.Song() && loader.FileLength() != 0) violated("BuildSong", "a file that loaded built no song");
            if (!loader.Song() && ctx.ReportCount() == 0) violated("BuildSong", "a load failed without a report");
        } else if (loader.Song()) {
            violated("Load", "a song although nothing was loaded");
        }
        const MidiF0Data* loaded = loader.Song();
        if (loaded) {
            const MidiF0Data& song = *loaded;
            CheckSong(song, track_state::kPaired, "load", violated);
            outcome.loaded = true;
            outcome.events = song.Track().Count();
            outcome.pairedNotes = detail::CountKind(song.Track(), kind::kPairedNote);

            // Copies are deep and exact.
            MidiF0Data copy = MidiF0Data::Copy(song);
            CheckSong(copy, track_state::kPaired, "Copy", violated);
            if (copy.division != song.division) violated("Copy", "division differs");
            if (copy.Track().Count() != song.Track().Count()) {
                violated("Copy", "event count differs");
            } else {
                for (std::int32_t i = 0; i < song.Track().Count(); ++i) {
                    const MusicEvent& a = song.Track().At(i);
                    const MusicEvent& b = copy.Track().At(i);
                    if (!detail::SameEvent(a, b)) violated("Copy", "an event differs from its original");
                    if (a.bytes && a.bytes.data() == b.bytes.data()) violated("Copy", "an event shares its bytes");
                }
            }

            // Play and Save: event form and back. Each paired note becomes one
            // note on and one note off; pairing again never makes notes.
            copy.UnpairTrack();
            CheckSong(copy, track_state::kEventForm, "UnpairTrack", violated);
            if (detail::CountKind(copy.Track(), kind::kNoteOn) != outcome.pairedNotes ||
                detail::CountKind(copy.Track(), kind::kNoteOff) != outcome.pairedNotes)
                violated("UnpairTrack", "note ons and offs do not match the paired notes");
            copy.PairTrack();
            CheckSong(copy, track_state::kPaired, "UnpairTrack+PairTrack", violated);
            if (detail::CountKind(copy.Track(), kind::kPairedNote) > outcome.pairedNotes)
                violated("UnpairTrack+PairTrack", "pairing again made more notes");

            MidiF0Data again = MidiF0Data::Copy(copy);
            CheckSong(again, track_state::kPaired, "Copy of the re-paired song", violated);
            if (again.Track().Count() != copy.Track().Count())
                violated("Copy of the re-paired song", "event count differs");

            // The play copy's time base.
            MidiF0Data play = MidiF0Data::Copy(song);
            play.Track().Retime(song.division, 96);
            CheckSong(play, track_state::kPaired, "Retime to 96", violated);

            // The same-tick orders: events change places, positions keep their times.
            MidiF0Data ordered = MidiF0Data::Copy(song);
            ordered.UnpairTrack();
            const std::vector<std::int32_t> deltas = detail::Deltas(ordered.Track());
            const auto kinds = detail::KindHistogram(ordered.Track());
            ordered.Track().MoveControlsFirst();
            ordered.Track().MoveSysExFirst();
            ordered.Track().MoveNoteOffsFirst();
            CheckSong(ordered, track_state::kEventForm, "same-tick passes", violated);
            if (detail::Deltas(ordered.Track()) != deltas) violated("same-tick passes", "delta times moved");
            if (detail::KindHistogram(ordered.Track()) != kinds) violated("same-tick passes", "events lost or made");
            ordered.PairTrack();
            CheckSong(ordered, track_state::kPaired, "same-tick passes+PairTrack", violated);

            // Both reversals and the writer, as Save runs them; the image
            // must be a one-track format-0 file whose chunk length is right.
            MidiF0Data saved = MirroredCopy(song, MirrorSettings{true, true, 1});
            Encode(saved);
            if (saved.State() != track_state::kEncoded) {
                violated("Encode", "the song was not encoded");
            } else {
                const std::uint8_t* image = saved.Block().data();
                const auto length = static_cast<std::uint32_t>(saved.dataLength);
                const std::uint32_t chunk = (std::uint32_t{image[18]} << 24) | (std::uint32_t{image[19]} << 16) |
                                            (std::uint32_t{image[20]} << 8) | image[21];
                if (length < 22 || std::memcmp(image, "MThd", 4) != 0 || std::memcmp(image + 14, "MTrk", 4) != 0 ||
                    chunk + 22 != length)
                    violated("Encode", "the image is not a well-formed one-track file");
            }
        }
    }
    outcome.reports = sink.Reports();
    outcome.digest = sink.Digest();
    return outcome;
}

}  // namespace rovanta::fuzz
