#pragma once
// What one call of the Python module runs: the application's Load and Save
// (or Load and the mirrored copy Play would use), with a fresh run state of
// its own, as the command-line tool runs one file. Nothing here touches
// Python, so the module calls it with the interpreter's lock released, from
// as many threads at once as the caller likes.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pipelines/MirrorPipeline.h"

namespace rovanta::python {

struct MirrorOutcome {
    bool written = false;
    // The saved format-0 file when `written` and the call kept it in memory.
    std::vector<std::uint8_t> image;
    // Every report line in the order raised, with the detail line after a
    // report about a file: what `rovanta-cli mirror` prints on stderr.
    std::vector<std::string> lines;
};

// Load from memory, as a file named `name` would load, and Save into memory.
MirrorOutcome MirrorBytes(std::span<const std::uint8_t> file, const std::string& name,
                          const MirrorSettings& settings);

// `rovanta-cli mirror INPUT -o OUTPUT`, refusals of the command line aside.
MirrorOutcome MirrorFile(const std::string& input, const std::string& output, const MirrorSettings& settings);

// One note as Play hears it; 16 bytes, laid out for a NumPy structured array.
struct NoteRow {
    std::int64_t start;  // tick
    std::int32_t duration;
    std::uint8_t channel;
    std::uint8_t key;
    std::uint8_t velocity;
    std::uint8_t unused = 0;
};
static_assert(sizeof(NoteRow) == 16);

struct TempoChange {
    std::int64_t tick;
    std::int32_t microsecondsPerQuarter;
};

struct SongNotes {
    bool loaded = false;
    std::int32_t division = 0;
    std::vector<NoteRow> notes;        // in the song's order
    std::vector<TempoChange> tempos;   // every tempo event, in order
    std::vector<std::string> lines;
};

// The notes and tempos of the loaded song or, when a reversal is chosen, of
// the mirrored copy that Play would play (`rovanta-cli dump` shows the same
// song event by event).
SongNotes NotesOf(std::span<const std::uint8_t> file, const std::string& name, const MirrorSettings& settings);

}  // namespace rovanta::python
