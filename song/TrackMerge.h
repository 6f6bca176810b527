#pragma once
// Merging tracks by time into one: the last step of every load, which joins
// the tracks read from a file into the song's one track.

#include <span>
#include <vector>

#include "song/MidiTrackData.h"

namespace rovanta {

// Merges `source` into `target` by time (at equal times the source's events
// first) and joins their track names; both must be paired. The result ends with
// exactly one End of Track.
void MergeTrack(MidiTrackData& target, const MidiTrackData& source);
// The same, with a table to work in that a series of merges can share.
void MergeTrack(MidiTrackData& target, const MidiTrackData& source, std::vector<MusicEvent>& scratch);

// Exactly what MergeTrack of every track into the empty `target`, from the
// last track to the first, gives (events, names, End of Track and reports),
// but in one sweep over the events instead of one per track. The events move
// over; the tracks keep what their release reports.
void MergeAllTracks(std::span<MidiTrackData> tracks, MidiTrackData& target);

}  // namespace rovanta
