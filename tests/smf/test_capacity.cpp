// At the 131,072-event limit and at the writer's 393,216-byte block nothing is
// lost that need not be, and what cannot be kept is reported.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/Events.h"
#include "common/SmfNotes.h"
#include "common/TestSinks.h"
#include "mirror/Mirror.h"
#include "smf/SmfWriter.h"
#include "smf/MidiF1Data.h"
#include "song/TrackMerge.h"

namespace rovanta {
namespace {

using Strings = std::vector<std::string>;

TEST(Capacity, HorizontalReverseOfAFullTableKeepsEveryEvent)
{
    test::Recorded r;
    MidiF0Data song = test::Song(r.ctx, {});
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

// A merge that fills the table gives its last place to the End of Track, at
// the tick of the event it replaced, and keeps no second one.
TEST(Capacity, AMergeIntoAFullTableGivesItsLastPlaceToOneEndOfTrack)
{
    const struct {
        const char* name;
        int events, delta;
        bool ended;
        const char* last;
    } cases[] = {{"exactly full, neither track ended", 5, 2, false, "eot@10"},
                 {"more than full, both tracks ended", 6, 1, true, "eot@5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::Recorded r;
        MidiTrackData target(r.ctx, track_state::kPaired, 30);  // room for 10 events
        MidiTrackData source(r.ctx, track_state::kPaired);
        for (int i = 0; i < c.events; ++i) {
            target.AppendEvent(test::Cc(c.delta, 0, 7, i));
            source.AppendEvent(test::Cc(c.delta, 1, 10, i));
        }
        if (c.ended) target.AppendEvent(test::Eot(1)), source.AppendEvent(test::Eot(1));
        MergeTrack(target, source);
        const Strings merged = test::Picture(target);
        ASSERT_EQ(merged.size(), 10u);
        EXPECT_EQ(merged.back(), c.last);
        EXPECT_EQ(std::count_if(merged.begin(), merged.end(), [](const std::string& e) { return e.starts_with("eot"); }), 1);
        EXPECT_EQ(r.Take(), Strings{"MDTK0D000006 Large data"});
    }
}

// The chunk's ordinary events stop 256 bytes before the block's end (the room
// the closing note offs and End of Track use); a long event may fill the block
// up to the End of Track's four bytes. Each case sits exactly on its edge.
TEST(Capacity, TheWriterFillsItsBlockToItsEdges)
{
    const std::string cut = "MDTK0D00001A Can not add data!";
    std::vector<std::uint8_t> sysex{0xF0, 0x97, 0xFF, 0x61};  // 393,185 bytes follow: the event is 393,189 long
    sysex.resize(393189, 0x01);
    sysex.back() = 0xF7;
    struct Case {
        const char* name;
        std::vector<MusicEvent> events;
        int fillers;  // control changes of 4 bytes each before the End of Track
        std::size_t imageSize;
        int notesHeard;
        Strings reports;
    };
    std::vector<MusicEvent> strikes;
    for (int k = 0; k < 70; ++k) strikes.push_back(test::On(0, k % 16, 40 + k / 16));
    strikes.push_back(test::Program(0, 0, 1));
    strikes.push_back(test::Program(0, 1, 2));
    const Case cases[] = {
        {"an End of Track starting right at the margin is written", {test::Program(0, 0, 1)}, 98237,
         14 + 8 + 3 + 4 * 98237 + 4, 0, {}},
        {"a long event filling the block but for the End of Track is written whole", {test::SysEx(0, sysex)}, 0,
         393216, 0, {cut, cut}},  // the End of Track then finds the margin passed; the long event's release
        {"the closing note offs fill the room to the End of Track's four bytes", strikes, 98168,
         14 + 392962 + 59 * 4 + 4, 59, {cut}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::Recorded r;
        MidiF0Data song = test::Song(r.ctx, c.events);
        for (int i = 0; i < c.fillers; ++i) song.Track().AppendEvent(test::Cc(1, 2, 7, 100));
        song.Track().AppendEvent(test::Eot(0));
        Encode(song);
        ASSERT_EQ(song.State(), track_state::kEncoded);
        const std::vector<std::uint8_t> image(song.Block().data(), song.Block().data() + song.dataLength);
        EXPECT_EQ(image.size(), c.imageSize);
        EXPECT_EQ(std::vector<std::uint8_t>(image.end() - 4, image.end()), (std::vector<std::uint8_t>{0x00, 0xFF, 0x2F, 0x00}));
        const auto tracks = test::ReadNoteTracks(image);
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_EQ(static_cast<int>(test::NotesHeard(tracks[0]).size()), c.notesHeard);
        EXPECT_EQ(r.Take(), c.reports);
    }
}

}  // namespace
}  // namespace rovanta
