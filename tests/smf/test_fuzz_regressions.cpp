// Every input the load fuzzer ever tripped over (fuzz/regressions/) and every
// seed it starts from (fuzz/corpus/) goes through the fuzz target's own load
// path and must hold its rules. The folders are read when the test runs, so a
// new reproducer needs no rebuild.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/LoadPath.h"
#include "smf/MidiFileLoader.h"
#include "song/MidiF0Data.h"
#include "song/MusicEvent.h"
#include "support/RunContext.h"

namespace rovanta {
namespace {

namespace fs = std::filesystem;

// The test data folder sits at <repo>/tests/data; the fuzz folders at <repo>/fuzz.
fs::path FuzzDir()
{
    return fs::path(ROVANTA_TEST_DATA).parent_path().parent_path() / "fuzz";
}

// The inputs of one folder, sorted; notes and hidden files are not inputs.
std::vector<fs::path> InputsIn(const fs::path& dir)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.starts_with('.') || name.starts_with("README")) continue;
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Collects broken rules instead of trapping.
struct Violations {
    std::vector<std::string> seen;
    fuzz::ViolationHandler Handler()
    {
        return [this](std::string_view step, std::string_view rule) {
            if (seen.size() < 20) seen.push_back(std::string(step) + ": " + std::string(rule));
        };
    }
};

fuzz::LoadOutcome RunChecked(const fs::path& file)
{
    Violations violations;
    const fuzz::LoadOutcome outcome = fuzz::RunLoadPath(file.string(), violations.Handler());
    EXPECT_EQ(violations.seen, std::vector<std::string>{}) << file.filename();
    return outcome;
}

TEST(FuzzRegressions, EverySeedAndReproducerHoldsTheLoadPathRules)
{
    const std::vector<fs::path> seeds = InputsIn(FuzzDir() / "corpus");
    // The seeds are committed: finding none means the folder moved, not that all is well.
    ASSERT_GE(seeds.size(), 8u) << FuzzDir() / "corpus";
    std::vector<fs::path> inputs = seeds;
    const std::vector<fs::path> reproducers = InputsIn(FuzzDir() / "regressions");
    inputs.insert(inputs.end(), reproducers.begin(), reproducers.end());
    for (const fs::path& file : inputs) {
        SCOPED_TRACE(file.filename().string());
        RunChecked(file);
    }
}

// The well-formed seeds must really load, or the fuzzer would start from
// inputs that stop at the first check. Note counts are those the seed
// generator writes (tools/make-fuzz-seeds.py).
TEST(FuzzRegressions, WellFormedSeedsLoadWithAllTheirNotes)
{
    struct Seed {
        const char* name;
        std::int32_t notes;
    };
    for (const Seed& seed : {Seed{"format0-running-status.mid", 9}, Seed{"format1-three-tracks.mid", 6},
                             Seed{"prefix128-format0.mid", 9}, Seed{"prefix128-format1.mid", 6}}) {
        SCOPED_TRACE(seed.name);
        const fuzz::LoadOutcome outcome = RunChecked(FuzzDir() / "corpus" / seed.name);
        EXPECT_TRUE(outcome.loaded);
        EXPECT_EQ(outcome.pairedNotes, seed.notes);
    }
}

TEST(FuzzRegressions, PrefixedSeedLoadsExactlyLikeThePlainOne)
{
    for (const auto& [plain, prefixed] : {std::pair{"format0-running-status.mid", "prefix128-format0.mid"},
                                          std::pair{"format1-three-tracks.mid", "prefix128-format1.mid"}}) {
        SCOPED_TRACE(prefixed);
        fuzz::DiscardingSink sink;
        RunContext ctx(sink);
        MidiFileLoader a(ctx);
        a.Load((FuzzDir() / "corpus" / plain).string());
        a.BuildSong();
        MidiFileLoader b(ctx);
        b.Load((FuzzDir() / "corpus" / prefixed).string());
        b.BuildSong();
        ASSERT_TRUE(a.Song() && b.Song());
        EXPECT_EQ(a.Song()->division, b.Song()->division);
        ASSERT_EQ(a.Song()->Track().Count(), b.Song()->Track().Count());
        for (std::int32_t i = 0; i < a.Song()->Track().Count(); ++i)
            EXPECT_TRUE(fuzz::detail::SameEvent(a.Song()->Track().At(i), b.Song()->Track().At(i))) << "event " << i;
    }
}

// The rules must be able to fail: a song that breaks several of them is caught.
TEST(FuzzRegressions, SongChecksCatchBrokenSongs)
{
    fuzz::DiscardingSink sink;
    RunContext ctx(sink);
    MidiF0Data song(ctx, kCapacity, track_state::kPaired, 96);
    MusicEvent note(0);
    note.kind = kind::kPairedNote;
    note.channel = 16;
    note.note = 60;
    note.duration = -1;
    note.velocity = 100;
    song.Track().AppendEvent(note);
    MusicEvent stray(-5);
    stray.kind = kind::kInvalid;
    song.Track().AppendEvent(stray);

    Violations violations;
    fuzz::CheckSong(song, track_state::kPaired, "test", violations.Handler());
    const std::vector<std::string> expected = {
        "test: the last event is not an End of Track",
        "test: not exactly one End of Track",
        "test: channel outside 0..15 and not 255",
        "test: a paired note of negative duration",
        "test: an invalid (kind 0) event survived",
        "test: negative delta time",
    };
    EXPECT_EQ(violations.seen, expected);

    violations.seen.clear();
    fuzz::CheckSong(song, track_state::kEventForm, "test", violations.Handler());
    EXPECT_NE(std::find(violations.seen.begin(), violations.seen.end(), "test: song is not in the expected form"),
              violations.seen.end());
    EXPECT_NE(std::find(violations.seen.begin(), violations.seen.end(), "test: a paired note left in event form"),
              violations.seen.end());
}

}  // namespace
}  // namespace rovanta
