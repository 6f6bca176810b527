#pragma once
// Pitches, axes and keys for Vertical Reverse: the names people type, and the
// diatonic reflection within a key. Middle C, MIDI note 60, is C4.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "song/MidiTrackData.h"

namespace rovanta {

// A major or natural-minor key: its tonic's pitch class (C = 0 … B = 11).
struct MusicalKey {
    std::int32_t tonic = 0;
    bool minor = false;

    bool operator==(const MusicalKey&) const = default;
};

// The axis of a reflection as twice its pitch, so that half-step axes are
// whole numbers: 128 is E4 (64), 129 lies between E4 and F4 (n -> 129 - n).
// "E4", "Bb3", "F#-1", "64" or "64.5"; nothing for anything else or beyond
// the notes 0 to 127.
std::optional<std::int32_t> ParseAxis(std::string_view text);
// "E4" for a note, "64.5" for a half-step axis.
std::string AxisName(std::int32_t twiceAxis);

// "C", "Bb", "F#m", "Am", "Ebm" (a letter, an optional # or b, an optional m).
std::optional<MusicalKey> ParseKey(std::string_view text);
// "C", "F#", "Bbm": sharps for the sharp keys, flats for the flat ones.
std::string KeyName(const MusicalKey& key);

// The key of the track's first key-signature meta; C major when it has none
// (or one that names no key).
MusicalKey KeyOfTrack(const MidiTrackData& track);

// Diatonic reflection of `note` about `twiceAxis` within `key`: each note's
// scale degree is mirrored about the axis's degree. A note outside the scale
// is a raised degree, and comes out as the mirrored degree lowered. An axis
// outside the scale stands for the scale note below it, unless it lies halfway
// between two neighbouring scale notes a half step apart (E4 and F4 in C
// major), which it then mirrors onto each other. Not clamped.
std::int32_t ReflectInKey(std::int32_t note, std::int32_t twiceAxis, const MusicalKey& key);

}  // namespace rovanta
