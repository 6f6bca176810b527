#include <gtest/gtest.h>

#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "mirror/Mirror.h"

namespace rovanta {
namespace {

using namespace test;

std::vector<std::int32_t> Notes(const MidiF0Data& song)
{
    std::vector<std::int32_t> notes;
    for (const MusicEvent& e : song.Track().Events())
        if (e.kind == kind::kNoteOn || e.kind == kind::kNoteOff) notes.push_back(e.note);
    return notes;
}

// One note on and off per pitch, all on one channel.
MidiF0Data Melody(RunContext& ctx, std::int32_t channel, const std::vector<std::int32_t>& pitches)
{
    std::vector<MusicEvent> events;
    for (std::int32_t p : pitches) events.insert(events.end(), {On(0, channel, p), Off(10, channel, p)});
    events.push_back(Eot(0));
    return test::Song(ctx, events);
}

TEST(ReverseVertical, WorkedExamples)
{
    const struct {
        std::int32_t channel;
        std::vector<std::int32_t> pitches, reflected;
    } cases[] = {
        {0, {48, 64, 72}, {72, 72, 56, 56, 48, 48}},
        {1, {55, 79}, {65, 65, 41, 41}},
        {1, {65, 41}, {31, 31, 55, 55}},  // the centre of 41..65 is 12 lower than that of 55..79
        {2, {64}, {56, 56}},
        {3, {10, 100}, {86, 86, 0, 0}},
    };
    for (const auto& c : cases) {
        Recorded r;
        auto song = Melody(r.ctx, c.channel, c.pitches);
        ReverseVertical(song);
        EXPECT_EQ(Notes(song), c.reflected) << c.pitches.front();
        EXPECT_TRUE(r.Take().empty());
    }
    // Each channel about its own centre.
    Recorded r;
    auto song = test::Song(r.ctx, {On(0, 0, 48), On(0, 1, 67), Off(10, 0, 48), Off(0, 1, 67), On(0, 0, 72), Off(10, 0, 72), Eot(0)});
    ReverseVertical(song);
    EXPECT_EQ(Notes(song), (std::vector<std::int32_t>{72, 53, 72, 53, 48, 48}));
}

TEST(ReverseVertical, DrumsAndEverythingButNoteNumbersStayAsTheyWere)
{
    Recorded r;
    MusicEvent bend = test::Channel(kind::kPitchBend, 0, 0, 0, 64);
    MusicEvent rhythmOff = test::SysEx(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x15, 0x00, 0x0F, 0xF7});
    rhythmOff.type = sysex::kDrumPart;  // as the reader classifies it: part 3 on a rhythm map (value 0: off)
    rhythmOff.channel = 2;
    auto song = test::Song(r.ctx, {rhythmOff, bend, Cc(0, 0, 7, 100), On(0, 9, 36), On(0, 2, 40), On(0, 0, 50, 90),
                                   Off(10, 9, 36), Off(0, 2, 40), Off(0, 0, 50), Eot(0)});
    ReverseVertical(song);
    TransposeNotes(song, 12);
    EXPECT_EQ(Notes(song), (std::vector<std::int32_t>{36, 40, 58, 36, 40, 58}));
    const MidiTrackData& t = song.Track();
    EXPECT_EQ(t.At(1).kind, kind::kPitchBend);
    EXPECT_EQ(t.At(1).value, 64);
    EXPECT_EQ(t.At(2).value, 100);
    EXPECT_EQ(t.At(5).velocity, 90);
    EXPECT_EQ(t.Count(), 10);
    EXPECT_TRUE(t.IsDrumChannel(9));
    EXPECT_TRUE(t.IsDrumChannel(2));
    EXPECT_FALSE(t.IsDrumChannel(0));
}

TEST(TransposeNotes, FoldsBackIntoRangeByOctaves)
{
    Recorded r;
    auto song = Melody(r.ctx, 0, {0, 115, 116, 120, 127});
    TransposeNotes(song, 12);
    EXPECT_EQ(Notes(song), (std::vector<std::int32_t>{12, 12, 127, 127, 116, 116, 120, 120, 127, 127}));
    TransposeNotes(song, -40);
    EXPECT_EQ(Notes(song), (std::vector<std::int32_t>{8, 8, 87, 87, 76, 76, 80, 80, 87, 87}));
}

}  // namespace
}  // namespace rovanta
