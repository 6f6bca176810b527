#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliPlatform.h"
#include "cli/CliHarness.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SongDump.h"
#include "common/Events.h"
#include "common/TestSinks.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfBytes.h"

namespace rovanta::cli {
namespace {

namespace fs = std::filesystem;
using namespace test;
using Strings = std::vector<std::string>;

const std::string kCantOpen = "Midiファイルが開けませんでした。";
const std::string kUndefined = "MDTK0D000002 Undefined Midi Event";

using harness::Cli;
using harness::CliRun;
using harness::TempDir;

Strings Lines(const std::string& text)
{
    Strings out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}


// Tempo, program 5 and volume 100 on channel 0, then middle C for a quarter
// note.
const Bytes kSimple = Smf(0, 96, {Chunk("00 FF 51 03 07 A1 20 | 00 C0 05 | 00 B0 07 64 | 00 90 3C 64 | 60 80 3C 40 | 00 FF 2F 00")});

// Leaves running status 0x92 behind it...
const Bytes kSetsRunningStatus = Smf(0, 96, {Chunk("00 92 30 50 | 60 30 00 | 00 FF 2F 00")});
// ...which this file would need: after its tempo come data bytes and no status.
const Bytes kNeedsRunningStatus = Smf(0, 96, {Chunk("00 FF 51 03 07 A1 20 | 00 3C 64 | 60 3C 00 | 00 FF 2F 00")});

// A format-1 file whose reading reports a zero tempo and then a bad time signature.
const Bytes kTwoDefects = Smf(1, 96, {Chunk("00 FF 51 03 00 00 00 | 00 FF 58 04 00 02 18 08 | 00 FF 2F 00")});

// A format-1 file whose only chunk is one byte short: read with reports, nothing left.
Bytes CutShort()
{
    Bytes file = Smf(1, 96, {Chunk("00 90 3C 40 | 10 80 3C 00 | 00 FF 2F 00")});
    file.pop_back();
    return file;
}
const Bytes kCutShort = CutShort();

// A text of 300 bytes: every track that holds it reports when it is released.
const Bytes kLongText = Smf(0, 96, {Chunk(Cat({Hex("00 FF 01 82 2C"), Bytes(300, 'x'),
                                           Hex("00 90 3C 64 | 60 80 3C 40 | 00 FF 2F 00")}))});

// The version the project is built as, from the top CMakeLists.txt.
std::string ProjectVersion()
{
    const std::string text = test::ReadText(std::string(ROVANTA_TEST_DATA) + "/../../CMakeLists.txt");
    std::smatch match;
    return std::regex_search(text, match, std::regex(R"(project\(Rovanta VERSION ([0-9.]+))")) ? match[1].str() : "";
}

// --- command line ----------------------------------------------------------

TEST(CliCommandLine, RefusedCommandLinesExitWithTwoAndSayWhy)
{
    TempDir dir;
    const std::string in = dir.Write("in.mid", kSimple);
    const std::string out = dir / "out.mid";
    // Its mirror image differs from it, so an overwrite would show.
    const std::string self = dir.Write("sub/self.mid", kTwoDefects);
    fs::create_symlink(self, dir / "link.mid");
    fs::create_hard_link(self, dir / "hard.mid");
    const std::string a = dir.Write("a/song.mid", kSimple), b = dir.Write("b/song.mid", kSimple);
    const std::string other = dir.Write("c/other.mid", kSimple);
    const std::string ownImage = "would be replaced by its own mirror image";
    const struct {
        Strings args;
        std::string because;
    } cases[] = {
        {{}, "subcommand"},
        {{"transpose", in}, ""},
        {{"mirror", in}, "-o OUTPUT or --out-dir DIR is required"},
        {{"mirror", "-o", out}, "INPUT"},
        {{"mirror", in, in, "-o", out}, "exactly one INPUT"},
        {{"mirror", in, "-o", out, "--out-dir", dir / "d"}, "excludes"},
        {{"mirror", in, "-o", out, "-j", "2"}, "--jobs requires --out-dir"},
        {{"mirror", in, "--out-dir", dir / "d", "-j", "0"}, "--jobs"},
        {{"mirror", in, "--out-dir", dir / "d", "-j", "x"}, "--jobs"},
        {{"mirror", "--reverse", in, "-o", out}, "--reverse"},
        {{"dump"}, "INPUT"},
        {{"dump", in, in}, ""},
        {{"mirror", "-H", self, "-o", self}, ownImage},
        {{"mirror", "-H", self, "-o", dir / "link.mid"}, ownImage},
        {{"mirror", "-H", self, "-o", dir / "hard.mid"}, ownImage},
        {{"mirror", "-H", dir / "link.mid", "-o", dir / "sub/../sub/./self.mid"}, ownImage},
        {{"mirror", a, other, b, "--out-dir", dir / "d"}, "would both be written"},
        {{"mirror", a, other, "--out-dir", dir / "c"}, ownImage},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli(c.args);
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        EXPECT_EQ(run.status, kExitUsage) << joined;
        EXPECT_NE(run.err.find(c.because), std::string::npos) << joined << "\n" << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << joined;
        EXPECT_EQ(run.out, "") << joined;
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir / "d"));
    EXPECT_EQ(ReadBytes(self), kTwoDefects);
    EXPECT_EQ(ReadBytes(other), kSimple);
    EXPECT_FALSE(fs::exists(dir / "c/song.mid"));
}

TEST(CliCommandLine, HelpShowsExamplesAndVersionNamesTheTool)
{
    const CliRun help = Cli({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("Examples:"), std::string::npos);
    EXPECT_NE(help.out.find("rovanta-cli mirror -H song.mid -o"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const CliRun mirrorHelp = Cli({"mirror", "--help"});
    EXPECT_EQ(mirrorHelp.status, kExitOk);
    EXPECT_NE(mirrorHelp.out.find("--no-octave"), std::string::npos);

    // The About box is built with the same number.
    const CliRun version = Cli({"--version"});
    EXPECT_EQ(version.status, kExitOk);
    ASSERT_NE(ProjectVersion(), "");
    EXPECT_EQ(version.out, "rovanta-cli " + ProjectVersion() + "\n");
}

// --- mirror, one file --------------------------------------------------------

// The report lines stay as the window shows them; an indented line after each
// file report names the file and the reason.
TEST(CliMirror, FileFailuresExitWithOneAndNameTheFileAndTheReason)
{
    TempDir dir;
    const std::string in = dir.Write("in.mid", kSimple);
    const std::string text = dir.Write("notes.txt", test::Text("not music at all"));
    const std::string missing = dir / "missing.mid";
    const std::string folder = dir / "folder.mid";
    fs::create_directory(folder);
    const std::string noFolder = dir / "no-such-folder/out.mid";
    const std::string cut = dir.Write("cut.mid", kCutShort);
    const std::string out = dir / "out.mid";
    const struct {
        std::string input;
        std::string output;
        Strings err;
    } cases[] = {
        {missing, out, {kCantOpen + missing, "  " + missing + ": No such file or directory"}},
        {folder, out, {kCantOpen + folder, "  " + folder + ": Is a directory"}},
        {text, out, {"MDLD17000002 This is not a Midi file!", "  " + text + ": not a Standard MIDI File"}},
        {in, noFolder, {"GENE01000007 Cant open file!", "  " + noFolder + ": No such file or directory"}},
        {in, folder, {"GENE01000007 Cant open file!", "  " + folder + ": Is a directory"}},
        // Damage that leaves nothing but the End of Track loads nothing.
        {cut, out, Strings(3, "MDTK0D000001 MidiTrackData Internal Error")},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli({"mirror", "-H", c.input, "-o", c.output});
        EXPECT_EQ(run.status, kExitFailed) << c.input << " -> " << c.output;
        EXPECT_EQ(Lines(run.err), c.err);
    }
    EXPECT_EQ(Cli({"dump", cut}).status, kExitFailed);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::is_empty(folder));
    // A file that holds nothing and says so cleanly is mirrored as ever.
    const std::string empty = dir.Write("empty.mid", Smf(0, 96, {Chunk("00 FF 2F 00")}));
    EXPECT_EQ(Cli({"mirror", empty, "-o", out}).status, kExitOk);
    EXPECT_EQ(Cli({"dump", empty}).status, kExitOk);
    EXPECT_TRUE(fs::exists(out));
}

// The loaded song is released after the work is done; what that release
// reports reaches nobody. Load and Save report as ever.
TEST(CliMirror, OnlyTheReportsOfLoadAndSaveArePrinted)
{
    TempDir dir;
    const std::string in = dir.Write("long.mid", kLongText);
    test::Recorded r;
    std::optional<MidiFileLoader> loader(std::in_place, r.ctx);
    loader->Load(in);
    loader->BuildSong();
    ASSERT_NE(loader->Song(), nullptr);
    const Strings load = r.Take();
    FixedPathChooser chooser(dir / "reference.mid");
    ASSERT_EQ(SaveMirrored(*loader->Song(), {}, chooser), 1);
    const Strings save = r.Take();
    loader.reset();
    EXPECT_FALSE(r.Take().empty());  // the release does report
    Strings loadAndSave = load;
    loadAndSave.insert(loadAndSave.end(), save.begin(), save.end());

    const CliRun mirror = Cli({"mirror", in, "-o", dir / "out.mid"});
    EXPECT_EQ(mirror.status, kExitOk);
    EXPECT_EQ(Lines(mirror.err), loadAndSave);
    const CliRun dump = Cli({"dump", in});
    EXPECT_EQ(dump.status, kExitOk);
    EXPECT_EQ(Lines(dump.err), load);
}

// --- batch ---------------------------------------------------------------------

struct BatchRun {
    int status;
    std::string err;
    std::vector<Bytes> outputs;  // by file name, in the order of `names`
};

BatchRun Batch(const TempDir& dir, const Strings& names, const std::string& outDir, const Strings& extra)
{
    Strings args{"mirror", "-H", "-V"};
    for (const std::string& name : names) args.push_back(dir / name);
    args.insert(args.end(), {"--out-dir", outDir});
    args.insert(args.end(), extra.begin(), extra.end());
    const CliRun run = Cli(args);
    BatchRun result{run.status, run.err, {}};
    for (const std::string& name : names) {
        const std::string out = (fs::path(outDir) / name).string();
        result.outputs.push_back(fs::exists(out) ? ReadBytes(out) : Bytes{});
    }
    fs::remove_all(outDir);  // the next run starts from an empty folder
    return result;
}

TEST(CliBatch, ResultsDependNeitherOnTheNumberOfJobsNorOnTheOrder)
{
    TempDir dir;
    const Strings names{"simple.mid", "sets.mid", "needs.mid", "defects.mid", "missing.mid", "cut.mid", "simple2.mid"};
    dir.Write("simple.mid", kSimple);
    dir.Write("sets.mid", kSetsRunningStatus);
    dir.Write("needs.mid", kNeedsRunningStatus);
    dir.Write("defects.mid", kTwoDefects);
    dir.Write("cut.mid", kCutShort);
    dir.Write("simple2.mid", kSimple);

    const std::string outDir = dir / "out";
    const BatchRun one = Batch(dir, names, outDir, {"-j", "1"});
    const BatchRun four = Batch(dir, names, outDir, {"-j", "4"});
    const Strings reversedNames(names.rbegin(), names.rend());
    BatchRun reversed = Batch(dir, reversedNames, outDir, {"--jobs", "3"});
    std::reverse(reversed.outputs.begin(), reversed.outputs.end());

    EXPECT_EQ(one.status, kExitFailed);  // missing.mid, cut.mid
    EXPECT_EQ(four.status, kExitFailed);
    EXPECT_EQ(one.outputs, four.outputs);
    EXPECT_EQ(one.outputs, reversed.outputs);
    // Blocks come in input order, so the whole log is the same for any -j.
    EXPECT_EQ(one.err, four.err);

    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(one.outputs[i].empty(), names[i] == "missing.mid" || names[i] == "cut.mid") << names[i];
    EXPECT_EQ(one.outputs[0], one.outputs[6]);

    const Strings lines = Lines(one.err);
    const std::string missing = dir / "missing.mid";
    auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    EXPECT_LT(at(dir / "simple.mid" + " -> " + (fs::path(outDir) / "simple.mid").string()), at(missing + " -> failed, nothing written"));
    EXPECT_EQ(at(missing + " -> failed, nothing written") + 1, at(kCantOpen + missing));
    EXPECT_EQ(at(kCantOpen + missing) + 1, at("  " + missing + ": No such file or directory"));
    EXPECT_LT(at(dir / "cut.mid" + " -> failed, nothing written"), at(dir / "simple2.mid" + " -> " + (fs::path(outDir) / "simple2.mid").string()));
    // Each file is read as the first load of a fresh run: no running status
    // left by sets.mid reaches needs.mid, whose bare data bytes are reported.
    EXPECT_EQ(at(dir / "needs.mid" + " -> " + (fs::path(outDir) / "needs.mid").string()) + 1, at(kUndefined));
    EXPECT_EQ(lines.back(), "files: 7, written: 5 (2 with reports), failed: 2");
}

// --- dump ------------------------------------------------------------------------

TEST(CliDump, PrintsTheLoadedSongPairedAndTheMirroredCopyInEventForm)
{
    TempDir dir;
    const std::string in = dir.Write("in.mid", kSimple);

    const CliRun loaded = Cli({"dump", in});
    EXPECT_EQ(loaded.status, kExitOk);
    EXPECT_EQ(loaded.err, "");
    EXPECT_EQ(Lines(loaded.out), (Strings{
                                     "division=96 events=5 state=2 (paired)",
                                     "tick=0 delta=0 meta type=0x51 tempo=500000",
                                     "tick=0 delta=0 program ch=0 prog=5",
                                     "tick=0 delta=0 cc ch=0 ctrl=7 val=100",
                                     "tick=0 delta=0 paired ch=0 note=60 dur=96 vel=100",
                                     "tick=96 delta=96 end-of-track",
                                 }));

    const CliRun mirrored = Cli({"dump", "-V", in});
    EXPECT_EQ(mirrored.status, kExitOk);
    EXPECT_EQ(Lines(mirrored.out), (Strings{
                                       "division=96 events=6 state=1 (events)",
                                       "tick=0 delta=0 meta type=0x51 tempo=500000",
                                       "tick=0 delta=0 program ch=0 prog=5",
                                       "tick=0 delta=0 cc ch=0 ctrl=7 val=100",
                                       "tick=0 delta=0 note-on ch=0 note=72 vel=100",
                                       "tick=96 delta=96 note-off ch=0 note=72 vel=64",
                                       "tick=96 delta=0 end-of-track",
                                   }));
}

// The reader and loader tests compare whole descriptions; what they never
// meet is shown here.
TEST(CliDump, LongBytesAreCutTextsEscapedAndUnknownKindsNamed)
{
    MusicEvent longSysex = SysEx(0, Bytes(40, 0x01));
    MusicEvent name = Meta(0, meta::kTrackName);
    const Bytes text = test::Text("Pi\"a\\no\n\xE9");
    name.SetBytes(text.data(), static_cast<std::int32_t>(text.size()));
    MusicEvent strange(0);
    strange.kind = 0x42;
    EXPECT_EQ(DescribeEvent(longSysex),
              "sysex class=0 val=0 len=40 bytes=01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 "
              "01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 ...");
    EXPECT_EQ(DescribeEvent(name), R"(meta type=0x03 text="Pi\"a\\no\x0A\xE9")");
    EXPECT_EQ(DescribeEvent(strange), "kind=0x42");
}

}  // namespace
}  // namespace rovanta::cli
