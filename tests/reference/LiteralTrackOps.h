#pragma once
// Plain versions of the track passes, used only by the tests as
// the yardstick for the product's one-sweep passes. They work through the
// track's public table primitives (At, Count, InsertEvent, RemoveEventAt,
// AppendEvent, SetState, State, ReportError) and do what each pass says, in
// its order, one event at a time, so they may be quadratic. Shared
// conventions with the product: delta times never go negative, a removed
// event's delta reaches the next one through AddTicks, and sums that are
// compared or stored are taken in 64 bits and stored through ClampTicks.

#include <cstdint>

#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"

namespace rovanta::literal {

// Channel first, then every other field, with a fresh buffer of length + 8
// zero bytes holding the source's first `length` bytes (none if it had none).
MusicEvent CopyEvent(const MusicEvent& source);

// A paired copy; a source in another state reports 0D000001 and gives a paired
// copy without events.
MidiTrackData CopyTrack(const MidiTrackData& source, std::int32_t capacity = kCapacity);

void RemoveInvalidEvents(MidiTrackData& track);
void PairNotes(MidiTrackData& track);
void UnpairNotes(MidiTrackData& track);
// After the form test, an old division of 0 (or a new one of 0) leaves the
// track as it is.
void Retime(MidiTrackData& track, std::int32_t oldDivision, std::int32_t newDivision);

void MoveControlsFirst(MidiTrackData& track);
void MoveSysExFirst(MidiTrackData& track);
void MoveNoteOffsFirst(MidiTrackData& track);

}  // namespace rovanta::literal
