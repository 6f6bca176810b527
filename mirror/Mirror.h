#pragma once
// The two reversals, applied to a play or save copy in event form. Neither
// adds notes or loses them: a note's start and end are always changed alike.

#include <cstdint>

#include "song/MidiF0Data.h"

namespace rovanta {

// Reflects every melodic channel's notes about the C at or below the middle
// of that channel's range; drum channels stay as they are. Reports nothing.
void ReverseVertical(MidiF0Data& song);

// Shifts the notes of melodic channels, folding by octaves into 0..127.
void TransposeNotes(MidiF0Data& song, std::int32_t semitones);

// Plays the song backwards: every note still starts with its note on, each
// passage keeps its program and tempo, the End of Track stays last. Needs event
// form and an End of Track last; otherwise reports and leaves the song alone.
void ReverseHorizontal(MidiF0Data& song);

}  // namespace rovanta
