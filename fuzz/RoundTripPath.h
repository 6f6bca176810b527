#pragma once
// The writer's round trip: load a file, mirror it, encode it as Save does,
// load that image again and encode it unmirrored. A saved file must read back
// without a read report and hold the notes that were saved, and saving it
// again must give the same events at the same ticks. Not the same bytes: the
// writer orders the events of one tick by kind (controls, then system
// exclusive, then note offs) and the loader merges by channel, so events of
// one tick may change places on every load and save, by design (see
// ScanImage for the ticks that may change). Shared by the fuzz target and the
// regression test.
//
// The input is a settings byte and the file (RoundTripSettings), or a file
// itself (starting with "MThd"), saved with both reversals and the octave, so
// real files serve as seeds unchanged.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "fuzz/LoadPath.h"
#include "pipelines/MirrorPipeline.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfWriter.h"
#include "support/RunContext.h"

namespace rovanta::fuzz {

struct RoundTripOutcome {
    bool saved = false;  // the first load gave a song, and its image was made
    std::vector<std::uint8_t> image;  // the first image
    std::uint64_t digest = 0;
};

// Bit 0 Horizontal, bit 1 Vertical, bit 2 no octave, bit 3 controllers as
// curves, bit 4 within the song's key, bit 5 trimmed, bits 6-7 the axis
// (each channel's C, E4, between E4 and F4, the lowest note).
inline MirrorSettings RoundTripSettings(std::uint8_t selector)
{
    MirrorSettings settings{(selector & 1u) != 0, (selector & 2u) != 0, (selector & 4u) != 0 ? 0 : 1, {}};
    MirrorOptions& options = settings.options;
    if (selector & 8u) options.controls = ControlMirroring::kCurves;
    options.diatonic = (selector & 16u) != 0;
    options.trim = (selector & 32u) != 0;
    constexpr std::int32_t kAxes[] = {0, 128, 129, 0};
    if ((selector >> 6) != 0) options.twiceAxis = kAxes[selector >> 6];
    return settings;
}

namespace detail {

// Reports a saved file may raise again when read back, because the writer
// keeps what they are about as it was: long events, a time signature with a
// zero numerator or denominator, a second master volume.
inline bool RepeatsWhatWasSaved(std::string_view code)
{
    for (const char* kept : {"MDTK0D00000B", "MDTK0D00001A", "MDTK0D000027", "MDTK0D000011", "M1DT03000006"})
        if (code == kept) return true;
    return false;
}

// One event of an image: its tick and where its bytes lie.
struct ImageEvent {
    std::uint64_t tick;
    std::uint32_t at;
    std::uint32_t size;
};

// The events of an image this writer made, read on their own terms: no
// running status, every system-exclusive message and meta with its length.
// Track names are left out: the loader makes the first one the song's name
// (moved to the start, cut at a zero byte, dropped when that leaves it
// empty), and which name is first in a tick may change with the writer's
// order. `overlapping` tells whether notes of one key overlap. False when the
// bytes are no such chunk.
inline bool ScanImage(std::span<const std::uint8_t> image, std::vector<ImageEvent>& events, bool& overlapping)
{
    constexpr std::size_t kChunkStart = 22;
    std::size_t at = kChunkStart;
    std::uint64_t tick = 0;
    auto vlq = [&](std::uint64_t& value) {
        value = 0;
        for (int groups = 0; groups < 5 && at < image.size(); ++groups) {
            const std::uint8_t b = image[at++];
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80) == 0) return true;
        }
        return false;
    };
    std::array<std::uint8_t, 16 * 128> sounding{};
    overlapping = false;
    while (at < image.size()) {
        std::uint64_t delta = 0;
        if (!vlq(delta) || at >= image.size()) return false;
        tick += delta;
        const auto start = static_cast<std::uint32_t>(at);
        const std::uint8_t status = image[at++];
        std::uint64_t length = 0;
        if (status == 0xFF) {
            if (at >= image.size()) return false;
            ++at;  // the meta type
            if (!vlq(length)) return false;
        } else if (status == 0xF0 || status == 0xF7) {
            if (!vlq(length)) return false;
        } else if (status >= 0x80 && status < 0xF0) {
            length = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure have one data byte
        } else {
            return false;
        }
        if (length > image.size() - at) return false;
        at += static_cast<std::size_t>(length);
        events.push_back({tick, start, static_cast<std::uint32_t>(at - start)});
        if ((status & 0xE0) == 0x80 && length == 2) {
            std::uint8_t& key = sounding[(status & 0x0Fu) * 128u + (image[start + 1] & 0x7Fu)];
            if ((status & 0xF0) == 0x90 && image[start + 2] != 0) {
                overlapping = overlapping || key > 0;
                key = static_cast<std::uint8_t>(std::min(key + 1, 255));
            } else if (key > 0) {
                --key;
            }
        }
    }
    std::erase_if(events,
                  [&](const ImageEvent& e) { return image[e.at] == 0xFF && image[e.at + 1] == meta::kTrackName; });
    return true;
}

