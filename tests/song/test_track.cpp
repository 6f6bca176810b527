#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "song/MidiTrackData.h"

namespace rovanta {
namespace {

using namespace test;
using Strings = std::vector<std::string>;

constexpr auto kEvent = track_state::kEventForm;

// --- table editing -----------------------------------------------------------

TEST(TrackEditing, AFullTableReportsAndRefusesTheEvent)
{
    Recorded r;
    MidiTrackData track(r.ctx, kEvent, 9);  // room for 3 events
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(track.AppendEvent(Cc(i, 0, 7, i)));
    EXPECT_FALSE(track.AppendEvent(Eot(0)));
    EXPECT_FALSE(track.InsertEvent(0, Eot(0)));
    EXPECT_EQ(track.Count(), 3);
    EXPECT_EQ(r.Take(), (Strings{"MDTK0D000006 Large data", "MDTK0D000006 Large data"}));
    EXPECT_EQ(MidiTrackData(r.ctx, kEvent).MaxEvents(), 131072);
}

TEST(TrackEditing, DestroyingReportsEveryLongEventExceptClass127)
{
    Recorded r;
    {
        MidiTrackData track(r.ctx, kEvent);
        std::vector<std::uint8_t> big(300, 0x11);
        MusicEvent text = Meta(0, meta::kText);
        text.SetBytes(big.data(), 300);
        MusicEvent exempt = text;
        exempt.type = sysex::kExempt;
        track.AppendEvent(text);
        track.AppendEvent(exempt);
        track.AppendEvent(text);
        MidiTrackData moved = std::move(track);  // a move transfers, it does not release
    }
    EXPECT_EQ(r.Take(), (Strings{"MDTK0D00001A Can not add data!", "MDTK0D00001A Can not add data!"}));
}

// Each note needs a place for its note off; when the table cannot hold them
// all, the last notes go whole, each freeing two places.
TEST(UnpairNotes, NotesWhoseEndsDoNotFitAreDroppedWholeWithOneReport)
{
    const struct {
        std::vector<MusicEvent> events;
        std::vector<std::string> unpaired;
    } cases[] = {
        // 3 notes and the End of Track need 7 places of 5: one note goes.
        {{Paired(0, 0, 60, 10), Paired(20, 0, 61, 10), Paired(20, 0, 62, 10), Eot(20)},
         {"on60@0", "off60@10", "on61@20", "off61@30", "eot@60"}},
        // With a control change they need 8: two notes go.
        {{Paired(0, 0, 60, 10), Paired(20, 0, 61, 10), Paired(20, 0, 62, 10), Cc(5, 0, 7, 1), Eot(15)},
         {"on60@0", "off60@10", "cc7@45", "eot@60"}},
    };
    for (const auto& c : cases) {
        Recorded r;
        MidiTrackData track(r.ctx, track_state::kPaired, 15);  // room for 5 events
        for (const MusicEvent& e : c.events) track.AppendEvent(e);
        track.UnpairNotes();
        EXPECT_EQ(Picture(track), c.unpaired);
        EXPECT_EQ(r.Take(), Strings{"MDTK0D000006 Large data"});
    }
}

}  // namespace
}  // namespace rovanta
