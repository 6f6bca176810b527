#include "cli/Commands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "cli/CliPlatform.h"
#include "cli/SongDump.h"
#include "pipelines/PlayPipeline.h"
#include "pipelines/RollLayout.h"
#include "playback/MusicPlayer.h"
#include "support/FileAccess.h"
#include "playback/Ports.h"
#include "playback/TimerThread.h"
#include "smf/MidiFileLoader.h"
#include "support/RunContext.h"

namespace rovanta::cli {

namespace fs = std::filesystem;

namespace {

// The application's Load with `input` as the open dialog's answer; true when a
// song was loaded.
bool LoadSong(MidiFileLoader& loader, const std::string& input)
{
    FixedPathChooser chooser(input);
    loader.AskAndLoad(chooser);
    if (loader.FileLength() == 0) return false;
    loader.BuildSong();
    return loader.Song() != nullptr;
}

std::string Usage(const std::string& message)
{
    return "rovanta-cli mirror: " + message + "\nRun with --help for more information.\n";
}

// Saving over the input would destroy the very file being mirrored; also
// caught through links and other names of the same file.
bool IsSameFile(const std::string& a, const fs::path& b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// The batch refusals, checked before any file is touched; empty when fine.
std::string CheckBatch(const BatchArgs& args)
{
    std::map<fs::path, std::string> byName;
    for (const std::string& input : args.inputs) {
        const fs::path name = fs::path(input).filename();
        if (name.empty()) return Usage("'" + input + "' names no file");
        const auto [it, fresh] = byName.emplace(name, input);
        if (!fresh) return Usage("'" + it->second + "' and '" + input + "' would both be written to '" +
                                 (fs::path(args.outDir) / name).string() + "'");
        if (IsSameFile(input, fs::path(args.outDir) / name))
            return Usage("'" + input + "' would be replaced by its own mirror image");
    }
    return {};
}

constexpr const char* kClearLine = "\r\033[K";

// Reports and the "tick N" line share stderr: a report first clears the tick
// line, so each stays a whole line; the next redraw puts the tick back.
class PlayConsole : public ReportSink {
public:
    PlayConsole(std::ostream& err, bool progress) : err_(&err), progress_(progress) {}

    void Show(std::string_view text) override
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(tickShown_, false)) *err_ << kClearLine;
        *err_ << text << '\n' << std::flush;
    }
    void ShowFileFailure(const FileFailure& failure) override { Show(DetailLine(failure)); }
    void DrawTick(std::int32_t tick)
    {
        if (!progress_) return;
        std::lock_guard lock(mutex_);
        *err_ << kClearLine << "tick " << tick << std::flush;
        tickShown_ = true;
    }
    // The last tick shown stays on the screen as a line of its own.
    void EndTickLine()
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(tickShown_, false)) *err_ << '\n' << std::flush;
    }

private:
    std::mutex mutex_;
    std::ostream* err_;
    const bool progress_;
    bool tickShown_ = false;
};

// Null, with the reason on `err`, when the message log cannot be created: the
// player would only say that the device does not open.
std::unique_ptr<MidiOutSystem> ChosenOutput(const PlayArgs& args, std::ostream& err)
{
    if (!args.port.empty()) return MakeRtMidiSystem(args.port);
    if (args.log.empty()) return MakeSynthSystem();
    auto log = std::make_unique<LogSystem>(fs::path(args.log));
    if (const int error = log->Prepare()) {
        err << "rovanta-cli play: cannot create the log '" << args.log
            << "': " << std::generic_category().message(error) << '\n' << std::flush;
        return nullptr;
    }
    return log;
}

// What the player's threads tell the main loop.
struct PlayProgress {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;                // the end callback has run
    std::atomic<std::int32_t> tick{0};  // written with the player's lock held: store only
};

std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the SIGINT handler may only touch lock-free atomics");

void OnInterrupt(int) { gInterrupted.store(true); }

}  // namespace

bool MirrorFile(const std::string& input, const std::string& output, const MirrorSettings& settings,
                ReportSink& sink)
{
    RunContext ctx(sink);  // outlives the loader, whose release may still report
    MidiFileLoader loader(ctx);
    const QuietRelease quiet(ctx);
    if (!LoadSong(loader, input)) return false;
    FixedPathChooser chooser(output);
    // Nothing needs the loaded song after this save: it is mirrored itself.
    return SaveMirrored(std::move(*loader.TakeSong()), settings, chooser) == 1;
}

int RunMirror(const MirrorArgs& args, std::ostream& err)
{
    if (IsSameFile(args.input, args.output)) {
        err << Usage("'" + args.output + "' is the input itself; it would be replaced by its own mirror image");
        return kExitUsage;
    }
    StreamSink sink(err);
    return MirrorFile(args.input, args.output, args.settings, sink) ? kExitOk : kExitFailed;
}

