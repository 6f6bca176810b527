#pragma once
// Seeded random tracks for comparing the product's passes with the literal
// ones. They are built to hit the awkward cases often: few channels and keys
// (so same-key overlaps and collisions are common), many same-tick groups,
// missing and duplicate note offs, zero durations, invalid events, End of Track
// missing, in the middle or repeated, and now and then huge delta times.

#include <cstdint>
#include <string>
#include <vector>

#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"

namespace rovanta::test {

// Event form: note ons (some with velocity 0), note offs and everything else.
std::vector<MusicEvent> RandomEventFormEvents(std::uint32_t seed);
// Paired form: paired notes (zero durations and velocities sometimes, long
// notes that outlast the End of Track) and everything else; rarely a stray
// note on or note off, which paired form should not hold but may.
std::vector<MusicEvent> RandomPairedFormEvents(std::uint32_t seed);

// A track in the given state holding copies of the events.
MidiTrackData MakeTrack(RunContext& ctx, std::int32_t state, const std::vector<MusicEvent>& events,
                        std::int32_t capacity = kCapacity);

// One line per event (index, tick, kind, fields, bytes in hex), for failure output.
std::string DumpTrack(const MidiTrackData& track);

}  // namespace rovanta::test
