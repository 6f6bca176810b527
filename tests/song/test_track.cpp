#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "song/MidiTrackData.h"

namespace rovanta {
namespace {

using test::Cc;
using test::Deltas;
using test::Eot;
using test::Invalid;
using test::Meta;
using test::Off;
using test::On;
using test::Paired;
using test::Picture;
using test::Program;
using test::Recorded;
using test::Track;
using Strings = std::vector<std::string>;

constexpr auto kEvent = track_state::kEventForm;
constexpr auto kPaired = track_state::kPaired;
const std::string kInternal = "MDTK0D000001 MidiTrackData Internal Error";

// --- table editing -----------------------------------------------------------

TEST(TrackEditing, RemovingAnEventMovesItsDeltaToTheNextButALastOneIsLost)
{
    Recorded r;
    auto track = Track(r.ctx, kEvent, {Cc(10, 0, 7, 1), Cc(20, 0, 7, 2), Eot(30)});
    track.RemoveEventAt(1);
    EXPECT_EQ(Deltas(track), (std::vector<std::int32_t>{10, 50}));
    track.RemoveEventAt(1);
    EXPECT_EQ(Deltas(track), (std::vector<std::int32_t>{10}));
}

TEST(TrackEditing, SwapKeepTimesTradesTicksSwapEventsTradesDeltas)
{
    Recorded r;
    auto track = Track(r.ctx, kEvent, {Cc(0, 0, 1, 0), Program(100, 0, 5)});
    track.SwapKeepTimes(0, 1);
    EXPECT_EQ(Picture(track), (Strings{"pc5@0", "cc1@100"}));
    track.SwapEvents(0, 1);
    EXPECT_EQ(Picture(track), (Strings{"cc1@100", "pc5@100"}));
}

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

TEST(TrackMetas, TextMetasNamesAndLookups)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired, {Cc(0, 4, 7, 100), Meta(5, meta::kTimeSignature, 1544), Eot(0)});
    std::string text = "stale";
    EXPECT_EQ(track.GetMetaText(meta::kTrackName, text), 0);
    EXPECT_EQ(text, "");

    track.AddTextMeta(meta::kTrackName, "Piano");
    EXPECT_EQ(Picture(track).front(), "meta3@0");
    EXPECT_EQ(track.GetMetaText(meta::kTrackName, text), 1);
    EXPECT_EQ(text, "Piano");

    std::int32_t value = 0;
    EXPECT_EQ(track.FindTimeSignature(&value), 1);
    EXPECT_EQ(value, 1544);
    EXPECT_EQ(track.FirstChannel(), 4);

    track.RemoveMeta(meta::kTrackName);
    EXPECT_EQ(track.GetMetaText(meta::kTrackName, text), 0);
    EXPECT_TRUE(r.Take().empty());
}

TEST(TrackMetas, MasterVolumeLookupWarnsOnceAboutASecondOne)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired, {Eot(0)});
    EXPECT_EQ(track.FindMasterVolume(), -1);
    track.InsertMasterVolume(127);
    MusicEvent second = MusicEvent::MakeMasterVolume(90);
    track.InsertEvent(1, second);
    track.InsertEvent(2, second);
    EXPECT_EQ(track.FirstChannel(), 255);  // system exclusive never names the channel
    EXPECT_EQ(track.FindMasterVolume(), 90);
    EXPECT_EQ(track.FindMasterVolume(), 90);
    EXPECT_EQ(r.Take(), Strings{"MDTK0D000011 複数のマスターボリュームが設定されています。"});
    track.ReportWarning(0);
    track.FindMasterVolume();
    EXPECT_EQ(r.Take().size(), 1u);
}

// --- pairing ------------------------------------------------------------------

TEST(PairNotes, StrayNoteOffsAreRemovedWithoutMovingAnything)
{
    Recorded r;
    auto track = Track(r.ctx, kEvent, {Off(5, 0, 61), On(5, 0, 60), Off(5, 0, 62), Off(5, 0, 60), Eot(5)});
    track.PairNotes();
    EXPECT_EQ(Picture(track), (Strings{"note60/10@10", "eot@25"}));
}

