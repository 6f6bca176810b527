#pragma once
// Decoding Standard MIDI File bytes: the format probe, one track chunk into a
// MidiTrackData in event form, and the system-exclusive classification. The
// running-status byte lives in the RunContext: it carries across tracks and
// files within one run. The two format readers build on this.

#include <cstdint>

#include "song/MidiTrackData.h"

namespace rovanta {

class RunContext;

// Whole-file format probe: 0, 1, or -1 (not MIDI). A 128-byte prefix before
// "MThd" is skipped; nothing else about the header is checked.
int ProbeFormat(const std::uint8_t* bytes, std::uint32_t length);

// Shared by the header checks of both readers.
inline constexpr std::uint32_t kPrefix = 128;  // bytes some files carry before "MThd"
inline constexpr std::uint32_t kHeaderSize = 14;
bool IsId(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t at, const char* id);
// Where the header starts: 0, or 128 when a prefix stands before "MThd".
std::uint32_t HeaderBase(const std::uint8_t* bytes, std::uint32_t length);
inline std::uint32_t Be16(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }

// A track read from the chunk at `offset`, in event form; `chunkSize` is set to
// the chunk's length plus 8, or 0 when the chunk was refused (the track then
// stays empty in state 0).
MidiTrackData ReadTrackChunk(RunContext& ctx, const std::uint8_t* file, std::uint32_t fileLength,
                             std::uint32_t offset, std::int32_t capacity, std::uint32_t& chunkSize);

// Sets `type`, `value` and for some classes `channel` of a system-exclusive event.
void ClassifySysEx(MusicEvent& event);

}  // namespace rovanta
