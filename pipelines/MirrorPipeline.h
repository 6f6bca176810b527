#pragma once
// The mirror pipeline shared by Play and Save: the loaded song is never
// changed; each command works on a fresh copy, transformed by the toggles as
// they stand at that moment, in a fixed order.

#include <cstdint>
#include <optional>

#include "mirror/Mirror.h"
#include "mirror/Pitch.h"
#include "song/MidiF0Data.h"

namespace rovanta {

class FileChooser;

// The musical options of the mirror, each off by default.
struct MirrorOptions {
    ControlMirroring controls = ControlMirroring::kInstants;
    // Twice the pitch every melodic channel is reflected about (ParseAxis);
    // unset: each channel's own C.
    std::optional<std::int32_t> twiceAxis;
    // Reflect within a key; `key` unset: the song's first key signature, else C major.
    bool diatonic = false;
    std::optional<MusicalKey> key;
    // Start the result at its first note's measure.
    bool trim = false;

    bool operator==(const MirrorOptions&) const = default;
};

struct MirrorSettings {
    bool horizontal = false;
    bool vertical = false;
    int raiseOctave = 1;  // "Raise octave with Vertical Reverse."
    MirrorOptions options{};
};

// On a copy in event form: Horizontal Reverse, then Vertical Reverse and, with
// the octave option, a rise of 12 semitones; then, with the trim option, the
// whole measures before the first note go.
void ApplyReversals(MidiF0Data& copy, const MirrorSettings& settings);

// The mirrored copy of the loaded song, in event form, ready to encode or pair.
MidiF0Data MirroredCopy(const MidiF0Data& loaded, const MirrorSettings& settings);

// Save: the mirrored copy is encoded, the user names the file, the image is
// written and the copy is dropped. 1 when a file was written.
int SaveMirrored(const MidiF0Data& loaded, const MirrorSettings& settings, FileChooser& chooser);
// The same on the song itself, for a caller that has no further use for it
// (a command-line run): the result is the same, without the copy.
int SaveMirrored(MidiF0Data&& loaded, const MirrorSettings& settings, FileChooser& chooser);
// What that Save writes, without the dialog and the file: the song itself,
// mirrored and encoded (its image in its block, unless encoding was refused).
MidiF0Data EncodeMirrored(MidiF0Data&& loaded, const MirrorSettings& settings);

}  // namespace rovanta
