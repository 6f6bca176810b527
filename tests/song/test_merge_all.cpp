#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "smf/MidiF1Data.h"
#include "song/TrackMerge.h"

namespace rovanta {
namespace {

using test::Recorded;

// End of Track events differ in their bytes (split tracks carry FF 2F 00), so
// which one ends the song is visible.
MusicEvent End(std::int32_t delta, bool withBytes)
{
    MusicEvent e = test::Eot(delta);
    const std::uint8_t bytes[] = {0xFF, 0x2F, 0x00};
    if (withBytes) e.SetBytes(bytes, 3);
    return e;
}

MusicEvent Name(std::int32_t delta, const std::string& text)
{
    MusicEvent e = test::Meta(delta, meta::kTrackName);
    if (text.empty()) {
        const std::uint8_t zero = 0;
        e.SetBytes(&zero, 1);  // as the reader stores an empty text
    } else {
        e.SetBytes(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::int32_t>(text.size()));
    }
    return e;
}

// Tracks as a load hands them to the merge: paired, mostly with a name and an
// End of Track, sometimes refused (empty, not paired), with names in odd
// places, several End of Track events, and the odd long event.
std::vector<MidiTrackData> RandomTracks(RunContext& ctx, std::mt19937& rng)
{
    auto pick = [&](int n) { return static_cast<std::int32_t>(rng() % static_cast<unsigned>(n)); };
    std::vector<MidiTrackData> tracks;
    const int count = 1 + pick(6);
    for (int t = 0; t < count; ++t) {
        if (pick(8) == 0) {
            tracks.emplace_back(ctx, track_state::kEncoded);  // a refused chunk
            continue;
        }
        MidiTrackData& track = tracks.emplace_back(ctx, track_state::kPaired);
        const int events = pick(25);
        for (int i = 0; i < events; ++i) {
            const std::int32_t delta = pick(2) == 0 ? 0 : pick(40);
            switch (pick(10)) {
            case 0: {
                // Now and then a name long enough to be reported when released.
                const std::int32_t length = pick(6) == 0 ? 300 : pick(3) * pick(70);
                track.AppendEvent(Name(delta, std::string(static_cast<std::size_t>(length), 'a' + t)));
                break;
            }
            case 1: track.AppendEvent(End(delta, pick(2) == 0)); break;
            case 2: {
                std::vector<std::uint8_t> body(pick(2) == 0 ? 300 : 6, 0x11);
                body.front() = 0xF0;
                body.back() = 0xF7;
                track.AppendEvent(test::SysEx(delta, body));
                break;
            }
            case 3: case 4: track.AppendEvent(test::Cc(delta, pick(4), pick(128), pick(128))); break;
            default: track.AppendEvent(test::Paired(delta, pick(4), 60 + pick(5), 1 + pick(100))); break;
            }
        }
        if (pick(4) != 0) track.AppendEvent(End(pick(2) == 0 ? 0 : pick(30), pick(2) == 0));
    }
    return tracks;
}

using Fields = std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                          std::int32_t, std::int32_t, std::vector<std::uint8_t>, std::int32_t>;

std::vector<Fields> Describe(const MidiTrackData& track)
{
    std::vector<Fields> out;
    for (const MusicEvent& e : track.Events())
        out.emplace_back(e.kind, e.delta, e.note, e.duration, e.velocity, e.type, e.value, e.length,
                         std::vector<std::uint8_t>(e.Bytes().begin(), e.Bytes().end()), e.channel);
    return out;
}

TEST(MergeAllTracks, GivesWhatMergingTrackByTrackGives)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        const std::uint32_t seed = rng();
        Recorded one, each;
        std::mt19937 a(seed), b(seed);
        std::vector<MidiTrackData> tracksA = RandomTracks(one.ctx, a);
        const std::vector<MidiTrackData> tracksB = RandomTracks(each.ctx, b);
        MidiTrackData sweep(one.ctx, track_state::kPaired);
        MidiTrackData pairwise(each.ctx, track_state::kPaired);
        MergeAllTracks(tracksA, sweep);
        for (std::size_t t = tracksB.size(); t-- > 0;) MergeTrack(pairwise, tracksB[t]);
        ASSERT_EQ(test::Picture(sweep), test::Picture(pairwise)) << "seed " << seed;
        ASSERT_EQ(Describe(sweep), Describe(pairwise)) << "seed " << seed;
        ASSERT_EQ(one.Take(), each.Take()) << "seed " << seed;
    }
}

}  // namespace
}  // namespace rovanta
