#pragma once
// Audio export: a play copy played as Play plays it (General MIDI System On,
// the pre-roll, every event on its schedule), on a simulated clock, into the
// built-in synthesizer rendering into a sound file, as fast as it can.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "playback/SynthPort.h"
#include "song/MidiF0Data.h"

namespace rovanta {

class RunContext;

// The sound file type a path's extension asks for: "wav", "flac" or "oga"
// (.ogg, .oga) in any letter case; empty for anything else.
std::string AudioFileType(const std::filesystem::path& path);

enum class RenderOutcome {
    kWritten,
    kNoSynthesizer,  // no SoundFont, or the synthesizer library or its file output could not start
    kWriteFailed,
    kCancelled,
};

struct RenderResult {
    RenderOutcome outcome = RenderOutcome::kNoSynthesizer;
    double scheduleSeconds = 0;  // the played schedule, without the release tail
    double audioSeconds = 0;     // what the file holds
};

struct RenderControl {
    // Called now and then with the share of the events played so far (0 to 1).
    std::function<void(double)> progress;
    // Checked between events: once set, nothing more is rendered and no file is left.
    const std::atomic<bool>* cancel = nullptr;
};

// The longest sound after the schedule's end: voices still ringing are cut there.
inline constexpr double kMaxReleaseSeconds = 2.0;

// Plays `playCopy` (event form, as MakePlayCopy makes it, from `initialTick`)
// into `output`, of the type its extension names, through the SoundFont the
// configuration selects. The file appears whole or not at all: it is written
// beside the output under another name and renamed when complete.
RenderResult RenderToFile(RunContext& ctx, MidiF0Data& playCopy, std::int32_t initialTick, SynthConfig config,
                          const std::filesystem::path& output, const RenderControl& control = {});

}  // namespace rovanta