TEST(PairNotes, WrongFormIsReportedAndNothingChanges)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired, {Paired(0, 0, 60, 10), Eot(10)});
    track.PairNotes();
    track.MoveControlsFirst();
    track.MoveNoteOffsFirst();
    auto eventForm = Track(r.ctx, kEvent, {Eot(0)});
    eventForm.UnpairNotes();
    eventForm.Retime(480, 96);
    EXPECT_EQ(r.Take(), Strings(5, kInternal));
    EXPECT_EQ(Picture(track), (Strings{"note60/10@0", "eot@10"}));
}

TEST(UnpairNotes, TheNoteOffGoesBeforeAnEventAlreadyAtItsTick)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired, {Paired(0, 0, 60, 480), Cc(480, 0, 7, 1), Eot(0)});
    track.UnpairNotes();
    EXPECT_EQ(track.State(), kEvent);
    EXPECT_EQ(Picture(track), (Strings{"on60@0", "off60@480", "cc7@480", "eot@480"}));
    EXPECT_EQ(Deltas(track), (std::vector<std::int32_t>{0, 480, 0, 0}));
    EXPECT_EQ(track.At(1).velocity, 64);
}

TEST(UnpairNotes, ANoteOutlastingTheEndPushesTheEndOfTrackBack)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired, {Paired(0, 0, 60, 960), Paired(100, 0, 62, 100), Eot(380)});
    track.UnpairNotes();
    EXPECT_EQ(Picture(track), (Strings{"on60@0", "on62@100", "off62@200", "off60@960", "eot@960"}));
}

TEST(UnpairNotes, NotesEndingTogetherComeLatestNoteFirstThenNoteOffsBeforeNoteOns)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired,
                       {Paired(0, 0, 60, 10), Paired(5, 0, 62, 5), Paired(5, 0, 64, 5), Eot(10)});
    track.UnpairNotes();
    // Both note offs at 10 stand before the note on at 10: 62 (the later note) first.
    EXPECT_EQ(Picture(track), (Strings{"on60@0", "on62@5", "off62@10", "off60@10", "on64@10", "off64@15",
                                       "eot@20"}));
}

TEST(PairNotes, UnpairAfterPairRestoresEveryKeptNote)
{
    Recorded r;
    auto track = Track(r.ctx, kEvent,
                       {Program(0, 0, 3), On(0, 0, 60), On(120, 1, 64), Off(120, 0, 60, 33), On(0, 0, 62),
                        Off(240, 1, 64), Off(0, 0, 62), Eot(0)});
    track.PairNotes();
    track.UnpairNotes();
    EXPECT_EQ(Picture(track), (Strings{"pc3@0", "on60@0", "on64@120", "off60@240", "on62@240", "off62@480",
                                       "off64@480", "eot@480"}));
}

// --- retiming and clean-up ------------------------------------------------------

TEST(Retime, RoundingLossesAreCarriedAndNoNoteIsLost)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired, {Cc(1, 0, 1, 0), Cc(1, 0, 1, 0), Cc(1, 0, 1, 0), Cc(1, 0, 1, 0),
                                        Paired(1, 0, 60, 3), Eot(2399), Cc(1, 0, 1, 0), Cc(2400, 0, 1, 0)});
    track.Retime(480, 96);
    EXPECT_EQ(Deltas(track), (std::vector<std::int32_t>{0, 0, 0, 0, 1, 479, 1, 480}));
    EXPECT_EQ(track.At(4).duration, 1);
}

TEST(Retime, SameDivisionOrNoDivisionLeavesTheTrackAlone)
{
    Recorded r;
    auto track = Track(r.ctx, kPaired, {Paired(7, 0, 60, 3), Eot(11)});
    track.Retime(96, 96);
    track.Retime(0, 96);
    EXPECT_EQ(Deltas(track), (std::vector<std::int32_t>{7, 11}));
    EXPECT_TRUE(r.Take().empty());
}

TEST(RemoveInvalidEvents, DeltasMoveOnAndNegativeSumsAreReported)
{
    Recorded r;
    auto track = Track(r.ctx, kEvent, {Invalid(5), Invalid(6), Cc(1, 0, 1, 0), Invalid(-20), Cc(3, 0, 1, 0),
                                       Invalid(9)});
    track.RemoveInvalidEvents();
    EXPECT_EQ(Deltas(track), (std::vector<std::int32_t>{12, -17}));
    EXPECT_EQ(r.Take(), Strings{kInternal});
}

