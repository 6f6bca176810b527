// The scheduler on virtual time: exact send times without waiting.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "playback/MidiPlayer.h"
#include "playback/PlaybackFakes.h"
#include "playback/VirtualTimer.h"

namespace rovanta {
namespace {

using namespace test;
using Strings = std::vector<std::string>;
using Log = std::vector<test::Sent>;

const std::string kGmOn = "F0 7E 7F 09 01 F7";
constexpr int kNoPreRoll = 5;
constexpr int kPreRoll = 6;

MusicEvent Tempo(std::int32_t delta, std::int32_t micros) { return test::Meta(delta, meta::kTempo, micros); }

class Scheduler : public ::testing::Test {
protected:
    // Plays a song in event form at 96 ticks per quarter, from virtual time 0.
    MidiPlayer& Play(int osMajorVersion, const std::vector<MusicEvent>& events, std::int32_t initialTick = 0,
                     std::int32_t state = track_state::kEventForm)
    {
        player_.reset();
        song_.emplace(Song(r.ctx, events, 96, state));
        player_.emplace(PlaybackEnv{r.ctx, ports, timers, osMajorVersion});
        player_->PlaySong(*song_, kMidiMapper, [this](std::int32_t index, std::int32_t tick, const MusicEvent*) {
            ticks.push_back(std::to_string(index) + ":" + std::to_string(tick));
        }, initialTick);
        player_->FlushReports();
        return *player_;
    }

