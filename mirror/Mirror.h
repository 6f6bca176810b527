#pragma once
// The two reversals, applied to a play or save copy in event form. Neither
// adds notes or loses them: a note's start and end are always changed alike.

#include <array>
#include <cstdint>
#include <optional>

#include "mirror/Pitch.h"
#include "song/MidiF0Data.h"

namespace rovanta {

// What Vertical Reverse reflects about, and how.
struct VerticalAxis {
    // Twice the pitch of one axis for every channel (ParseAxis); unset: each
    // channel's C at or below the middle of its range.
    std::optional<std::int32_t> twiceAxis;
    // Reflect scale degrees within this key instead of half steps.
    std::optional<MusicalKey> diatonicKey;
};

// Twice the pitch each melodic channel with notes is reflected about (note
// ons and offs, or paired notes, make a channel's range); nothing for drum
// channels and channels without notes.
std::array<std::optional<std::int32_t>, 16> ChannelAxes(const MidiTrackData& track, const VerticalAxis& axis);

// Reflects every melodic channel's notes about the axis; drum channels stay
// as they are, and results are held within 0..127. Reports nothing.
void ReverseVertical(MidiF0Data& song, const VerticalAxis& axis = {});

// Shifts the notes of melodic channels, folding by octaves into 0..127.
void TransposeNotes(MidiF0Data& song, std::int32_t semitones);

// How Horizontal Reverse treats controllers, pitch bend and pressure.
enum class ControlMirroring {
    kInstants,  // each change moves to its mirrored instant
    kCurves,    // each channel's controller state is mirrored as a curve
};

// Plays the song backwards: every note still starts with its note on, each
// passage keeps its program and tempo, the End of Track stays last. Needs event
// form and an End of Track last; otherwise reports and leaves the song alone.
void ReverseHorizontal(MidiF0Data& song, ControlMirroring controls = ControlMirroring::kInstants);

}  // namespace rovanta
