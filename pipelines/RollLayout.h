#pragma once
// The before-and-after piano roll, laid out without any window: the loaded
// song above, what Play and Save would make of it below, in seconds and keys,
// and then placed on a picture of a given size. The window and the `roll`
// command only paint what this gives them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pipelines/MirrorPipeline.h"
#include "song/MidiF0Data.h"
#include "support/Image.h"

namespace rovanta {

struct RollNote {
    double start = 0, end = 0;  // seconds
    std::int32_t key = 0;
    std::int32_t channel = 0;
    std::int32_t velocity = 0;
    bool drum = false;
};

// One roll: a song's notes, its bar lines and length in seconds, and the
// pitch each melodic channel is mirrored about (drawn when it is).
struct Roll {
    std::vector<RollNote> notes;
    std::vector<double> bars;  // seconds of each bar line after the first
    double seconds = 0;
    std::array<std::optional<double>, 16> axes;  // keys, half steps allowed
};

struct RollPair {
    Roll before, after;
};

// The loaded song (paired), and its mirror with these settings. Drums are
// the song's drum channels. The axes are drawn with Vertical Reverse: on the
// upper roll where the notes are reflected, on the lower one where that line
// went (an octave up with the octave option).
RollPair LayOutRolls(const MidiF0Data& loaded, const MirrorSettings& settings);

// Seconds from the start at each tick, by the song's tempo events.
class TempoMap {
public:
    TempoMap(const MidiTrackData& track, std::int32_t division);
    double Seconds(std::int64_t tick) const;

private:
    struct Change {
        std::int64_t tick;
        double seconds;
        double secondsPerTick;
    };
    std::vector<Change> changes_;
};

// A roll pair placed on a picture of width x height pixels.
struct RollRect {
    std::int32_t x, y, w, h;
    std::int32_t channel;
    bool drum;  // drawn as a diamond in the rectangle
};
struct RollLine {
    std::int32_t x0, y0, x1, y1;
};
struct RollLabel {
    std::int32_t x, y;  // the text's top left
    std::string text;
};
struct RollPicture {
    std::int32_t width = 0, height = 0;
    double span = 0;  // the seconds each frame's width stands for
    std::array<RollRect, 2> frames{};  // the upper and the lower roll's area
    std::vector<RollRect> notes;
    std::vector<RollLine> bars;     // bar lines
    std::vector<RollLine> seconds;  // a tick on each roll's bottom edge every second (or more)
    std::vector<RollLine> axes;     // one per channel and roll
    std::vector<std::int32_t> axisChannels;
    std::vector<RollLabel> labels;  // the rolls' names and the seconds
};

RollPicture PlaceRolls(const RollPair& rolls, std::int32_t width, std::int32_t height);

// A playback position, in seconds of the lower roll, as a line down its frame
// (held at the frame's edges).
RollLine PlayPositionLine(const RollPicture& picture, double seconds);

// The colour of a channel's notes, as 0xRRGGBB; the same in every picture.
std::uint32_t ChannelColour(std::int32_t channel);

// The placed rolls drawn into a plain picture, for a PNG made without a
// window system: light rolls, grey bar lines, a dashed axis per channel in the
// channel's colour, notes in their channels' colours, drums as diamonds.
RgbImage DrawRolls(const RollPicture& picture);

}  // namespace rovanta