std::vector<FileOutcome> MirrorFiles(const BatchArgs& args,
                                     const std::function<void(std::size_t, const FileOutcome&)>& done)
{
    std::vector<FileOutcome> outcomes(args.inputs.size());
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        outcomes[i].input = args.inputs[i];
        outcomes[i].output = (fs::path(args.outDir) / fs::path(args.inputs[i]).filename()).string();
    }

    std::atomic<std::size_t> next{0};
    std::mutex doneMutex;
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < outcomes.size();) {
            FileOutcome& outcome = outcomes[i];
            FileReports sink;
            try {
                outcome.written = MirrorFile(outcome.input, outcome.output, args.settings, sink);
            } catch (const std::exception& e) {
                // One file running out of memory must not take the others down.
                sink.Show(std::string("rovanta-cli: ") + e.what());
                outcome.written = false;
            }
            outcome.reports = sink.Take();
            std::lock_guard lock(doneMutex);
            if (done) done(i, outcome);
        }
    };

    unsigned jobs = args.jobs != 0 ? args.jobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, outcomes.size()));
    std::vector<std::jthread> workers;
    for (unsigned j = 0; j < jobs; ++j) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads than asked still finish the list
        }
    }
    if (workers.empty()) work();
    workers.clear();  // joins
    return outcomes;
}

int RunBatch(const BatchArgs& args, std::ostream& err)
{
    if (const std::string refusal = CheckBatch(args); !refusal.empty()) {
        err << refusal;
        return kExitUsage;
    }
    std::error_code ec;
    fs::create_directories(args.outDir, ec);
    if (!fs::is_directory(args.outDir)) {
        err << "rovanta-cli mirror: cannot create the folder '" << args.outDir << "': " << ec.message() << '\n';
        return kExitFailed;
    }

    // Blocks are printed in input order as soon as every earlier file is done,
    // so the log reads the same whatever the number of jobs.
    std::vector<const FileOutcome*> finished(args.inputs.size(), nullptr);
    std::size_t printed = 0;
    std::size_t doneCount = 0;
    const char* clearLine = args.progress ? "\r\033[K" : "";
    auto done = [&](std::size_t index, const FileOutcome& outcome) {
        finished[index] = &outcome;
        ++doneCount;
        err << clearLine;
        for (; printed < finished.size() && finished[printed]; ++printed) {
            const FileOutcome& o = *finished[printed];
            err << o.input << " -> " << (o.written ? o.output : "failed, nothing written") << '\n';
            for (const std::string& line : o.reports) err << line << '\n';
        }
        if (args.progress) err << '[' << doneCount << '/' << finished.size() << "] " << outcome.input;
        err << std::flush;
    };
    const std::vector<FileOutcome> outcomes = MirrorFiles(args, done);

    const auto written = std::count_if(outcomes.begin(), outcomes.end(), [](const FileOutcome& o) { return o.written; });
    const auto withReports = std::count_if(outcomes.begin(), outcomes.end(),
                                           [](const FileOutcome& o) { return o.written && !o.reports.empty(); });
    const auto failed = static_cast<std::ptrdiff_t>(outcomes.size()) - written;
    err << clearLine << "files: " << outcomes.size() << ", written: " << written << " (" << withReports
        << " with reports), failed: " << failed << '\n';
    return failed == 0 ? kExitOk : kExitFailed;
}

int RunDump(const DumpArgs& args, std::ostream& out, std::ostream& err)
{
    StreamSink sink(err);
    RunContext ctx(sink);
    MidiFileLoader loader(ctx);
    const QuietRelease quiet(ctx);
    if (!LoadSong(loader, args.input)) return kExitFailed;
    if (args.settings.horizontal || args.settings.vertical)
        DumpSong(MirroredCopy(*loader.Song(), args.settings), out);
    else
        DumpSong(*loader.Song(), out);
    out << std::flush;
    return kExitOk;
}

