#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "mirror/Mirror.h"
#include "smf/MidiFileLoader.h"

namespace rovanta {
namespace {

using namespace test;
using Strings = std::vector<std::string>;

// The picture, with the tempo of tempo events and the velocity of note ons.
Strings Heard(const MidiTrackData& track)
{
    Strings out = Picture(track);
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        const MusicEvent& e = track.At(i);
        std::string& line = out[static_cast<std::size_t>(i)];
        // Appended piece by piece: g++ 12 warns falsely about "literal" + string at -O3.
        if (e.IsMeta(meta::kTempo)) line.append(" ").append(std::to_string(e.value));
        if (e.kind == kind::kNoteOn) line.append(" v").append(std::to_string(e.velocity));
    }
    return out;
}

TEST(ReverseHorizontal, WorkedExamples)
{
    const MusicEvent slow = test::Meta(0, meta::kTempo, 500000), fast = test::Meta(960, meta::kTempo, 250000);
    const struct {
        const char* name;
        std::vector<MusicEvent> events;
        Strings reversed;
    } cases[] = {
        {"a note keeps its length", {On(0, 0, 60), Off(480, 0, 60), Eot(0)}, {"on60@0 v100", "off60@480", "eot@480"}},
        {"leading silence is dropped", {On(100, 0, 60), Off(480, 0, 60), Eot(0)},
         {"on60@0 v100", "off60@480", "eot@480"}},
        {"trailing silence stays", {On(0, 0, 60), Off(480, 0, 60), Eot(96)}, {"on60@0 v100", "off60@480", "eot@576"}},
        {"each passage keeps its tempo",
         {slow, On(0, 0, 60), Off(960, 0, 60), fast, On(0, 0, 62), Off(960, 0, 62), Eot(0)},
         {"meta81@0 250000", "on62@0 v100", "off62@960", "meta81@960 500000", "on60@1920 v100", "off60@2880",
          "eot@2880"}},
        {"each passage keeps its program; the highest channel's first program comes first",
         {Program(0, 0, 1), Program(0, 3, 7), On(0, 0, 60), Off(480, 0, 60), Program(480, 0, 40), On(0, 0, 62),
          Off(480, 0, 62), Eot(0)},
         {"pc7@0", "pc40@0", "on62@0 v100", "off62@480", "pc1@480", "on60@960 v100", "off60@1440", "eot@1440"}},
        {"a repeated note comes out note off first",
         {On(0, 0, 60), Off(480, 0, 60), On(0, 0, 60), Off(480, 0, 60), Eot(0)},
         {"on60@0 v100", "off60@480", "on60@480 v100", "off60@960", "eot@960"}},
        {"overlapping notes of one pitch stay whole: each end trades with the start it ends",
         {On(0, 0, 60, 90), On(100, 0, 60, 50), Off(100, 0, 60), Off(300, 0, 60), Eot(0)},
         {"on60@0 v50", "on60@300 v90", "off60@400", "off60@500", "eot@500"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        MidiF0Data song = test::Song(r.ctx, c.events);
        ReverseHorizontal(song);
        EXPECT_EQ(Heard(song.Track()), c.reversed);
        EXPECT_TRUE(r.Take().empty());
    }
}

TEST(ReverseHorizontal, RefusesWithoutEndOfTrackOrInTheWrongForm)
{
    Recorded r;
    auto noEnd = test::Song(r.ctx, {On(0, 0, 60), Off(480, 0, 60)});
    auto empty = test::Song(r.ctx, {});
    auto paired = test::Song(r.ctx, {Eot(0)}, 480, track_state::kPaired);
    for (MidiF0Data* song : {&noEnd, &empty, &paired}) ReverseHorizontal(*song);
    EXPECT_EQ(r.Take(), (Strings{"M0DT0400000B The end of track is invalid!", "M0DT0400000B The end of track is invalid!",
                                 "M0DT04000005 Internal error occured in MidiF0Data!"}));
    EXPECT_EQ(Picture(noEnd.Track()), (Strings{"on60@0", "off60@480"}));
}

// --- against the plain version ------------------------------------------------

// The plain version, one event at a time, with each note end trading places
// with the earliest note start of its key that no earlier end has taken.
void LiteralReverseHorizontal(MidiF0Data& song)
{
    if (song.State() != track_state::kEventForm) {
        song.ReportError(m0dt::kInternalError);
        return;
    }
    MidiTrackData& t = song.Track();
    const std::int32_t n = t.Count();
    if (n == 0 || !t.At(n - 1).IsEndOfTrack()) {
        song.ReportError(m0dt::kEndOfTrackInvalid);
        return;
    }
    std::vector<bool> taken(static_cast<std::size_t>(n), false);
    for (std::int32_t i = 0; i <= n - 2; ++i) {
        const MusicEvent& e = t.At(i);
        if (!(e.kind == kind::kNoteOff || (e.kind == kind::kNoteOn && e.velocity == 0))) continue;
        for (std::int32_t j = 0; j < i; ++j) {
            const MusicEvent& s = t.At(j);
            if (taken[static_cast<std::size_t>(j)] || s.kind != kind::kNoteOn || s.velocity == 0 ||
                s.channel != e.channel || s.note != e.note)
                continue;
            t.SwapKeepTimes(i, j);
            taken[static_cast<std::size_t>(i)] = true;  // the start now stands at i
            break;
        }
    }
    for (std::int32_t a = 0, b = n - 2; a < b; ++a, --b) t.SwapEvents(a, b);
    for (std::int32_t k = n - 2; k >= 1; --k) t.At(k).delta = t.At(k - 1).delta;
    if (n >= 2) t.At(0).delta = 0;
    for (std::int32_t c = 0; c < 16; ++c) {
        t.InsertEvent(0, MusicEvent(0), RoomCheck::kUnchecked);
        std::int32_t last = 0;
        for (std::int32_t i = 0; i < t.Count() - 1; ++i) {
            if (t.At(i).channel == c && t.At(i).kind == kind::kProgramChange) {
                t.SwapKeepTimes(i, last);
                last = i;
            }
        }
    }
    t.RemoveInvalidEvents();
    MusicEvent tempo(0);
    tempo.kind = kind::kMeta;
    tempo.type = meta::kTempo;
    t.InsertEvent(0, tempo, RoomCheck::kUnchecked);
    std::int32_t last = 0;
    for (std::int32_t i = 1; i < t.Count(); ++i) {
        if (t.At(i).IsMeta(meta::kTempo)) {
            t.At(last).value = t.At(i).value;
            last = i;
        }
    }
    t.At(last).kind = kind::kInvalid;
    t.RemoveInvalidEvents();
}

MidiF0Data RandomSong(RunContext& ctx, std::mt19937& rng)
{
    MidiF0Data song(ctx, kCapacity, track_state::kEventForm, 96);
    auto pick = [&](int n) { return static_cast<std::int32_t>(rng() % static_cast<unsigned>(n)); };
    const int count = pick(120);
    for (int i = 0; i < count; ++i) {
        const std::int32_t delta = pick(3) == 0 ? pick(200) : 0;
        const std::int32_t channel = pick(3);
        switch (pick(7)) {
        case 0: song.Track().AppendEvent(Program(delta, channel, pick(128))); break;
        case 1: song.Track().AppendEvent(test::Meta(delta, meta::kTempo, 100000 + pick(900000))); break;
        case 2: song.Track().AppendEvent(test::Cc(delta, channel, pick(128), pick(128))); break;
        case 3: song.Track().AppendEvent(On(delta, channel, 60 + pick(3), pick(3) == 0 ? 0 : 1 + pick(127))); break;
        default: song.Track().AppendEvent(Off(delta, channel, 60 + pick(3))); break;
        }
    }
    song.Track().AppendEvent(Eot(pick(50)));
    return song;
}

TEST(ReverseHorizontal, MatchesThePlainVersionOnRandomSongs)
{
    std::mt19937 rng(20261206);
    for (int round = 0; round < 2000; ++round) {
        Recorded fast, plain;
        const std::uint32_t seed = rng();
        std::mt19937 a(seed), b(seed);
        MidiF0Data x = RandomSong(fast.ctx, a);
        MidiF0Data y = RandomSong(plain.ctx, b);
        ReverseHorizontal(x);
        LiteralReverseHorizontal(y);
        ASSERT_EQ(Picture(x.Track()), Picture(y.Track())) << "seed " << seed;
        for (std::int32_t i = 0; i < x.Track().Count(); ++i) {
            const MusicEvent& p = x.Track().At(i);
            const MusicEvent& q = y.Track().At(i);
            ASSERT_EQ(std::tie(p.kind, p.delta, p.note, p.velocity, p.type, p.value, p.channel),
                      std::tie(q.kind, q.delta, q.note, q.velocity, q.type, q.value, q.channel))
                << "seed " << seed << " event " << i;
        }
        ASSERT_EQ(fast.Take(), plain.Take()) << "seed " << seed;
    }
}

}  // namespace
}  // namespace rovanta
