#pragma once
// One track chunk through the reader and the track passes that follow a read:
// pairing, unpairing and the same-tick orders. Small inputs reach every edge
// here, because the input also picks a small table, so a few bytes fill it.
// Shared by the fuzz target and the regression test.
//
// The input is either
//   - raw: bytes starting with "MTrk" or "XFKM" (a chunk), or with "MThd" (a
//     file whose first chunk is read); so real files serve as seeds unchanged;
//   - or a selector byte, the running status left by an earlier track, then
//     the events of a chunk the path wraps as "MTrk" with the right length.
//     Selector bits 0-2 pick the table (kTrackCapacities), bits 3-4 the passes
//     (TrackPasses); a raw input gets the full table and kAllPasses.

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "smf/SmfReader.h"
#include "support/RunContext.h"

namespace rovanta::fuzz {

// The song's table, or one that a few dozen bytes fill (a third of these events).
inline constexpr std::array<std::int32_t, 8> kTrackCapacities = {kCapacity, 24, 48, 96, 192, 384, 768, 3072};

enum class TrackPasses {
    kPair,              // pairing only
    kPairUnpairPair,    // and back, as a Play or Save copy does
    kOrderThenPair,     // the same-tick orders on the order the file had
    kAllPasses,         // pair, unpair, the same-tick orders (as Encode runs them), pair
};

struct TrackChunkOutcome {
    bool read = false;  // the chunk was accepted
    std::int32_t events = 0;
    std::int32_t pairedNotes = 0;
    std::uint64_t digest = 0;
};

namespace detail {

inline bool StartsWith(std::span<const std::uint8_t> input, const char* id)
{
    return input.size() >= 4 && std::memcmp(input.data(), id, 4) == 0;
}

// The bytes of a message start with its status, also under running status.
inline bool StatusMatches(const MusicEvent& e)
{
    const auto bytes = e.Bytes();
    // A channel message keeps no bytes: its fields hold them.
    if (e.kind >= kind::kNoteOff && e.kind <= kind::kPitchBend) return bytes.empty() && e.channel <= 15;
    if (e.kind == kind::kSysEx || e.kind == kind::kSysExEscape) return !bytes.empty() && bytes[0] == e.kind;
    return true;
}

inline void CheckPairing(MidiTrackData& track, std::string_view step, const ViolationHandler& violated)
{
    const std::int32_t strikes = CountIf(track, [](const MusicEvent& e) { return e.IsNoteStart(); });
    const auto others = OtherKinds(track);
    track.PairNotes();
    CheckEvents(track, track_state::kPaired, false, step, violated);
    // Every strike becomes a note; every other event that was read stays.
    if (CountKind(track, kind::kPairedNote) != strikes) violated(step, "notes differ from the strikes");
    if (OtherKinds(track) != others) violated(step, "events other than notes lost or made");
}

inline void CheckSameTickOrders(MidiTrackData& track, const ViolationHandler& violated)
{
    const std::vector<std::int32_t> deltas = Deltas(track);
    const auto kinds = KindHistogram(track);
    track.MoveControlsFirst();
    track.MoveSysExFirst();
    track.MoveNoteOffsFirst();
    // Events change places within their tick; positions keep their times.
    CheckEvents(track, track_state::kEventForm, true, "same-tick orders", violated);
    if (Deltas(track) != deltas) violated("same-tick orders", "delta times moved");
    if (KindHistogram(track) != kinds) violated("same-tick orders", "events lost or made");
}

}  // namespace detail

inline TrackChunkOutcome RunTrackChunkPath(std::span<const std::uint8_t> input, const ViolationHandler& violated)
{
    DiscardingSink sink;
    RunContext ctx(sink);
    TrackChunkOutcome outcome;

    std::vector<std::uint8_t> wrapped;
    std::span<const std::uint8_t> file = input;
    std::uint32_t offset = 0;
    std::int32_t capacity = kCapacity;
    TrackPasses passes = TrackPasses::kAllPasses;
    if (detail::StartsWith(input, "MThd")) {
        offset = kHeaderSize;
    } else if (!detail::StartsWith(input, "MTrk") && !detail::StartsWith(input, "XFKM")) {
        if (input.size() < 2) return outcome;
        capacity = kTrackCapacities[input[0] & 7u];
        passes = static_cast<TrackPasses>((input[0] >> 3) & 3u);
        ctx.runningStatus = input[1];
        const std::size_t body = input.size() - 2;
        wrapped = {'M', 'T', 'r', 'k', static_cast<std::uint8_t>(body >> 24), static_cast<std::uint8_t>(body >> 16),
                   static_cast<std::uint8_t>(body >> 8), static_cast<std::uint8_t>(body)};
        wrapped.insert(wrapped.end(), input.begin() + 2, input.end());
        file = wrapped;
    }

    std::uint32_t chunkSize = 0;
    MidiTrackData track = ReadTrackChunk(ctx, file.data(), static_cast<std::uint32_t>(file.size()), offset, capacity,
                                         chunkSize);
    if (chunkSize == 0) {
        if (track.State() != track_state::kEncoded || track.Count() != 0)
            violated("ReadTrackChunk", "a refused chunk left a track");
        if (!wrapped.empty() && wrapped.size() <= static_cast<std::size_t>(capacity))
            violated("ReadTrackChunk", "a chunk that fits was refused");
        outcome.digest = sink.Digest();
        return outcome;
    }
    if (std::uint64_t{offset} + chunkSize > file.size() || chunkSize > static_cast<std::uint32_t>(capacity))
        violated("ReadTrackChunk", "the chunk read reaches beyond the file or the table");
    CheckEvents(track, track_state::kEventForm, true, "ReadTrackChunk", violated);
    for (const MusicEvent& e : track.Events())
        if (!detail::StatusMatches(e)) violated("ReadTrackChunk", "a message's bytes do not start with its status");
    outcome.read = true;
    outcome.events = track.Count();

    if (passes == TrackPasses::kOrderThenPair) detail::CheckSameTickOrders(track, violated);
    detail::CheckPairing(track, "PairNotes", violated);
    outcome.pairedNotes = detail::CountKind(track, kind::kPairedNote);

    if (passes == TrackPasses::kPairUnpairPair || passes == TrackPasses::kAllPasses) {
        const std::int32_t sounding = detail::SoundingNotes(track);
        const bool room = detail::RoomToUnpair(track);
        const bool fits = detail::TicksFit(track);
        const bool hadEnd = detail::CountIf(track, [](const MusicEvent& e) { return e.IsEndOfTrack(); }) > 0;
        const auto others = detail::OtherKinds(track);
        const std::vector<detail::Note> notes = detail::PairedNotes(track);

        track.UnpairNotes();
        CheckEvents(track, track_state::kEventForm, false, "UnpairNotes", violated);
        if (detail::OtherKinds(track) != others) violated("UnpairNotes", "events other than notes lost or made");
        const std::int32_t ons = detail::CountKind(track, kind::kNoteOn);
        if (ons != detail::CountKind(track, kind::kNoteOff)) violated("UnpairNotes", "note ons and offs differ");
        if (room ? ons != sounding : ons > sounding) violated("UnpairNotes", "note ons differ from the notes");
        if (hadEnd && !track.At(track.Count() - 1).IsEndOfTrack())
            violated("UnpairNotes", "the End of Track is not last");

        if (passes == TrackPasses::kAllPasses) detail::CheckSameTickOrders(track, violated);
        // Play and Save write what the copy holds: pairing it again gives back
        // every note it had, at the same tick and of the same length.
        detail::CheckPairing(track, "PairNotes again", violated);
        if (room && fits && detail::PairedNotes(track) != notes)
            violated("PairNotes again", "the notes differ from those before unpairing");
    }
    outcome.digest = sink.Digest();
    return outcome;
}

}  // namespace rovanta::fuzz
