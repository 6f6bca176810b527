#pragma once
// Which note end ends which note start: overlapping notes of one channel and
// note number pair first in, first out. Shared by pairing and time reversal.

#include <cstdint>
#include <span>
#include <vector>

#include "song/MusicEvent.h"

namespace rovanta {

using EventTest = bool (*)(const MusicEvent&);

// For each start, the index of the end that ends it (-1 when none does); a
// start is ended by the first end after it that no earlier start has taken.
std::vector<std::int32_t> MatchNotes(std::span<const MusicEvent> events, EventTest isStart, EventTest isEnd);

}  // namespace rovanta
