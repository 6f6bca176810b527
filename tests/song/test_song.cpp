#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "song/MidiF0Data.h"

namespace rovanta {
namespace {

using namespace test;
using Strings = std::vector<std::string>;

const std::string kWrongState = "M0DT04000005 Internal error occured in MidiF0Data!";

MidiF0Data LoadedSong(RunContext& ctx)
{
    return test::Song(ctx, {Paired(0, 0, 60, 480), Paired(240, 1, 64, 480), Eot(480)}, 480, track_state::kPaired);
}

TEST(Song, FormChangesNeedTheRightStateAndLeaveTheSongAloneOtherwise)
{
    Recorded r;
    MidiF0Data song = LoadedSong(r.ctx);
    song.PairTrack();
    EXPECT_EQ(song.State(), track_state::kPaired);
    song.UnpairTrack();
    EXPECT_EQ(song.State(), track_state::kEventForm);
    EXPECT_EQ(song.Track().State(), track_state::kEventForm);
    const Strings eventForm = Picture(song.Track());
    song.UnpairTrack();
    EXPECT_EQ(Picture(song.Track()), eventForm);
    song.PairTrack();
    EXPECT_EQ(song.Track().State(), track_state::kPaired);
    EXPECT_EQ(r.Take(), Strings(2, kWrongState));
}

TEST(Song, DestroyingASongReleasesItsPlayCopyAndItsTrack)
{
    Recorded r;
    {
        MidiF0Data song = LoadedSong(r.ctx);
        auto copy = std::make_unique<MidiF0Data>(MidiF0Data::Copy(song));
        std::vector<std::uint8_t> big(256, 0x20);
        MusicEvent text = test::Meta(0, meta::kText);
        text.SetBytes(big.data(), 256);
        copy->Track().InsertEvent(0, text);
        song.SetPlayCopy(std::move(copy));
        EXPECT_TRUE(r.Take().empty());
    }
    // The long event lived only in the play copy: its release proves the copy went too.
    EXPECT_EQ(r.Take(), Strings{"MDTK0D00001A Can not add data!"});
}

}  // namespace
}  // namespace rovanta
