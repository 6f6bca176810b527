#pragma once
// Decoding Standard MIDI File bytes: the header checks, one track chunk into a
// MidiTrackData in event form, and the system-exclusive classification. The
// running-status byte lives in the RunContext: it carries across tracks and
// files within one run, as the reader has always done.

#include <cstdint>

#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"

namespace rovanta {

class RunContext;

// Whole-file format probe: 0, 1, or -1 (not MIDI). A 128-byte prefix before
// "MThd" is skipped; nothing else about the header is checked.
int ProbeFormat(const std::uint8_t* bytes, std::uint32_t length);

// Checks the header of the file image in `song`'s block (data length, read
// position 0): a format-0 file with one track. Moves a 128-byte prefix away,
// stores the division and leaves the read position at 14. Reports only when
// asked (the format-0 reader never asks).
bool ReadF0Header(MidiF0Data& song, bool report);

struct F1Header {
    std::int32_t tracks = 0;
    std::int32_t division = 0;
    std::uint32_t base = 0;  // where "MThd" starts (0 or 128)
};
// The format-1 header check on a file image; reports its refusals (M1DT).
bool ReadF1Header(RunContext& ctx, const std::uint8_t* bytes, std::uint32_t length, F1Header& header);

// A track read from the chunk at `offset`, in event form; `chunkSize` is set to
// the chunk's length plus 8, or 0 when the chunk was refused (the track then
// stays empty in state 0).
MidiTrackData ReadTrackChunk(RunContext& ctx, const std::uint8_t* file, std::uint32_t fileLength,
                             std::uint32_t offset, std::int32_t capacity, std::uint32_t& chunkSize);

// Sets `type`, `value` and for some classes `channel` of a system-exclusive event.
void ClassifySysEx(MusicEvent& event);

}  // namespace rovanta
