#pragma once
// The path a user's file takes through the core, driven from a file on disk:
// load, build the song, then the copies Play and Save make of it, both
// reversals and the writer, checking after every step what must hold for any
// input whatsoever. Shared by the fuzz target and the regression test. The
// track passes on their own (pairing, unpairing, the same-tick orders) are
// checked more closely by the track-chunk target (TrackChunkPath.h).

#include <cstdint>
#include <span>
#include <string>

#include "fuzz/FuzzChecks.h"
#include "pipelines/MirrorPipeline.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfWriter.h"
#include "support/RunContext.h"

namespace rovanta::fuzz {

struct LoadOutcome {
    bool loaded = false;       // a song was built
    std::int32_t events = 0;   // events of the loaded song
    std::int32_t pairedNotes = 0;
    std::uint64_t reports = 0;
    std::uint64_t digest = 0;  // of every report text
};

// Load and BuildSong as the Load command runs them, and what the loader
// promises about its outcome. The song, if any, is the loader's.
// Builds the song of what `loader` just loaded and checks it.
inline const MidiF0Data* BuildLoadedSong(MidiFileLoader& loader, RunContext& ctx, std::string_view step,
                                         const ViolationHandler& violated)
{
    if (loader.FileLength() == 0) {
        if (loader.Song()) violated(step, "a song although nothing was loaded");
        return nullptr;
    }
    loader.BuildSong();
    // Load keeps a non-zero length only when it holds tracks to build from;
    // BuildSong gives the song up only as a failed load.
    if (!loader.Song() && loader.FileLength() != 0) violated(step, "a file that loaded built no song");
    if (!loader.Song() && ctx.ReportCount() == 0) violated(step, "a load failed without a report");
    if (loader.Song()) CheckSong(*loader.Song(), track_state::kPaired, step, violated);
    return loader.Song();
}

inline const MidiF0Data* LoadSong(MidiFileLoader& loader, RunContext& ctx, const std::string& path,
                                  std::string_view step, const ViolationHandler& violated)
{
    loader.Load(path);
    return BuildLoadedSong(loader, ctx, step, violated);
}

// Runs the whole path on the file at `path` with a fresh run context.
inline LoadOutcome RunLoadPath(const std::string& path, const ViolationHandler& violated)
{
    DiscardingSink sink;
    RunContext ctx(sink);
    LoadOutcome outcome;
    {
        MidiFileLoader loader(ctx);
        const MidiF0Data* loaded = LoadSong(loader, ctx, path, "load", violated);
        if (loaded) {
            const MidiF0Data& song = *loaded;
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

            // The play copy's time base.
            copy.Track().Retime(song.division, 96);
            CheckSong(copy, track_state::kPaired, "Retime to 96", violated);

            // Both reversals, as Save runs them: they neither add notes nor lose any.
            MidiF0Data saved = MirroredCopy(song, MirrorSettings{true, true, 1, {}});
            CheckSong(saved, track_state::kEventForm, "MirroredCopy", violated);
            if (detail::RoomToUnpair(song.Track())) {
                const std::int32_t notes = detail::SoundingNotes(song.Track());
                if (detail::CountKind(saved.Track(), kind::kNoteOn) != notes ||
                    detail::CountKind(saved.Track(), kind::kNoteOff) != notes)
                    violated("MirroredCopy", "note ons and offs do not match the song's notes");
            }

            // The writer: a one-track format-0 image whose chunk length is right.
            Encode(saved);
            if (saved.State() != track_state::kEncoded)
                violated("Encode", "the song was not encoded");
            else
                CheckImage({saved.Block().data(), static_cast<std::size_t>(saved.dataLength)}, "Encode", violated);
        }
    }
    outcome.reports = sink.Reports();
    outcome.digest = sink.Digest();
    return outcome;
}

}  // namespace rovanta::fuzz
