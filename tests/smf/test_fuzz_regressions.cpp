// Every input a fuzz target ever tripped over (fuzz/regressions/<target>/)
// and every seed it starts from goes through that target's own path and must
// hold its rules. The folders are read when the test runs, so a new
// reproducer needs no rebuild.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/LoadPath.h"
#include "fuzz/RoundTripPath.h"
#include "fuzz/ScratchFile.h"
#include "fuzz/TrackChunkPath.h"
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

std::vector<std::uint8_t> Bytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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

// Each target's path, as its fuzz target runs it.
struct Target {
    const char* name;
    void (*run)(const fs::path& input, const fuzz::ViolationHandler& violated);
};

const Target kTargets[] = {
    {"fuzz_load",
     [](const fs::path& input, const fuzz::ViolationHandler& violated) {
         fuzz::RunLoadPath(input.string(), violated);
     }},
    {"fuzz_track_chunk",
     [](const fs::path& input, const fuzz::ViolationHandler& violated) {
         fuzz::RunTrackChunkPath(Bytes(input), violated);
     }},
    {"fuzz_roundtrip",
     [](const fs::path& input, const fuzz::ViolationHandler& violated) {
         fuzz::RunRoundTripPath(Bytes(input), violated);
     }},
};

std::vector<std::string> Violated(const Target& target, const fs::path& input)
{
    Violations violations;
    target.run(input, violations.Handler());
    return violations.seen;
}

TEST(FuzzRegressions, EverySeedHoldsEachTargetsRules)
{
    // Every target takes a plain file; some also have seeds of their own.
    const std::vector<fs::path> files = InputsIn(FuzzDir() / "corpus");
    // The seeds are committed: finding none means the folder moved, not that all is well.
    ASSERT_GE(files.size(), 8u) << FuzzDir() / "corpus";
    for (const Target& target : kTargets) {
        std::vector<fs::path> seeds = files;
        const std::vector<fs::path> own = InputsIn(FuzzDir() / "corpus" / target.name);
        seeds.insert(seeds.end(), own.begin(), own.end());
        for (const fs::path& seed : seeds)
            EXPECT_EQ(Violated(target, seed), std::vector<std::string>{})
                << target.name << " " << seed.filename();
    }
}

TEST(FuzzRegressions, EveryReproducerHoldsItsTargetsRules)
{
    for (const Target& target : kTargets)
        for (const fs::path& input : InputsIn(FuzzDir() / "regressions" / target.name))
            EXPECT_EQ(Violated(target, input), std::vector<std::string>{})
                << target.name << " " << input.filename();
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
        Violations violations;
        const fuzz::LoadOutcome outcome =
            fuzz::RunLoadPath((FuzzDir() / "corpus" / seed.name).string(), violations.Handler());
        EXPECT_EQ(violations.seen, std::vector<std::string>{});
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

// The round trip's comparison of two saved images: the order within a tick,
// the place of a track name and, where notes of one key overlap, the ticks of
// note offs are free; every other change is caught.
TEST(FuzzRegressions, SavedImagesCompareByEventsAtTheirTicks)
{
    // A format-0 image of these events and an End of Track.
    auto image = [](std::vector<std::uint8_t> events) {
        for (const std::uint8_t b : {0x00, 0xFF, 0x2F, 0x00}) events.push_back(b);
        std::vector<std::uint8_t> bytes = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0,
                                           static_cast<std::uint8_t>(events.size())};
        for (const std::uint8_t b : events) bytes.push_back(b);
        return bytes;
    };
    const std::vector<std::uint8_t> song = image({0x00, 0xFF, 0x03, 0x01, 'a', 0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C,
                                                  0x40, 0x10, 0x80, 0x3C, 0x40});
    const std::vector<std::uint8_t> overlapping = image({0x00, 0x90, 0x3C, 0x40, 0x04, 0x90, 0x3C, 0x40, 0x04, 0x80,
                                                         0x3C, 0x40, 0x08, 0x80, 0x3C, 0x40});
    struct Case {
        const char* what;
        std::vector<std::uint8_t> a, b;
        bool same;
    };
    const Case cases[] = {
        {"tick reordered", song,
         image({0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x03, 0x01, 'a', 0x10, 0x80, 0x3C, 0x40}), true},
        {"name moved", song,
         image({0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x40, 0x10, 0x80, 0x3C, 0x40, 0x00, 0xFF, 0x03, 0x01, 'a'}), true},
        {"note shortened", song,
         image({0x00, 0xFF, 0x03, 0x01, 'a', 0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x40, 0x0F, 0x80, 0x3C, 0x40}), false},
        {"program changed", song,
         image({0x00, 0xFF, 0x03, 0x01, 'a', 0x00, 0xC0, 0x06, 0x00, 0x90, 0x3C, 0x40, 0x10, 0x80, 0x3C, 0x40}), false},
        {"overlap re-ended", overlapping,
         image({0x00, 0x90, 0x3C, 0x40, 0x04, 0x80, 0x3C, 0x40, 0x00, 0x90, 0x3C, 0x40, 0x0C, 0x80, 0x3C, 0x40}), true},
        {"overlap restruck later", overlapping,
         image({0x00, 0x90, 0x3C, 0x40, 0x05, 0x80, 0x3C, 0x40, 0x00, 0x90, 0x3C, 0x40, 0x0B, 0x80, 0x3C, 0x40}), false},
    };
    for (const Case& c : cases) {
        Violations violations;
        EXPECT_EQ(fuzz::detail::SameEventsAtSameTicks(c.a, c.b, "test", violations.Handler()), c.same) << c.what;
        EXPECT_EQ(violations.seen, std::vector<std::string>{}) << c.what;
    }
}

}  // namespace
}  // namespace rovanta
