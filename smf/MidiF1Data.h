#pragma once
// A song as a set of tracks: the middle stage of every load. A format-1 file
// is read into it chunk by chunk; a format-0 song is split into it by channel;
// it makes sure the song carries a master volume; then its tracks are merged
// by time into the one track of the loaded song. Owns its tracks and its bytes.

#include <cstdint>
#include <span>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
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

struct F1Header {
    std::int32_t tracks = 0;
    std::int32_t division = 0;
    std::uint32_t base = 0;  // where "MThd" starts (0 or 128)
};
// The format-1 header check on a file image; reports its refusals (M1DT).
bool ReadF1Header(RunContext& ctx, std::span<const std::uint8_t> image, F1Header& header);

extern const ErrorTable kFormatOneErrors;
extern const OnceTable kFormatOneTrackWarnings;
void ReportFormatOneError(RunContext& ctx, std::uint32_t code);

class MidiF1Data {
public:
    static constexpr std::int32_t kMaxTracks = 65;

    // The format-1 reader, on the file's bytes (which outlive the call). A
    // file whose header it refuses goes to the format-0 reader instead, unless
    // it came from there (`mayHandOver` false): the two hand a file to each
    // other at most once.
    static MidiF1Data CreateFromFile(RunContext& ctx, std::span<const std::uint8_t> file, std::int32_t capacity,
                                     bool mayHandOver = true);
    // The channel split of a paired format-0 song into 17 tracks: metas; system
    // exclusive and channel 1; then one track for each further channel. The
    // events move over; the song keeps what its release reports.
    static MidiF1Data CreateFromSong(MidiF0Data& song, std::int32_t capacity);

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
    std::span<MidiTrackData> Tracks() { return tracks_; }

    void ReportError(std::uint32_t code) const;

private:
    MidiF1Data(RunContext& ctx, std::int32_t capacity);
    void SplitSong(MidiF0Data& song);

    RunContext* ctx_;
    std::int32_t capacity_;
    std::int32_t state_ = 0;
    std::int32_t announced_ = 0;
    std::span<const std::uint8_t> file_;  // while the tracks are read
    std::vector<MidiTrackData> tracks_;
};

}  // namespace rovanta