// Whether the two images hold the same events at the ticks they must keep, in
// whatever order within a tick. When notes of one key overlap in either, note
// offs keep no tick: a file cannot say which of the notes a note off ends.
inline bool SameEventsAtSameTicks(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                                  std::string_view step, const ViolationHandler& violated)
{
    std::vector<ImageEvent> x, y;
    bool overlapA = false, overlapB = false;
    if (!ScanImage(a, x, overlapA) || !ScanImage(b, y, overlapB)) {
        violated(step, "the writer made an event that does not scan");
        return false;
    }
    if (overlapA || overlapB) {
        for (ImageEvent& e : x)
            if ((a[e.at] & 0xF0) == 0x80) e.tick = 0;
        for (ImageEvent& e : y)
            if ((b[e.at] & 0xF0) == 0x80) e.tick = 0;
    }
    // Each event as its tick and a 64-bit hash of its bytes (FNV-1a), sorted:
    // cheap to sort, and two different events would have to collide.
    using Keyed = std::pair<std::uint64_t, std::uint64_t>;
    auto keyed = [](std::span<const std::uint8_t> image, const std::vector<ImageEvent>& events) {
        std::vector<Keyed> keys;
        keys.reserve(events.size());
        for (const ImageEvent& e : events) {
            std::uint64_t hash = 0xcbf29ce484222325u;
            for (std::uint32_t i = 0; i < e.size; ++i) hash = (hash ^ image[e.at + i]) * 0x100000001b3u;
            keys.emplace_back(e.tick, hash);
        }
        std::sort(keys.begin(), keys.end());
        return keys;
    };
    return keyed(a, x) == keyed(b, y);
}

// Encodes `song` (event form); the image, or nothing when it was refused.
inline std::vector<std::uint8_t> EncodeImage(MidiF0Data& song, std::string_view step, const ViolationHandler& violated)
{
    Encode(song);
    if (song.State() != track_state::kEncoded) {
        violated(step, "the song was not encoded");
        return {};
    }
    const std::span<const std::uint8_t> image(song.Block().data(), static_cast<std::size_t>(song.dataLength));
    CheckImage(image, step, violated);
    return {image.begin(), image.end()};
}

}  // namespace detail

inline RoundTripOutcome RunRoundTripPath(std::span<const std::uint8_t> input, const ViolationHandler& violated)
{
    RoundTripOutcome outcome;
    if (input.empty()) return outcome;
    const bool plainFile = input.size() >= 4 && std::equal(input.begin(), input.begin() + 4, "MThd");
    const MirrorSettings settings = plainFile ? MirrorSettings{true, true, 1, {}} : RoundTripSettings(input[0]);
    const std::span<const std::uint8_t> file = plainFile ? input : input.subspan(1);

    DiscardingSink sink;
    RunContext ctx(sink);
    MidiFileLoader loader(ctx);
    // Both loads read from memory; fuzz_load takes the way through a file.
    loader.LoadBytes(file, "input.mid");
    const MidiF0Data* song = BuildLoadedSong(loader, ctx, "load", violated);
    if (!song) return outcome;
    MidiF0Data mirrored = MirroredCopy(*song, settings);
    // A song of nothing but track names (and its End of Track) loads again
    // only as far as the loader keeps its names: the first becomes the song's
    // name, dropped when it starts with a zero byte, and a load that leaves
    // nothing and raised a report (a long name) fails.
    const bool onlyNames =
        std::all_of(mirrored.Track().Events().begin(), mirrored.Track().Events().end(),
                    [](const MusicEvent& e) { return e.IsEndOfTrack() || e.IsMeta(meta::kTrackName); });
    const std::int32_t strikes = detail::CountIf(mirrored.Track(), [](const MusicEvent& e) { return e.IsNoteStart(); });
    const bool fits = detail::TicksFit(song->Track());
    outcome.image = detail::EncodeImage(mirrored, "Encode", violated);
    outcome.digest = sink.Digest();
    if (outcome.image.empty()) return outcome;
    outcome.saved = true;
    // The writer cuts a chunk only when it nears the end of its block.
    const bool cut = outcome.image.size() + 512 > static_cast<std::size_t>(kCapacity);

    std::vector<std::string> codes;
    DiscardingSink reloadSink;
    reloadSink.KeepCodesIn(&codes);
    RunContext reloadCtx(reloadSink);
    MidiFileLoader reloader(reloadCtx);
    reloader.LoadBytes(outcome.image, "saved.mid");
    const MidiF0Data* reloaded = BuildLoadedSong(reloader, reloadCtx, "reload", violated);
    if (!reloaded) {
        if (onlyNames) return outcome;
        violated("reload", "a saved file did not load");
        return outcome;
    }
    for (const std::string& code : codes)
        if (!detail::RepeatsWhatWasSaved(code)) violated("reload", "a saved file raised a read report");
    if (!cut && detail::CountKind(reloaded->Track(), kind::kPairedNote) != strikes)
        violated("reload", "the notes read back differ from the notes saved");

    MidiF0Data again = MirroredCopy(*reloaded, MirrorSettings{});
    const std::vector<std::uint8_t> second = detail::EncodeImage(again, "Encode again", violated);
    if (cut || !fits || second.empty()) return outcome;
    if (!detail::SameEventsAtSameTicks(outcome.image, second, "Encode again", violated))
        violated("Encode again", "saving the saved file changed its events");
    return outcome;
}

}  // namespace rovanta::fuzz
