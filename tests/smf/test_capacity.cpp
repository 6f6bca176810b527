// At the 131,072-event limit nothing is lost that need not be, and what
// cannot be kept is reported.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "mirror/Mirror.h"
#include "smf/MidiF1Data.h"
#include "song/TrackMerge.h"

namespace rovanta {
namespace {

using Strings = std::vector<std::string>;

TEST(Capacity, HorizontalReverseOfAFullTableKeepsEveryEvent)
{
    test::Recorded r;
    MidiF0Data song(r.ctx, kCapacity, track_state::kEventForm, 480);
    MidiTrackData& track = song.Track();
    track.AppendEvent(test::Meta(0, meta::kTempo, 500000));
    for (std::int32_t c = 0; c < 4; ++c) track.AppendEvent(test::Program(0, c, 10 + c));
    track.AppendEvent(test::Meta(0, meta::kTempo, 400000));
    while (track.Count() + 2 < track.MaxEvents() - 1) {
        track.AppendEvent(test::On(0, track.Count() % 4, 60));
        track.AppendEvent(test::Off(10, track.Count() % 4, 60));
    }
    while (track.Count() < track.MaxEvents() - 1) track.AppendEvent(test::Cc(1, 0, 7, 100));
    track.AppendEvent(test::Eot(0));
    ASSERT_EQ(track.Count(), track.MaxEvents());
    ReverseHorizontal(song);
    EXPECT_EQ(r.Take(), Strings{});
    ASSERT_EQ(track.Count(), track.MaxEvents());
    EXPECT_TRUE(track.At(track.Count() - 1).IsEndOfTrack());
    EXPECT_TRUE(track.At(0).IsMeta(meta::kTempo));
    EXPECT_EQ(track.At(0).value, 400000);
}

TEST(Capacity, AMergeIntoAnExactlyFullTableGivesItsLastPlaceToTheEndOfTrack)
{
    test::Recorded r;
    MidiTrackData target(r.ctx, track_state::kPaired, 30);  // room for 10 events
    MidiTrackData source(r.ctx, track_state::kPaired);
    for (int i = 0; i < 5; ++i) {
        target.AppendEvent(test::Cc(2, 0, 7, i));
        source.AppendEvent(test::Cc(2, 1, 10, i));
    }
    MergeTrack(target, source);
    ASSERT_EQ(target.Count(), 10);
    EXPECT_TRUE(target.At(9).IsEndOfTrack());
    std::int64_t tick = 0;
    for (const MusicEvent& e : target.Events()) tick += e.delta;
    EXPECT_EQ(tick, 10);  // at the tick of the event it replaced
    EXPECT_EQ(r.Take(), Strings{"MDTK0D000006 Large data"});
}

}  // namespace
}  // namespace rovanta
