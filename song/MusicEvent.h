#pragma once
// One event of a song: a channel message, a system-exclusive message, a meta
// event or (in paired form only) a note with a duration. A value: copying it
// copies its bytes. The byte buffer is always 8 bytes longer than the length it
// was made for, zero-filled, so readers may look a few bytes past a short
// message. Channel messages keep no bytes: their fields hold all of them.

#include <cstdint>
#include <span>
#include <string>

#include "song/EventBytes.h"
#include "support/Report.h"

namespace rovanta {

class RunContext;

namespace kind {
inline constexpr std::int32_t kInvalid = 0;
inline constexpr std::int32_t kPairedNote = 0x10;
inline constexpr std::int32_t kNoteOff = 0x80;
inline constexpr std::int32_t kNoteOn = 0x90;
inline constexpr std::int32_t kPolyPressure = 0xA0;
inline constexpr std::int32_t kControlChange = 0xB0;
inline constexpr std::int32_t kProgramChange = 0xC0;
inline constexpr std::int32_t kChannelPressure = 0xD0;
inline constexpr std::int32_t kPitchBend = 0xE0;
inline constexpr std::int32_t kSysEx = 0xF0;
inline constexpr std::int32_t kSysExEscape = 0xF7;
inline constexpr std::int32_t kMeta = 0xFF;
}  // namespace kind

namespace meta {
inline constexpr std::int32_t kSequenceNumber = 0x00;
inline constexpr std::int32_t kText = 0x01;
inline constexpr std::int32_t kTrackName = 0x03;
inline constexpr std::int32_t kLyric = 0x05;
inline constexpr std::int32_t kChannelPrefix = 0x20;
inline constexpr std::int32_t kEndOfTrack = 0x2F;
inline constexpr std::int32_t kTempo = 0x51;
inline constexpr std::int32_t kTimeCodeOffset = 0x54;
inline constexpr std::int32_t kTimeSignature = 0x58;
inline constexpr std::int32_t kKeySignature = 0x59;
inline constexpr std::int32_t kSequencerSpecific = 0x7F;
}  // namespace meta

// System-exclusive classes the reader assigns to `type`.
namespace sysex {
inline constexpr std::int32_t kMasterVolume = 1;
inline constexpr std::int32_t kGmSystemOn = 9;
inline constexpr std::int32_t kDrumPart = 0x12;
inline constexpr std::int32_t kExempt = 127;  // exempt from the size warnings
}  // namespace sysex

inline constexpr std::int32_t kNoChannel = 255;

// 32 bytes: a full table of 131,072 events takes 4 MB.
struct MusicEvent {
    std::int32_t delta = 0;
    std::int32_t duration = 0;
    std::int32_t value = 0;
    std::int32_t length = 0;  // valid bytes in `bytes`
    EventBytes bytes;         // length + 8 zero-filled bytes, or none
    std::uint8_t kind = kind::kInvalid;
    std::uint8_t channel = kNoChannel;
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
    std::uint8_t type = 0;

    MusicEvent() = default;
    explicit MusicEvent(std::int32_t deltaTime) : delta(deltaTime) {}

    // Copying takes the channel, then Assign()s.
    MusicEvent(const MusicEvent& other);
    MusicEvent& operator=(const MusicEvent& other);
    MusicEvent(MusicEvent&&) noexcept = default;
    MusicEvent& operator=(MusicEvent&&) noexcept = default;

    // Everything but the channel: delta, a fresh copy of the first `length`
    // bytes (or no buffer), length, kind, note, duration, velocity, type, value.
    void Assign(const MusicEvent& other);

    // n = 0 changes nothing; otherwise a fresh n + 8 byte buffer holding the n
    // source bytes, and length n.
    void SetBytes(const std::uint8_t* source, std::int32_t n);
    // A fresh n + 8 byte buffer keeping the old first `length` bytes; length unchanged.
    void ResizeBytes(std::int32_t n);
    // Grows the buffer when position >= length + 8; length unchanged.
    void SetByte(RunContext& ctx, std::int32_t position, std::uint8_t byte);
    // 0 beyond the buffer or without one (both reported as MUEV06000002).
    std::uint8_t GetByte(RunContext& ctx, std::int32_t position) const;
    // Copies `length` bytes and returns the length; reports when there is no buffer.
    std::int32_t CopyBytesTo(RunContext& ctx, std::uint8_t* destination) const;
    // The first `length` bytes (empty without a buffer).
    std::span<const std::uint8_t> Bytes() const;
    void FreeBytes() { bytes.Release(); }
    // The bytes as a text: texts are zero-terminated, so it ends at a zero byte.
    std::string Text() const;

    // Notes in event form: a note on of any velocity and a note off; a strike
    // is a note on that sounds, an end is a note off or a silent note on.
    bool IsNoteOn() const { return kind == kind::kNoteOn; }
    bool IsNoteOff() const { return kind == kind::kNoteOff; }
    bool IsNote() const { return IsNoteOn() || IsNoteOff(); }
    bool IsNoteStart() const { return IsNoteOn() && velocity > 0; }
    bool IsNoteEnd() const { return IsNoteOff() || (IsNoteOn() && velocity == 0); }
    // Events this long were never meant to be kept: reading one warns, and
    // releasing one is reported.
    bool IsOversize() const { return length >= 256 && type != sysex::kExempt; }

    bool IsMeta(std::int32_t metaType) const { return kind == kind::kMeta && type == metaType; }
    bool IsEndOfTrack() const { return IsMeta(meta::kEndOfTrack); }
    bool IsSysEx() const { return kind == kind::kSysEx || kind == kind::kSysExEscape; }

    // The universal real-time master volume (value v as MSB) as stored by the reader.
    static MusicEvent MakeMasterVolume(std::int32_t v);
    // An End of Track without stored bytes.
    static MusicEvent MakeEndOfTrack(std::int32_t delta);

    static void ReportError(RunContext& ctx, std::uint32_t code);
};

namespace muev {
inline constexpr std::uint32_t kTooLarge = 0x06000001;
inline constexpr std::uint32_t kEventDataError = 0x06000002;
}  // namespace muev

extern const ErrorTable kMusicEventErrors;

}  // namespace rovanta
