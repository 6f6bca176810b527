#pragma once
// A song as a set of tracks: the middle stage of every load. A format-1 file
// is read into it chunk by chunk; a format-0 song is split into it by channel;
// it makes sure the song carries a master volume; then its tracks are merged
// by time into the one track of the loaded song. Owns its tracks and its bytes.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
#include "support/MemoryBlock.h"
#include "support/Report.h"

namespace rovanta {

class RunContext;

namespace m1dt {
inline constexpr std::uint32_t kEndedEarly = 0x00000000;
inline constexpr std::uint32_t kTooManyTracks = 0x03000001;
inline constexpr std::uint32_t kNotFormat1 = 0x03000002;
inline constexpr std::uint32_t kInternalError = 0x03000003;
inline constexpr std::uint32_t kNotMidi = 0x03000004;
inline constexpr std::uint32_t kSecondMasterVolume = 0x03000006;
inline constexpr std::uint32_t kNoMasterVolume = 0x03000016;
inline constexpr std::uint32_t kTooLarge = 0x03000019;
}  // namespace m1dt

extern const ErrorTable kFormatOneErrors;
extern const OnceTable kFormatOneTrackWarnings;
void ReportFormatOneError(RunContext& ctx, std::uint32_t code);

class MidiF1Data {
public:
    static constexpr std::int32_t kMaxTracks = 65;

    // The format-1 reader. A file whose header it refuses goes to the format-0
    // reader instead, unless it came from there (`mayHandOver` false): the two
    // hand a file to each other at most once.
    static MidiF1Data CreateFromFile(RunContext& ctx, const std::string& path, std::int32_t capacity,
                                     bool mayHandOver = true);
    // The channel split of a paired format-0 song into 17 tracks: metas; system
    // exclusive and channel 1; then one track for each further channel.
    static MidiF1Data CreateFromSong(const MidiF0Data& song, std::int32_t capacity);

    MidiF1Data(MidiF1Data&&) noexcept = default;
    MidiF1Data& operator=(MidiF1Data&&) noexcept = default;

    void ReadTracks();
    void PairTracks();
    void EnsureMasterVolume(bool report);

    std::int32_t State() const { return state_; }
    std::int32_t division = 0;
    std::int32_t dataLength = 0;
    std::int32_t readPosition = 0;
    std::int32_t TrackCount() const { return static_cast<std::int32_t>(tracks_.size()); }
    MidiTrackData& Track(std::int32_t i) { return tracks_[static_cast<std::size_t>(i)]; }
    const MidiTrackData& Track(std::int32_t i) const { return tracks_[static_cast<std::size_t>(i)]; }
    std::span<const MidiTrackData> Tracks() const { return tracks_; }

    void ReportError(std::uint32_t code) const;

private:
    MidiF1Data(RunContext& ctx, std::int32_t capacity);
    void SplitSong(const MidiF0Data& song);

    RunContext* ctx_;
    std::int32_t capacity_;
    std::int32_t state_ = 0;
    std::int32_t announced_ = 0;
    MemoryBlock bytes_;
    std::vector<MidiTrackData> tracks_;
};

// Merges `source` into `target` by time (at equal times the source's events
// first) and joins their track names; both must be paired. The result ends with
// exactly one End of Track.
void MergeTrack(MidiTrackData& target, const MidiTrackData& source);
// The same, with a table to work in that a series of merges can share.
void MergeTrack(MidiTrackData& target, const MidiTrackData& source, std::vector<MusicEvent>& scratch);

// Exactly what MergeTrack of every track into the empty `target`, from the
// last track to the first, gives (events, names, End of Track and reports),
// but in one sweep over the events instead of one per track.
void MergeAllTracks(std::span<const MidiTrackData> tracks, MidiTrackData& target);

}  // namespace rovanta
