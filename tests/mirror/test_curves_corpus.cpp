// Controller curves on real music: under Horizontal Reverse with curves, every
// note starts with the volume, expression, pan and sustain pedal that held
// where the original note ended (just before its end), and so, for a note
// whose controllers did not change while it sounded, with the values it had.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <array>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "common/TestSinks.h"
#include "pipelines/MirrorPipeline.h"
#include "smf/MidiFileLoader.h"

namespace rovanta {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::int32_t, 4> kWatched{7, 11, 10, 64};  // volume, expression, pan, sustain
// What a player assumes before anything was set; volume and pan have no such value.
constexpr std::array<std::optional<std::int32_t>, 4> kAtRest{std::nullopt, 127, std::nullopt, 0};

using State = std::array<std::optional<std::int32_t>, 4>;

// Each channel's changes of the watched controllers, in the song's order.
struct Changes {
    std::array<std::array<std::vector<std::pair<std::int64_t, std::int32_t>>, 4>, 16> of;

    void Note(const MusicEvent& e, std::int64_t tick)
    {
        if (e.kind != kind::kControlChange || e.channel > 15) return;
        for (std::size_t w = 0; w < kWatched.size(); ++w)
            if (e.type == kWatched[w]) of[static_cast<std::size_t>(e.channel)][w].emplace_back(tick, e.value);
    }
    // The values set before `tick`.
    State Before(std::int32_t channel, std::int64_t tick) const
    {
        State state = kAtRest;
        for (std::size_t w = 0; w < kWatched.size(); ++w)
            for (const auto& [at, value] : of[static_cast<std::size_t>(channel)][w])
                if (at < tick) state[w] = value;
        return state;
    }
    bool ChangeWithin(std::int32_t channel, std::int64_t from, std::int64_t to) const
    {
        for (const auto& list : of[static_cast<std::size_t>(channel)])
            for (const auto& change : list)
                if (change.first >= from && change.first < to) return true;
        return false;
    }
};

// Ticks the sustain pedal is down (64 or more) on channels that use it, up
// to `end`; and those ticks times the channels.
std::pair<std::int64_t, std::int64_t> PedalDown(const MidiTrackData& track, std::int64_t end)
{
    std::array<std::vector<std::pair<std::int64_t, bool>>, 16> presses;
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        if (e.kind == kind::kControlChange && e.type == 64 && e.channel <= 15)
            presses[static_cast<std::size_t>(e.channel)].emplace_back(tick, e.value >= 64);
    }
    std::int64_t down = 0, total = 0;
    for (const auto& channel : presses) {
        if (channel.empty()) continue;
        total += end;
        for (std::size_t i = 0; i < channel.size(); ++i)
            if (channel[i].second) down += std::min(i + 1 < channel.size() ? channel[i + 1].first : end, end) - std::min(channel[i].first, end);
    }
    return {down, total};
}

struct Figures {
    int songs = 0;
    std::array<std::int64_t, 3> pedalDown{}, pedalTotal{};  // original, as instants, as curves
    int pedalSongs = 0;
    std::array<double, 3> pedalOff{};  // summed distance of each song's pedal-down share from the original's
    long notes = 0, matching = 0;
    long steady = 0, steadyMatching = 0;  // notes whose controllers did not change while they sounded
};