TEST(Copy, APairedTrackIsCopiedDeeplyAnyOtherGivesAnEmptyPairedTrack)
{
    Recorded r;
    auto paired = Track(r.ctx, kPaired, {test::SysEx(0, {0xF0, 0x01, 0x7E, 0xF7}), Paired(0, 2, 60, 10), Eot(10)});
    MidiTrackData copy = MidiTrackData::Copy(paired);
    EXPECT_EQ(Picture(copy), Picture(paired));
    EXPECT_NE(copy.At(0).bytes.data(), paired.At(0).bytes.data());
    EXPECT_EQ(copy.At(1).channel, 2);

    auto eventForm = Track(r.ctx, kEvent, {Eot(0)});
    MidiTrackData none = MidiTrackData::Copy(eventForm);
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(none.State(), kPaired);
    EXPECT_EQ(r.Take(), Strings{kInternal});
}

// --- ordering within a tick ----------------------------------------------------------

std::vector<std::string> WriterOrder(MidiTrackData& track)
{
    track.MoveControlsFirst();
    track.MoveSysExFirst();
    track.MoveNoteOffsFirst();
    return Picture(track);
}

TEST(SameTickOrder, ControllersBeforeNotesWithTheFirstOfAGroupTradingPlaces)
{
    Recorded r;
    auto later = Track(r.ctx, kEvent, {Eot(0), Cc(10, 0, 0, 1), Cc(0, 0, 32, 2), On(0, 0, 60)});
    EXPECT_EQ(WriterOrder(later), (Strings{"eot@0", "cc32@10", "cc0@10", "on60@10"}));

    auto atStart = Track(r.ctx, kEvent, {Cc(0, 0, 0, 1), Cc(0, 0, 32, 2), On(0, 0, 60)});
    EXPECT_EQ(WriterOrder(atStart), (Strings{"cc0@0", "cc32@0", "on60@0"}));

    auto mixed = Track(r.ctx, kEvent, {Eot(0), On(10, 0, 60), Cc(0, 0, 7, 1), Program(0, 0, 4)});
    EXPECT_EQ(WriterOrder(mixed), (Strings{"eot@0", "cc7@10", "pc4@10", "on60@10"}));
}

TEST(SameTickOrder, SystemExclusiveComesFirstAndNoteOffsBeforeNoteOns)
{
    Recorded r;
    auto track = Track(r.ctx, kEvent,
                       {On(0, 0, 60), Cc(0, 0, 7, 1), test::SysEx(0, {0xF0, 0x01, 0x00, 0xF7}), On(10, 0, 62),
                        Off(0, 0, 60), On(5, 0, 64), Off(5, 0, 62)});
    EXPECT_EQ(WriterOrder(track), (Strings{"sysex@0", "cc7@0", "on60@0", "off60@10", "on62@10", "on64@15",
                                           "off62@20"}));
}

TEST(SameTickOrder, ANoteOffOnlyTradesWithinItsTick)
{
    Recorded r;
    auto track = Track(r.ctx, kEvent, {On(0, 0, 60), Off(10, 0, 61), On(0, 0, 62), Cc(0, 0, 7, 1), Off(0, 0, 63)});
    track.MoveNoteOffsFirst();
    EXPECT_EQ(Picture(track), (Strings{"on60@0", "off61@10", "off63@10", "cc7@10", "on62@10"}));
}

}  // namespace
}  // namespace rovanta

namespace rovanta {
namespace {

TEST(UnpairNotes, NotesWhoseEndsDoNotFitAreDroppedWholeWithOneReport)
{
    test::Recorded r;
    // Room for 5 events: 3 notes and the End of Track need 7 in event form;
    // dropping the last note whole makes it fit.
    MidiTrackData track(r.ctx, track_state::kPaired, 15);
    for (MusicEvent e : {test::Paired(0, 0, 60, 10), test::Paired(20, 0, 61, 10), test::Paired(20, 0, 62, 10),
                         test::Eot(20)})
        track.AppendEvent(e);
    track.UnpairNotes();
    EXPECT_EQ(test::Picture(track),
              (std::vector<std::string>{"on60@0", "off60@10", "on61@20", "off61@30", "eot@60"}));
    EXPECT_EQ(r.Take(), std::vector<std::string>{"MDTK0D000006 Large data"});
}

}  // namespace
}  // namespace rovanta