    test::Recorded r;
    VirtualTimerService timers;
    test::RecordingPorts ports{[this] { return timers.NowMicros(); }};
    Strings ticks;

private:
    std::optional<MidiF0Data> song_;
    std::optional<MidiPlayer> player_;  // goes before the song
};

TEST_F(Scheduler, TimesEachEventFromTheTempoAndTheDivision)
{
    // 120 per minute: 96 ticks wait 500 ms, one tick 5 ms (5.208 cut), none
    // go out in the same callback; the first event one period (at the start
    // tempo of 240) after the start.
    MidiPlayer& player = Play(kNoPreRoll, {Tempo(0, 500000), On(0, 0, 60), Off(96, 0, 60), On(0, 0, 62),
                                           Off(1, 0, 62), Eot(0)}, 768);
    EXPECT_EQ(player.Period(), 2u);
    EXPECT_EQ(timers.LastPeriod(), 2u);
    timers.RunUntilIdle();
    EXPECT_EQ(ports.Log(), (Log{{0, kGmOn}, {2000, "90 3C 64"}, {502000, "80 3C 00"}, {502000, "90 3E 64"},
                                {507000, "80 3E 00"}}));
    EXPECT_EQ(ticks, (Strings{"0:768", "1:768", "2:864", "3:864", "4:865", "5:865"}));
    EXPECT_FALSE(player.Running());

    player.Release();
    EXPECT_EQ(ports.Texts().back(), "close");
    EXPECT_EQ(timers.OpenPeriods(), 0);
    EXPECT_TRUE(r.Take().empty());
}

TEST_F(Scheduler, PreRollSendsTheLeadInFiftyMillisecondsApartAndUnannounced)
{
    MidiPlayer& player = Play(kPreRoll, {Tempo(0, 500000), Cc(0, 0, 7, 100), Program(0, 0, 5), On(10, 0, 60),
                                         Off(96, 0, 60)});
    EXPECT_EQ(player.Period(), 5u);  // the pre-roll's tempo counts
    timers.RunUntilIdle();
    EXPECT_EQ(ports.Log(), (Log{{0, kGmOn}, {50000, "B0 07 64"}, {100000, "C0 05 00"}, {155000, "90 3C 64"},
                                {655000, "80 3C 00"}}));
    EXPECT_EQ(ticks, (Strings{"3:10", "4:106"}));

    // Without a note-on everything is pre-rolled; playback then counts as
    // running until a stop, with no timer and nothing read beyond the track.
    const std::int64_t start = timers.NowMicros();
    MidiPlayer& noNotes = Play(kPreRoll, {Cc(0, 0, 7, 100), Program(5, 0, 1)});
    EXPECT_TRUE(noNotes.Running());
    EXPECT_EQ(timers.PendingCount(), 0u);
    EXPECT_EQ(timers.NowMicros() - start, 50000);
    MidiPlayer& empty = Play(kNoPreRoll, {});
    timers.RunUntilIdle();
    EXPECT_FALSE(empty.Running());
}

TEST_F(Scheduler, SetUpFailuresLeaveNoTimer)
{
    // 90000 us per quarter is 666 per minute: a tick is shorter than 1 ms.
    MidiPlayer& tooFast = Play(kPreRoll, {Tempo(0, 90000), On(0, 0, 60), Off(96, 0, 60)});
    EXPECT_EQ(r.Take(), Strings{"MDPL08000001 Division is too large!"});
    EXPECT_EQ(timers.PendingCount(), 0u);
    EXPECT_TRUE(tooFast.Running());  // until a stop
    EXPECT_EQ(Play(kNoPreRoll, {Tempo(0, 90000), On(0, 0, 60)}).Period(), 2u);
    EXPECT_EQ(timers.PendingCount(), 1u);

    MidiPlayer& paired = Play(kNoPreRoll, {On(0, 0, 60)}, 0, track_state::kPaired);
    EXPECT_FALSE(paired.HasDevice());
    EXPECT_EQ(ports.opens, 2);
    EXPECT_EQ(r.Take(), Strings{"MDPL08000004 Internal error occured in MidiPlayer!"});
    ports.openFails = true;
    MidiPlayer& noDevice = Play(kNoPreRoll, {On(0, 0, 60)});
    EXPECT_FALSE(noDevice.HasDevice());
    EXPECT_FALSE(noDevice.Running());
    EXPECT_EQ(r.Take(), Strings{"MDCT07000001 Can not open Midi device!"});
    EXPECT_EQ(timers.PendingCount(), 0u);
}

TEST_F(Scheduler, TempoEventsChangeTheVeryNextDelayAndReportNonsense)
{
    MidiPlayer& player = Play(kNoPreRoll, {On(0, 0, 60), Tempo(0, 999),  // "wrong": 60 per minute
                                           Off(96, 0, 60), Tempo(0, 6700000),  // 8: "too slow", 10
                                           On(96, 0, 62), Tempo(0, 60000),  // 1000: a tick is below 1 ms
                                           Off(1, 0, 62)});
    timers.RunUntilIdle();
    EXPECT_EQ(ports.Log(), (Log{{0, kGmOn}, {2000, "90 3C 64"}, {1002000, "80 3C 00"}, {7002000, "90 3E 64"},
                                {7002000, "80 3E 00"}}));
    EXPECT_EQ(r.Take(), (Strings{"MDPL08000006 Tempo is wrong!", "MDPL08000003 Tempo is too slow!"}));
    EXPECT_FALSE(player.Running());
}

TEST_F(Scheduler, LongRestsAreTimedAndANegativeDeltaEndsPlayback)
{
    // 40000 x 60000 does not fit in 32 bits; at 240 per minute this is 104.166 s.
    Play(kNoPreRoll, {On(0, 0, 60), Off(40000, 0, 60), On(35791, 0, 62), Off(-5, 0, 62), On(0, 0, 64)});
    timers.RunUntilIdle();
    EXPECT_EQ(ports.Log(), (Log{{0, kGmOn}, {2000, "90 3C 64"}, {104168000, "80 3C 00"},
                                {197373000, "90 3E 64"}}));
    EXPECT_EQ(r.Take(), Strings{"MDPL08000007 Musical data is invalid!"});
    EXPECT_EQ(timers.PendingCount(), 0u);
}

TEST_F(Scheduler, AStopIsSeenWhenThePendingTimerFiresAndHaltSilencesForGood)
{
    MidiPlayer& player = Play(kNoPreRoll, {On(0, 0, 60), Off(960, 0, 60), Eot(0)});  // a rest of 2.5 s
    timers.AdvanceBy(2000);
    player.RequestStop();
    timers.AdvanceBy(2'400'000);
    EXPECT_TRUE(player.Running());
    timers.AdvanceBy(200'000);
    EXPECT_FALSE(player.Running());
    EXPECT_EQ(timers.PendingCount(), 0u);

    MidiPlayer& halted = Play(kNoPreRoll, {On(0, 0, 60), Off(96, 0, 60)});
    timers.AdvanceBy(2000);
    halted.Halt();
    EXPECT_FALSE(halted.Running());
    timers.RunUntilIdle();
    EXPECT_EQ(ports.Texts(), (Strings{kGmOn, "90 3C 64", "reset", "close", kGmOn, "90 3C 64"}));
    EXPECT_EQ(ticks, (Strings{"0:0", "0:0"}));
}

TEST_F(Scheduler, SendsEachKindAsTheTableSays)
{
    MusicEvent escape = test::SysEx(0, {0xF7, 0x02, 0xF3, 0x01});
    escape.kind = kind::kSysExEscape;
    MusicEvent loud = On(0, 2, 64, 300);
    loud.channel = 0x12;  // damaged: must stay a note-on
    Play(kNoPreRoll, {On(0, 0, 60), test::Channel(kind::kPitchBend, 0, 1, 0x00, 0x40),
                      test::Channel(kind::kPolyPressure, 0, 1, 60, 10),
                      test::Channel(kind::kChannelPressure, 0, 1, 0, 10),
                      test::SysEx(0, {0xF0, 0x03, 0x43, 0x10, 0xF7}), escape, test::Meta(0, meta::kText), loud,
                      Off(0, 0, 60, 99), test::Invalid(0)});
    timers.RunUntilIdle();
    EXPECT_EQ(ports.Texts(), (Strings{kGmOn, "90 3C 64", "E1 00 40", "F0 43 10 F7", "F3 01", "92 40 2C",
                                      "80 3C 00"}));
}

}  // namespace
}  // namespace rovanta
