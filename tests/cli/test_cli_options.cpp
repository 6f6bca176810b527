// The musical options on the command line: each reaches the mirror of every
// command that mirrors, and a value that names nothing is a usage error.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CliHarness.h"
#include "common/Files.h"
#include "smf/SmfBytes.h"

namespace rovanta::cli {
namespace {

using harness::Cli;
using harness::TempDir;

// At 480 ticks a quarter: pedal down, C4 for a quarter, E4 for a quarter,
// then volume 90 two measures of 4/4 at 96 ticks later (no time signature).
const char* const kTrack =
    "00 B0 40 7F | 00 90 3C 64 | 83 60 80 3C 00 | 00 90 40 64 | 83 60 80 40 00 | 8F 00 B0 07 5A | 00 FF 2F 00";

TEST(CliOptions, EachOptionReachesTheMirror)
{
    TempDir dir;
    const test::Bytes file = test::Smf(0, 480, {test::Chunk(kTrack)});
    const std::string song = dir.Write("song.mid", std::string(file.begin(), file.end()));
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> lines;  // lines the dump must hold, in this order
        const char* absent = "";         // and one it must not
    } cases[] = {
        {"chromatically about each channel's C (C4): E4 becomes G#3",
         {"dump", "-V", "--no-octave", song}, {"note-on ch=0 note=60", "note-on ch=0 note=56"}},
        {"about E4", {"dump", "-V", "--no-octave", "--axis", "E4", song}, {"note-on ch=0 note=68", "note-on ch=0 note=64"}},
        {"about 64.5, with the octave", {"dump", "-V", "--axis=64.5", song},
         {"note-on ch=0 note=81", "note-on ch=0 note=77"}},
        {"within the song's key (none: C major) about C4, E4 becomes A3",
         {"dump", "-V", "--no-octave", "--diatonic", song}, {"note-on ch=0 note=60", "note-on ch=0 note=57"}},
        {"within A minor about A3", {"dump", "-V", "--no-octave", "--diatonic=Am", "--axis", "A3", song},
         {"note-on ch=0 note=53", "note-on ch=0 note=50"}},
        {"as instants, the pedal goes down at the end and the volume comes first",
         {"dump", "-H", song}, {"tick=0 delta=0 cc ch=0 ctrl=7 val=90", "tick=2880 delta=0 cc ch=0 ctrl=64 val=127"}},
        {"as curves, the pedal is down from the start and up at the mirror of its press; the volume set after the "
         "last note sets nothing",
         {"dump", "-H", "--controls", "curves", song},
         {"tick=0 delta=0 cc ch=0 ctrl=64 val=127", "note-on ch=0 note=64", "tick=2880 delta=480 cc ch=0 ctrl=64 val=0"},
         "ctrl=7"},
        {"trimmed, the four measures of 384 ticks before the first note go",
         {"dump", "-H", "--controls=curves", "--trim", song},
         {"tick=0 delta=0 cc ch=0 ctrl=64 val=127", "tick=0 delta=0 note-on ch=0 note=64",
          "tick=960 delta=480 cc ch=0 ctrl=64 val=0"},
         "ctrl=7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = Cli(c.args);
        EXPECT_EQ(run.status, 0) << run.err;
        std::size_t at = 0;
        for (const std::string& line : c.lines) {
            at = run.out.find(line, at);
            EXPECT_NE(at, std::string::npos) << line << "\n" << run.out;
            if (at == std::string::npos) break;
        }
        if (*c.absent) {
            EXPECT_EQ(run.out.find(c.absent), std::string::npos) << c.absent;
        }
    }

    // mirror and play take the same options as dump.
    const std::string out = dir / "out.mid";
    EXPECT_EQ(Cli({"mirror", "-V", "--diatonic=Am", "--axis", "A3", song, "-o", out}).status, 0);
    const std::string saved = Cli({"dump", out}).out;
    EXPECT_NE(saved.find("note=65"), std::string::npos) << "C4 to F3, an octave up";
    EXPECT_NE(saved.find("note=62"), std::string::npos) << "E4 to D3, an octave up";
    const std::string log = dir / "log.txt";
    EXPECT_EQ(Cli({"play", "--log", log, "-V", "--no-octave", "--axis", "E4", song}).status, 0);
    EXPECT_NE(test::ReadText(log).find(" 44 "), std::string::npos) << "note 68 (0x44) sounds";
}

TEST(CliOptions, ValuesThatNameNothingAreUsageErrors)
{
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"mirror", "-V", "--axis", "H4", "in.mid", "-o", "out.mid"}, "--axis: not a note"},
        {{"mirror", "-V", "--axis", "128", "in.mid", "-o", "out.mid"}, "--axis: not a note"},
        {{"dump", "-V", "--diatonic=Xm", "in.mid"}, "--diatonic: not a key"},
        {{"play", "-H", "--controls", "sideways", "in.mid"}, "--controls"},
    };
    for (const auto& c : cases) {
        const auto run = Cli(c.args);
        EXPECT_EQ(run.status, 2) << c.says;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace rovanta::cli
