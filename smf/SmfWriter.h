#pragma once
// Encoding a song as a format-0 Standard MIDI File with one track, and saving
// it. Running status is never used; the writer adds and drops no event.

#include <cstdint>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"

namespace rovanta {

class FileChooser;

// Appends the event's bytes (without its delta time); an event of a kind the
// file format has no bytes for reports "Undefined Midi Event" and adds nothing
// (false). A note number outside 0..127 is set to 0 in the event as well.
bool EncodeEvent(MidiTrackData& track, MusicEvent& event, std::vector<std::uint8_t>& out);

// Writes the chunk into the track's byte block (state 1 → 0). Refuses a track
// that is not in event form, is empty or does not end with an End of Track.
bool EncodeTrack(MidiTrackData& track, const char* chunkId);
// The same into `out`, which holds the track's capacity less the file header.
bool EncodeTrack(MidiTrackData& track, const char* chunkId, std::uint8_t* out);

// Builds the file image in the song's byte block and drops the track (state 1 → 0).
void Encode(MidiF0Data& song);

// Writes the image of an encoded song; 1 when written.
int SaveToFile(MidiF0Data& song, const std::string& path);

// Asks for the name with the save dialog, then SaveToFile; 0 when cancelled.
int Save(MidiF0Data& song, FileChooser& chooser);

// The variable-length quantity of a delta time or a length.
void AppendVlq(std::vector<std::uint8_t>& out, std::uint32_t value);

}  // namespace rovanta
