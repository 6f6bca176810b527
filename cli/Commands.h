#pragma once
// The command-line tool's commands, as functions of their arguments and the
// streams they write to, so tests can run them without starting a process.
// Each command runs the application's own Load and Save; only the dialogs and
// message boxes are replaced (see CliPlatform.h).

#include <signal.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "pipelines/MirrorPipeline.h"
#include "playback/SynthPort.h"

namespace rovanta {
class ReportSink;
}

namespace rovanta::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // nothing loaded or nothing written
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report it

struct MirrorArgs {
    MirrorSettings settings;
    std::string input;
    std::string output;
};

struct BatchArgs {
    MirrorSettings settings;
    std::vector<std::string> inputs;
    std::string outDir;
    unsigned jobs = 0;      // 0: one per hardware thread
    bool progress = false;  // redraw a progress line (stderr is a terminal)
};

struct DumpArgs {
    MirrorSettings settings;
    std::string input;
};

// Load and Save of one file as one fresh program run would do them: its own
// running status and once-only flags. Every report of Load and Save goes to
// `sink` (those of the song's release at the end do not); true when the
// output file was written.
bool MirrorFile(const std::string& input, const std::string& output, const MirrorSettings& settings,
                ReportSink& sink);

// `mirror INPUT -o OUTPUT`: reports on `err`, one line each, as they are raised.
// Refuses (usage error) an OUTPUT that is the INPUT itself under any name.
int RunMirror(const MirrorArgs& args, std::ostream& err);

struct FileOutcome {
    std::string input;
    std::string output;
    bool written = false;
    std::vector<std::string> reports;
};

// Mirrors every input into the folder on `jobs` worker threads. `done` is
// called once per file, from the worker that finished it, never by two
// workers at once. Outcomes come back in input order.
std::vector<FileOutcome> MirrorFiles(const BatchArgs& args,
                                     const std::function<void(std::size_t, const FileOutcome&)>& done);

// `mirror INPUT... --out-dir DIR`: each file's block of reports in input order,
// then a summary that counts the files written with reports apart, on `err`.
// Refuses (usage error) inputs that share a file name or whose output would
// replace the input itself.
int RunBatch(const BatchArgs& args, std::ostream& err);

// `dump INPUT`: the loaded song, or with a reversal chosen the mirrored copy,
// as one line per event on `out`; reports on `err`.
int RunDump(const DumpArgs& args, std::ostream& out, std::ostream& err);

struct PlayArgs {
    MirrorSettings settings;
    std::string input;
    std::string port;       // a sequencer port by name or number; empty: see `log`
    std::string log;        // a message log file; both empty: the built-in synthesizer
    bool progress = false;  // redraw "tick N" on one line (stderr is a terminal)
};

// `play INPUT`: loads as `mirror` does, plays the chosen reversals and waits
// for the song's end. When `interrupted` becomes true the playback is stopped
// (PlayStop) and the exit status is 130. Exit 1 when nothing was loaded or the
// output could not be opened (a log that cannot be created is named, with the
// reason). Reports on `err`, one line each, as raised.
int RunPlay(const PlayArgs& args, std::ostream& err, const std::atomic<bool>& interrupted);

struct RenderArgs {
    MirrorSettings settings;
    std::string input;
    std::string output;     // .wav, .flac or .ogg
    std::string soundFont;  // empty: the system's General MIDI SoundFont
    unsigned rate = 44100;
    bool progress = false;  // draw a progress bar (stderr is a terminal)
};

// `render INPUT -o OUTPUT`: loads as `mirror` does and renders what `play`
// would play into a sound file, faster than real time. Exit 1 when nothing was
// loaded, no synthesizer could render or the file could not be written;
// 130 when `interrupted` stopped it (no file is left then).
int RunRender(const RenderArgs& args, std::ostream& err, const std::atomic<bool>& interrupted);

struct RollArgs {
    MirrorSettings settings;
    std::string input;
    std::string output;  // .png
    int width = 1200, height = 600;
};

// `roll INPUT -o OUTPUT.png`: the loaded song above and its mirror below, as
// piano rolls, drawn without a display. Exit 1 when nothing was loaded or the
// picture could not be written.
int RunRoll(const RollArgs& args, std::ostream& err);

// `ports`: one line per sequencer port `--port` accepts, then whether the
// built-in synthesizer is available (its audio output really opens) or why not.
int RunPorts(std::ostream& out, const SynthConfig& synth = {});

// While it lives, Ctrl-C (SIGINT) only raises Flag(); the previous handler is
// put back afterwards. One at a time.
class InterruptFlag {
public:
    InterruptFlag();
    ~InterruptFlag();
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

    const std::atomic<bool>& Flag() const;

private:
    struct sigaction previous_ {};
};

}  // namespace rovanta::cli
