#pragma once
// An independent reading of the notes in a Standard MIDI File, for checking
// what the product reads and writes: the note events of every track chunk with
// absolute ticks, and the notes they make.

#include <compare>
#include <cstdint>
#include <vector>

namespace rovanta::test {

struct NoteEvent {
    std::int64_t tick;
    bool on;  // a note on with velocity above 0; otherwise a note end
    int channel;
    int key;
};

struct NoteTrack {
    std::vector<NoteEvent> events;
};

// The note events of the first `maxChunks` track chunks. Running status
// carries on from chunk to chunk, as the product's reader does.
std::vector<NoteTrack> ReadNoteTracks(const std::vector<std::uint8_t>& file, int maxChunks = 1 << 16);

struct Note {
    int channel;
    int key;
    std::int64_t start;
    std::int64_t end;
    auto operator<=>(const Note&) const = default;
};

// Notes as a player hears them: each note end ends the oldest sounding note of
// its key. Notes still sounding at the end are left out.
std::vector<Note> NotesHeard(const NoteTrack& track);

int Strikes(const NoteTrack& track);

// Note ends that stand in their tick behind a note on of their key struck after
// the note they end: a player silences that new note at once.
int EndsBehindRestrikes(const NoteTrack& track);

}  // namespace rovanta::test