int RunPlay(const PlayArgs& args, std::ostream& err, const std::atomic<bool>& interrupted)
{
    using namespace std::chrono_literals;
    PlayConsole console(err, args.progress);
    RunContext ctx(console);
    MidiFileLoader loader(ctx);
    QuietRelease quiet(ctx);
    if (!LoadSong(loader, args.input)) return kExitFailed;

    // Declared so that the player goes first: its threads use everything above it.
    const std::unique_ptr<MidiOutSystem> output = ChosenOutput(args, err);
    if (!output) return kExitFailed;
    RealTimerService timers;
    PlayProgress progress;
    MusicPlayer player(PlaybackEnv{ctx, *output, timers});
    PlayPipeline pipeline(player);

    auto onEnd = [&progress] {
        {
            std::lock_guard lock(progress.mutex);
            progress.ended = true;
        }
        progress.changed.notify_all();
    };
    auto onTick = [&progress](std::int32_t, std::int32_t tick, const MusicEvent*) {
        progress.tick.store(tick, std::memory_order_relaxed);
    };
    pipeline.Play(*loader.Song(), args.settings, onEnd, onTick);

    bool ended = false;
    {
        // A signal handler cannot notify, so the wait wakes up to look at the flag.
        std::unique_lock lock(progress.mutex);
        std::int32_t shown = -1;
        while (!progress.ended && !interrupted.load()) {
            const std::int32_t tick = progress.tick.load(std::memory_order_relaxed);
            if (tick != shown) console.DrawTick(shown = tick);
            progress.changed.wait_for(lock, 100ms);
        }
        ended = progress.ended;
        console.DrawTick(progress.tick.load(std::memory_order_relaxed));
    }

    int status = kExitInterrupted;
    if (ended) {
        // The player thread resets and closes the output after the end callback.
        while (!player.Finished()) timers.Sleep(10);
        // A start that could not open the output keeps its slot; a playback
        // that ran to its end has given it back.
        status = player.HasPlayer() ? kExitFailed : kExitOk;
    } else {
        pipeline.Stop();
    }
    console.EndTickLine();
    // The played copies and the song are released from here on.
    quiet.Now();
    return status;
}

int RunRender(const RenderArgs& args, std::ostream& err, const std::atomic<bool>& interrupted)
{
    PlayConsole console(err, false);
    RunContext ctx(console);
    MidiFileLoader loader(ctx);
    QuietRelease quiet(ctx);
    if (AudioFileType(args.output).empty()) {
        err << "rovanta-cli render: '" << args.output << "' is not a .wav, .flac or .ogg file\n";
        return kExitUsage;
    }
    if (!LoadSong(loader, args.input)) return kExitFailed;

    SynthConfig synth;
    if (!args.soundFont.empty()) synth.soundFont = args.soundFont;
    synth.sampleRate = args.rate;
    RenderControl control;
    control.cancel = &interrupted;
    int shown = -1;
    if (args.progress) {
        control.progress = [&](double done) {
            const int percent = static_cast<int>(done * 100);
            if (percent == shown) return;
            shown = percent;
            const int filled = percent * 30 / 100;
            err << kClearLine << '[' << std::string(static_cast<std::size_t>(filled), '#')
                << std::string(static_cast<std::size_t>(30 - filled), ' ') << "] " << percent << " %" << std::flush;
        };
    }
    const RenderResult result = RenderMirrored(ctx, *loader.Song(), args.settings, synth, args.output, control);
    if (shown >= 0) err << '\n' << std::flush;
    quiet.Now();
    switch (result.outcome) {
    case RenderOutcome::kWritten: return kExitOk;
    case RenderOutcome::kCancelled: return kExitInterrupted;
    case RenderOutcome::kNoSynthesizer:
        err << "rovanta-cli render: the built-in synthesizer cannot render"
            << (args.soundFont.empty() ? " (no General MIDI SoundFont found)" : " with '" + args.soundFont + "'")
            << '\n';
        return kExitFailed;
    case RenderOutcome::kWriteFailed: break;
    }
    err << "rovanta-cli render: cannot write '" << args.output << "'\n";
    return kExitFailed;
}

int RunRoll(const RollArgs& args, std::ostream& err)
{
    PlayConsole console(err, false);
    RunContext ctx(console);
    MidiFileLoader loader(ctx);
    QuietRelease quiet(ctx);
    if (!LoadSong(loader, args.input)) return kExitFailed;
    const std::vector<std::uint8_t> png =
        DrawRolls(PlaceRolls(LayOutRolls(*loader.Song(), args.settings), args.width, args.height)).Png();
    if (png.empty() || !WriteWholeFile(ctx, args.output, png.data(), static_cast<std::uint32_t>(png.size())))
        return kExitFailed;
    return kExitOk;
}

int RunPorts(std::ostream& out, const SynthConfig& synth)
{
    const OutputList outputs = ListOutputs(synth);
    for (const std::string& name : outputs.rtMidiPorts) out << name << '\n';
    if (outputs.synthAvailable)
        out << "built-in synthesizer: available (SoundFont " << outputs.soundFont.string() << ", audio driver "
            << outputs.audioDriver << ")\n";
    else
        out << "built-in synthesizer: not available (" << outputs.synthProblem << ")\n";
    out << std::flush;
    return kExitOk;
}

InterruptFlag::InterruptFlag()
{
    gInterrupted.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a write to stderr must not fail with EINTR
    sigaction(SIGINT, &action, &previous_);
}

InterruptFlag::~InterruptFlag()
{
    sigaction(SIGINT, &previous_, nullptr);
}

const std::atomic<bool>& InterruptFlag::Flag() const
{
    return gInterrupted;
}

}  // namespace rovanta::cli