void Check(const fs::path& file, Figures& figures)
{
    test::Recorded r;
    MidiFileLoader loader(r.ctx);
    loader.Load(file.string());
    if (loader.FileLength() == 0) return;
    loader.BuildSong();
    const MidiF0Data* song = loader.Song();
    if (!song) return;
    ++figures.songs;

    // The original: each note's start, end and the state at its start, in place.
    Changes original;
    struct Heard {
        std::int32_t channel, key;
        std::int64_t start, end;
        State atStart;
    };
    std::vector<Heard> notes;
    std::array<State, 16> current;
    current.fill(kAtRest);
    std::int64_t tick = 0;
    for (const MusicEvent& e : song->Track().Events()) {
        tick += e.delta;
        original.Note(e, tick);
        if (e.kind == kind::kControlChange && e.channel <= 15)
            for (std::size_t w = 0; w < kWatched.size(); ++w)
                if (e.type == kWatched[w]) current[static_cast<std::size_t>(e.channel)][w] = e.value;
        if (e.kind == kind::kPairedNote && e.channel <= 15 && e.velocity > 0)
            notes.push_back({e.channel, e.note, tick, tick + e.duration, current[static_cast<std::size_t>(e.channel)]});
    }
    // The reversal mirrors about the last event before the End of Track.
    MidiF0Data unpaired = MidiF0Data::Copy(*song);
    unpaired.UnpairTrack();
    std::int64_t mirror = 0;
    tick = 0;
    for (const MusicEvent& e : unpaired.Track().Events()) {
        tick += e.delta;
        if (!e.IsEndOfTrack()) mirror = tick;
    }

    MirrorSettings settings{true, false, 1, {}};
    const MidiF0Data instants = MirroredCopy(*song, settings);
    settings.options.controls = ControlMirroring::kCurves;
    const MidiF0Data reversed = MirroredCopy(*song, settings);
    std::array<double, 3> shares{};
    for (const auto& [k, track] : {std::pair{0, &song->Track()}, {1, &instants.Track()}, {2, &reversed.Track()}}) {
        const auto [down, total] = PedalDown(*track, mirror);
        figures.pedalDown[static_cast<std::size_t>(k)] += down;
        figures.pedalTotal[static_cast<std::size_t>(k)] += total;
        shares[static_cast<std::size_t>(k)] = total > 0 ? 100.0 * down / total : 0.0;
    }
    if (PedalDown(song->Track(), mirror).second > 0) {
        ++figures.pedalSongs;
        for (std::size_t k = 1; k < 3; ++k) figures.pedalOff[k] += std::abs(shares[k] - shares[0]);
    }
    // Every note on of the result with the state it starts with.
    std::multimap<std::tuple<std::int32_t, std::int32_t, std::int64_t>, State> starts;
    current.fill(kAtRest);
    tick = 0;
    for (const MusicEvent& e : reversed.Track().Events()) {
        tick += e.delta;
        if (e.channel > 15) continue;
        if (e.kind == kind::kControlChange)
            for (std::size_t w = 0; w < kWatched.size(); ++w)
                if (e.type == kWatched[w]) current[static_cast<std::size_t>(e.channel)][w] = e.value;
        if (e.IsNoteStart()) starts.emplace(std::make_tuple(e.channel, e.note, tick), current[static_cast<std::size_t>(e.channel)]);
    }

    for (const Heard& n : notes) {
        const auto found = starts.find({n.channel, n.key, mirror - n.end});
        if (found == starts.end()) continue;  // cut by a full table
        const State state = found->second;
        starts.erase(found);
        ++figures.notes;
        // Where nothing was set before the end, the result cannot unset it.
        State want = original.Before(n.channel, n.end), wantAtStart = n.atStart;
        for (std::size_t w = 0; w < kWatched.size(); ++w) {
            if (!want[w]) want[w] = state[w];
            if (!wantAtStart[w]) wantAtStart[w] = state[w];
        }
        figures.matching += state == want;
        if (!original.ChangeWithin(n.channel, n.start, n.end)) {
            ++figures.steady;
            figures.steadyMatching += state == wantAtStart;
        }
    }
}

TEST(CorpusCurves, EveryNoteStartsWithTheControllersThatHeldWhereItEnded)
{
    Figures figures;
    auto checkAll = [&](const fs::path& dir) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            const auto ext = entry.path().extension();
            if (ext == ".mid" || ext == ".midi" || ext == ".kar") Check(entry.path(), figures);
        }
    };
    checkAll(ROVANTA_TEST_DATA);
    const fs::path shared = fs::path(ROVANTA_SHARED_DIR) / "corpus";
    if (fs::is_directory(shared))
        checkAll(shared);
    else
        std::cout << "[ note ] no shared corpus at " << shared << ": checked the bundled files only\n";
    std::cout << "[ curves ] " << figures.songs << " songs, " << figures.matching << " of " << figures.notes
              << " notes start with the state that held where they ended; " << figures.steadyMatching << " of "
              << figures.steady << " notes whose controllers held still start as they started\n";
    auto share = [&](std::size_t k) { return 100.0 * figures.pedalDown[k] / std::max<std::int64_t>(figures.pedalTotal[k], 1); };
    std::cout << "[ curves ] sustain pedal down " << share(0) << " % of the time in the originals, " << share(1)
              << " % reversed as instants, " << share(2) << " % as curves; over the " << figures.pedalSongs
              << " songs that use it, each song's share moves by " << figures.pedalOff[1] / std::max(figures.pedalSongs, 1)
              << " points on average as instants, " << figures.pedalOff[2] / std::max(figures.pedalSongs, 1)
              << " as curves\n";
    EXPECT_GT(figures.notes, 1000);
    EXPECT_EQ(figures.matching, figures.notes);
    EXPECT_EQ(figures.steadyMatching, figures.steady);
}

}  // namespace
}  // namespace rovanta
