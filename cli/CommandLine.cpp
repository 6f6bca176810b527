#include "cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace rovanta::cli {

namespace {

constexpr const char* kFooter = R"(Examples:
  rovanta-cli mirror -H song.mid -o backwards.mid
  rovanta-cli mirror -V --no-octave song.mid -o upside-down.mid
  rovanta-cli mirror -H -V songs/*.mid --out-dir mirrored -j 4
  rovanta-cli mirror -H --controls curves --trim song.mid -o backwards.mid
  rovanta-cli mirror -V --diatonic=Am --axis A3 song.mid -o inverted.mid
  rovanta-cli dump -V song.mid | less
  rovanta-cli play -H song.mid
  rovanta-cli play --port 1 song.mid
  rovanta-cli play --log messages.txt song.mid
  rovanta-cli render -H song.mid -o backwards.flac
  rovanta-cli roll -H -V song.mid -o roll.png --size 1600x800

Every report is printed on standard error as one line; a report about a file
is followed by a line indented by two blanks naming the file and the reason.
Exit status: 0 when the output was written or the song played to its end,
1 when nothing was loaded or nothing written (for --out-dir: when any file
failed) or the MIDI output could not be opened, 2 for a usage error, 130 when
playback was stopped with Ctrl-C.)";

// What a flag given without a value holds.
constexpr const char* kKeyFromSong = "true";

struct Toggles {
    bool horizontal = false;
    bool vertical = false;
    bool noOctave = false;
    std::string controls = "instants";
    std::string axis;
    std::string diatonic;  // empty: off; kKeyFromSong: the song's key
    bool trim = false;

    void AddTo(CLI::App& command)
    {
        command.add_flag("-H,--horizontal", horizontal, "Horizontal Reverse: play the song backwards");
        command.add_flag("-V,--vertical", vertical, "Vertical Reverse: reflect the pitches of each melodic channel");
        command.add_flag("--no-octave", noOctave, "Do not raise the notes by an octave after Vertical Reverse");
        command.add_option("--controls", controls,
                           "With -H: move each controller change to its mirrored instant (instants), or mirror "
                           "pedals, controllers, pitch bend and pressure as curves (curves)")
            ->check(CLI::IsMember({"instants", "curves"}))
            ->default_str("instants");
        command
            .add_option("--axis", axis,
                        "With -V: reflect every melodic channel about this pitch (E4, Bb3, 64, or 64.5 between two "
                        "notes) instead of each channel's own C")
            ->check(CLI::Validator(
                [](const std::string& text) {
                    return ParseAxis(text) ? std::string() : "not a note (E4, Bb3, 64 or 64.5 within 0 to 127)";
                },
                ""))
            ->option_text("NOTE");
        command
            .add_flag("--diatonic", diatonic,
                      "With -V: invert within a key instead of by half steps; --diatonic=KEY names it (D, Bb, F#m, "
                      "Am), else the song's first key signature or C major")
            ->check(CLI::Validator(
                [](const std::string& text) {
                    return text == kKeyFromSong || ParseKey(text) ? std::string() : "not a key (C, Bb, F#m, Am)";
                },
                ""))
            ->option_text("[=KEY]");
        command.add_flag("--trim", trim, "Start the result at the measure of its first note");
    }
    MirrorSettings Settings() const
    {
        MirrorSettings settings{horizontal, vertical, noOctave ? 0 : 1, {}};
        MirrorOptions& options = settings.options;
        options.controls = controls == "curves" ? ControlMirroring::kCurves : ControlMirroring::kInstants;
        if (!axis.empty()) options.twiceAxis = ParseAxis(axis);
        options.diatonic = !diatonic.empty();
        if (options.diatonic && diatonic != kKeyFromSong) options.key = ParseKey(diatonic);
        options.trim = trim;
        return settings;
    }
};

}  // namespace

int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    CLI::App app{"Mirrors Standard MIDI Files (format 0 or 1): backwards in time, upside down in pitch, or both; "
                 "saves or plays the result.",
                 "rovanta-cli"};
    app.set_version_flag("--version", std::string("rovanta-cli ") + ROVANTA_VERSION);
    app.require_subcommand(1);
    app.footer(kFooter);

    Toggles mirrorToggles;
    std::vector<std::string> inputs;
    std::string output;
    std::string outDir;
    unsigned jobs = 0;
    CLI::App* mirror = app.add_subcommand("mirror", "Load INPUT, apply the chosen reversals and save the result");
    mirrorToggles.AddTo(*mirror);
    mirror->add_option("INPUT", inputs, "Standard MIDI Files to load")->required();
    CLI::Option* outputOption = mirror->add_option("-o,--output", output, "The file to write (one INPUT)");
    CLI::Option* outDirOption =
        mirror->add_option("--out-dir", outDir, "Folder for the mirrored files, each named as its INPUT");
    outputOption->excludes(outDirOption);
    mirror->add_option("-j,--jobs", jobs, "Files mirrored at once with --out-dir (default: one per hardware thread)")
        ->check(CLI::Range(1u, 65535u))
        ->needs(outDirOption);

    Toggles dumpToggles;
    std::string dumpInput;
    CLI::App* dump = app.add_subcommand("dump", "Print the loaded song, or with -H/-V its mirror image, one event a line");
    dumpToggles.AddTo(*dump);
    dump->add_option("INPUT", dumpInput, "Standard MIDI File to load")->required();

    Toggles playToggles;
    PlayArgs playArgs;
    CLI::App* play = app.add_subcommand(
        "play", "Play INPUT with the chosen reversals on the built-in synthesizer, a port or a message log");
    playToggles.AddTo(*play);
    play->add_option("INPUT", playArgs.input, "Standard MIDI File to load")->required();
    CLI::Option* portOption =
        play->add_option("--port", playArgs.port, "Play on this output (a name or number as `ports` lists it)");
    CLI::Option* logOption =
        play->add_option("--log", playArgs.log, "Write every message, timed, to this file instead of sounding it");
    portOption->excludes(logOption);

    Toggles renderToggles;
    RenderArgs renderArgs;
    CLI::App* render = app.add_subcommand(
        "render", "Render what play would play of INPUT into a sound file, faster than real time");
    renderToggles.AddTo(*render);
    render->add_option("INPUT", renderArgs.input, "Standard MIDI File to load")->required();
    render->add_option("-o,--output", renderArgs.output, "The sound file to write: .wav, .flac or .ogg")->required();
    render->add_option("--soundfont", renderArgs.soundFont, "The SoundFont to render with (default: the system's)");
    render->add_option("--rate", renderArgs.rate, "Samples per second (default 44100)")
        ->check(CLI::Range(8000u, 192000u));

    Toggles rollToggles;
    RollArgs rollArgs;
    std::string rollSize = "1200x600";
    CLI::App* roll = app.add_subcommand(
        "roll", "Draw INPUT and what the chosen reversals make of it as piano rolls into a PNG picture");
    rollToggles.AddTo(*roll);
    roll->add_option("INPUT", rollArgs.input, "Standard MIDI File to load")->required();
    roll->add_option("-o,--output", rollArgs.output, "The PNG picture to write")->required();
    roll->add_option("--size", rollSize, "Width and height in pixels (default 1200x600)")
        ->check(CLI::Validator(
            [](const std::string& text) {
                int w = 0, h = 0;
                char x = 0, rest = 0;
                return std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &rest) == 3 && x == 'x' && w >= 64 &&
                               h >= 64 && w <= 10000 && h <= 10000
                           ? std::string()
                           : "not WIDTHxHEIGHT (64 to 10000 pixels each)";
            },
            ""))
        ->option_text("WxH");

    CLI::App* ports =
        app.add_subcommand("ports", "List the outputs --port accepts and whether the built-in synthesizer is available");

    try {
        app.parse(argc, argv);
        if (mirror->parsed() && outDirOption->count() == 0) {
            if (outputOption->count() == 0) throw CLI::RequiredError("-o OUTPUT or --out-dir DIR");
            if (inputs.size() != 1)
                throw CLI::ValidationError("--output", "takes exactly one INPUT; use --out-dir DIR for several");
        }
    } catch (const CLI::ParseError& e) {
        // Help and version are "errors" that end well.
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    }

    if (ports->parsed()) return RunPorts(out);
    if (play->parsed()) {
        playArgs.settings = playToggles.Settings();
        playArgs.progress = errIsTerminal;
        const InterruptFlag interrupt;
        return RunPlay(playArgs, err, interrupt.Flag());
    }
    if (roll->parsed()) {
        rollArgs.settings = rollToggles.Settings();
        std::sscanf(rollSize.c_str(), "%dx%d", &rollArgs.width, &rollArgs.height);
        return RunRoll(rollArgs, err);
    }
    if (render->parsed()) {
        renderArgs.settings = renderToggles.Settings();
        renderArgs.progress = errIsTerminal;
        const InterruptFlag interrupt;
        return RunRender(renderArgs, err, interrupt.Flag());
    }
    if (dump->parsed()) return RunDump({dumpToggles.Settings(), dumpInput}, out, err);
    if (outDirOption->count() > 0)
        return RunBatch({mirrorToggles.Settings(), inputs, outDir, jobs, errIsTerminal}, err);
    return RunMirror({mirrorToggles.Settings(), inputs.front(), output}, err);
}

}  // namespace rovanta::cli
