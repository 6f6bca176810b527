#pragma once
// One track: a table of MusicEvents in time order (each delta counts from the
// event before it) and a byte block for the chunk it was read from or encoded
// into. Owns its events, its table and its block. Used on one thread at a time.
//
// Forms: state 1 holds separate note-on and note-off events; state 2 holds
// paired notes with durations; state 0 holds only the chunk bytes.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "song/MusicEvent.h"
#include "support/MemoryBlock.h"
#include "support/Report.h"

namespace rovanta {

class RunContext;

inline constexpr std::int32_t kCapacity = 0x60000;  // 393,216 bytes per song and track
// What Horizontal Reverse puts in front of a table for a moment: a tempo and
// one place for each channel's first program change.
inline constexpr std::size_t kReversalRoom = 17;

namespace track_state {
inline constexpr std::int32_t kEncoded = 0;
inline constexpr std::int32_t kEventForm = 1;
inline constexpr std::int32_t kPaired = 2;
}  // namespace track_state

namespace mdtk {
inline constexpr std::uint32_t kInternalError = 0x0D000001;
inline constexpr std::uint32_t kUndefinedEvent = 0x0D000002;
inline constexpr std::uint32_t kTempoWrong = 0x0D000005;
inline constexpr std::uint32_t kLargeData = 0x0D000006;
inline constexpr std::uint32_t kNotMidi = 0x0D000007;
inline constexpr std::uint32_t kOversizeEvent = 0x0D00000B;  // once-only
inline constexpr std::uint32_t kWrongProgram = 0x0D00000C;
inline constexpr std::uint32_t kSecondMasterVolume = 0x0D000011;  // once-only
inline constexpr std::uint32_t kBadNoteNumber = 0x0D000017;  // once-only
inline constexpr std::uint32_t kCanNotAddData = 0x0D00001A;
inline constexpr std::uint32_t kTimeSignWrong = 0x0D000027;
}  // namespace mdtk

extern const ErrorTable kTrackErrors;

// Whether adding events checks the table's limit. A pass that inserts
// placeholders and removes them again before it ends skips the check: its
// count never ends above where it started.
enum class RoomCheck { kChecked, kUnchecked };
extern const OnceTable kTrackWarnings;

// How many paired notes the events hold: the note offs their unpairing adds.
inline std::size_t CountPairedNotes(std::span<const MusicEvent> events)
{
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [](const MusicEvent& e) { return e.kind == kind::kPairedNote; }));
}

class MidiTrackData {
public:
    // A new track: no events, the given state; `capacity` / 3 table entries.
    MidiTrackData(RunContext& ctx, std::int32_t state, std::int32_t capacity = kCapacity);
    // A deep copy of a paired track (event by event); a source in another form
    // reports 0D000001 and gives a paired copy without events.
    static MidiTrackData Copy(const MidiTrackData& source, std::int32_t capacity = kCapacity);

    MidiTrackData(MidiTrackData&&) noexcept = default;
    MidiTrackData& operator=(MidiTrackData&&) noexcept;
    MidiTrackData(const MidiTrackData&) = delete;
    MidiTrackData& operator=(const MidiTrackData&) = delete;
    // Reports 0D00001A once for every event of 256 bytes or more (type not 127).
    ~MidiTrackData();

    RunContext& Context() const { return *ctx_; }
    std::int32_t State() const { return state_; }
    void SetState(std::int32_t state) { state_ = state; }
    std::int32_t Capacity() const { return capacity_; }
    std::int32_t MaxEvents() const { return capacity_ / 3; }

    // The byte block (capacity bytes, zero-filled), allocated on first use.
    MemoryBlock& Block();
    std::int32_t dataLength = 0;
    std::int32_t readPosition = 0;

    std::int32_t Count() const { return static_cast<std::int32_t>(events_.size()); }
    MusicEvent& At(std::int32_t i) { return events_[static_cast<std::size_t>(i)]; }
    const MusicEvent& At(std::int32_t i) const { return events_[static_cast<std::size_t>(i)]; }
    std::span<MusicEvent> Events() { return events_; }
    std::span<const MusicEvent> Events() const { return events_; }

    void ClearEvents() { events_.clear(); }
    // Room for n events (at most the table's limit), so that filling it does not regrow.
    void ReserveEvents(std::int32_t n) { events_.reserve(static_cast<std::size_t>(std::clamp(n, 0, MaxEvents()))); }
    // Hands the whole table over (the track is left empty) and takes one back;
    // for passes that rebuild a table in one sweep. A table beyond the limit
    // is cut there, with a "Large data" report.
    std::vector<MusicEvent> TakeEvents() { return std::exchange(events_, {}); }
    void SetEvents(std::vector<MusicEvent> events, RoomCheck check = RoomCheck::kChecked);
    // A full table reports 0D000006 "Large data" and refuses the event (false).
    bool AppendEvent(MusicEvent event);
    // Before the event at `position` (0..Count()); delta times are the caller's.
    bool InsertEvent(std::int32_t position, MusicEvent event, RoomCheck check = RoomCheck::kChecked);
    // The removed event's delta goes to the next event, if any.
    void RemoveEventAt(std::int32_t i);
    void RemoveInvalidEvents();
    void SwapEvents(std::int32_t i, std::int32_t j);
    // The two events trade places and ticks; each position keeps its delta.
    void SwapKeepTimes(std::int32_t i, std::int32_t j);

    void AddTextMeta(std::int32_t type, const std::string& text);
    void RemoveMeta(std::int32_t type);
    // 1 and the text of the first meta of that type; 0 and "" when there is none.
    int GetMetaText(std::int32_t type, std::string& text) const;
    // 1 and the value of the first time signature; 0 when there is none.
    int FindTimeSignature(std::int32_t* value) const;
    // The value of the last master volume, -1 when none; a second one warns once.
    std::int32_t FindMasterVolume();
    void InsertMasterVolume(std::int32_t v);
    // The channel of the first channel event (system exclusive aside); 255 if none.
    std::int32_t FirstChannel() const;
    // Channel 9, and every channel a drum-part message assigns to a rhythm map.
    bool IsDrumChannel(std::int32_t channel) const;
    // The same test for all sixteen channels in one pass (bit c: channel c).
    std::uint32_t DrumChannels() const;

    void PairNotes();
    void UnpairNotes();
    void Retime(std::int32_t oldDivision, std::int32_t newDivision);

    void MoveControlsFirst();
    void MoveSysExFirst();
    void MoveNoteOffsFirst();

    void ReportError(std::uint32_t code) const;
    // The once-only warnings; code 0 re-arms them.
    void ReportWarning(std::uint32_t code) const;

private:
    // Drops the events `drop` picks in one sweep; each dropped event's delta goes
    // to the event after it, as RemoveEventAt does one at a time.
    template <typename Drop>
    void DropEvents(Drop drop, bool reportNegativeSums);
    // Within each tick group, moves the events `moved` picks to the front.
    template <typename Moved>
    void MoveFirstInTicks(Moved moved);

    // The second half of MoveNoteOffsFirst.
    void MoveEndsBeforeRestrikes();

    RunContext* ctx_;
    std::int32_t state_;
    std::int32_t capacity_;
    MemoryBlock block_;
    std::vector<MusicEvent> events_;
};

}  // namespace rovanta
