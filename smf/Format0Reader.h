#pragma once
// The format-0 reader: the first `capacity` bytes of a file image, one track
// chunk, paired. A header it refuses leaves the song unread, and the caller
// may hand the image to the format-1 reader instead, at most once.

#include <cstdint>
#include <span>

#include "song/MidiF0Data.h"

namespace rovanta {

class RunContext;

struct F0Header {
    std::int32_t division = 0;
    std::uint32_t base = 0;  // where "MThd" starts (0 or 128)
};
// A format-0 header with one track; reports its refusals (M0DT) only when asked.
bool ReadF0Header(RunContext& ctx, std::span<const std::uint8_t> image, F0Header& header, bool report);

struct Format0Result {
    MidiF0Data song;
    bool headerRefused = false;
};
Format0Result ReadFormat0(RunContext& ctx, std::span<const std::uint8_t> file, std::int32_t capacity);

}  // namespace rovanta
