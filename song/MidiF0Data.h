#pragma once
// A song: the division and exactly one track holding every event, plus a byte
// block for the file image and, while it plays, its own play copy. Owns all of
// them; copies are deep. The loaded song is never changed: Play and Save each
// work on a Copy().

#include <cstdint>
#include <memory>
#include <optional>

#include "song/MidiTrackData.h"
#include "support/MemoryBlock.h"
#include "support/Report.h"

namespace rovanta {

class RunContext;

namespace m0dt {
inline constexpr std::uint32_t kNotFormat0 = 0x04000001;
inline constexpr std::uint32_t kBadTrackCount = 0x04000003;
inline constexpr std::uint32_t kNotMidi = 0x04000004;
inline constexpr std::uint32_t kInternalError = 0x04000005;
inline constexpr std::uint32_t kTimeSignPosition = 0x04000007;  // once-only
inline constexpr std::uint32_t kStopError = 0x0400000A;
inline constexpr std::uint32_t kEndOfTrackInvalid = 0x0400000B;
}  // namespace m0dt

extern const ErrorTable kSongErrors;

class MidiF0Data {
public:
    // An empty song with an empty track in the same state.
    MidiF0Data(RunContext& ctx, std::int32_t capacity, std::int32_t state, std::int32_t division);
    // A deep copy: same division, state and events; fresh zeroed byte block, no
    // play copy. The source's track must be paired (else the copy's is empty).
    static MidiF0Data Copy(const MidiF0Data& source);

    MidiF0Data(MidiF0Data&&) noexcept = default;
    MidiF0Data& operator=(MidiF0Data&&) noexcept = default;
    MidiF0Data(const MidiF0Data&) = delete;
    MidiF0Data& operator=(const MidiF0Data&) = delete;
    ~MidiF0Data() = default;  // play copy, then track, then block

    RunContext& Context() const { return *ctx_; }
    std::int32_t State() const { return state_; }
    void SetState(std::int32_t state) { state_ = state; }
    std::int32_t Capacity() const { return capacity_; }
    std::int32_t division;

    // The song's image: the block there is, else one of the song's capacity;
    // or one of at least `size` bytes (never more than the capacity), for an
    // image known to need no more.
    MemoryBlock& Block();
    MemoryBlock& Block(std::size_t size);
    std::int32_t dataLength = 0;
    std::int32_t readPosition = 0;

    bool HasTrack() const { return track_.has_value(); }
    MidiTrackData& Track() { return *track_; }
    const MidiTrackData& Track() const { return *track_; }
    void SetTrack(std::optional<MidiTrackData> track) { track_ = std::move(track); }

    MidiF0Data* PlayCopy() { return playCopy_.get(); }
    void SetPlayCopy(std::unique_ptr<MidiF0Data> copy) { playCopy_ = std::move(copy); }

    void PairTrack();
    void UnpairTrack();

    void ReportError(std::uint32_t code) const;
    // 04000007 shows at most once until a song is created.
    void ReportWarning(std::uint32_t code) const;

private:
    RunContext* ctx_;
    std::int32_t state_;
    std::int32_t capacity_;
    MemoryBlock block_;
    std::optional<MidiTrackData> track_;
    std::unique_ptr<MidiF0Data> playCopy_;
};

}  // namespace rovanta
