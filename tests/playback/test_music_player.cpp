#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipelines/PlayPipeline.h"
#include "common/Events.h"
#include "common/TestSinks.h"
#include "playback/MusicPlayer.h"
#include "playback/PlaybackFakes.h"
#include "playback/TimerThread.h"

namespace rovanta {
namespace {

using namespace std::chrono_literals;
using namespace test;
using Strings = std::vector<std::string>;
using Ticks = std::vector<std::int32_t>;

MusicEvent Signature(std::int32_t numerator, std::int32_t denominator)
{
    return Meta(0, meta::kTimeSignature, numerator * 256 + denominator);
}

TEST(PlayCopy, TicksPerMeasureFollowsTheFirstTimeSignatureOrFallsBackTo384)
{
    test::Recorded r;
    auto measure = [&](std::int32_t division, const std::vector<MusicEvent>& events) {
        return TicksPerMeasure(Song(r.ctx, events, division));
    };
    EXPECT_EQ(measure(96, {}), 384);
    EXPECT_EQ(measure(96, {Signature(3, 4), Signature(6, 8)}), 288);
    EXPECT_EQ(measure(96, {Signature(6, 8)}), 288);
    EXPECT_EQ(measure(480, {Signature(5, 16)}), 600);
    // Nothing to go by: no division, no value, a zero denominator or
    // numerator, a measure below one tick or beyond any song.
    EXPECT_EQ(measure(0, {Signature(3, 4)}), 384);
    for (std::int32_t value : {0x0300, 0x0004, 0x7FFFFF01})
        EXPECT_EQ(measure(96, {Meta(0, meta::kTimeSignature, value)}), 384) << value;
    EXPECT_EQ(measure(1, {Signature(1, 8)}), 384);
}

TEST(PlayCopy, TrimmingDropsWholeEmptyMeasuresAndKeepsTheirEvents)
{
    test::Recorded r;
    // First note at 1000 in 4/4: two measures (768 ticks) go; events up to 768
    // move to the start, the first one after keeps only what lies beyond.
    MidiF0Data song = Song(r.ctx, {Signature(4, 4), Cc(100, 0, 7, 90), Program(600, 0, 1), Cc(200, 0, 10, 64),
                                   On(100, 0, 60), Off(96, 0, 60)}, 96);
    EXPECT_EQ(TrimLeadingMeasures(song), 768);
    EXPECT_EQ(Deltas(song.Track()), (Ticks{0, 0, 0, 132, 100, 96}));
    MidiF0Data early = Song(r.ctx, {Signature(3, 4), On(287, 0, 60)}, 96);
    EXPECT_EQ(TrimLeadingMeasures(early), 0);
    EXPECT_EQ(Deltas(early.Track()), (Ticks{0, 287}));
    MidiF0Data silent = Song(r.ctx, {Cc(500, 0, 7, 90), Eot(400)}, 96);  // the whole song counts
    EXPECT_EQ(TrimLeadingMeasures(silent), 768);
    EXPECT_EQ(Deltas(silent.Track()), (Ticks{0, 132}));
}

// Real timers; the handshake sleeps run ten times faster, with the same counts.
class QuickSleeps final : public TimerService {
public:
    std::uint32_t MinPeriod() const override { return 1; }
    void BeginPeriod(std::uint32_t) override {}
    void EndPeriod(std::uint32_t) override {}
    TimerId Arm(std::uint32_t delay, std::uint32_t resolution, Callback callback) override
    {
        return real_.Arm(delay, resolution, std::move(callback));
    }
    void Cancel(TimerId id) override { real_.Cancel(id); }
    std::int64_t NowMicros() const override { return real_.NowMicros(); }
    void Sleep(std::uint32_t ms) override { real_.Sleep(std::max<std::uint32_t>(1, ms / 10)); }

private:
    RealTimerService real_;
};

// Records reports; MDPL reports wait at the gate, as behind a message box.
class BoxSink : public ReportSink {
public:
    void Show(std::string_view text) override
    {
        record.Show(text);
        if (text.starts_with("MDPL")) box.Pass();
    }
    test::RecordingSink record;
    test::Gate box;
};

class ThreadedMusicPlayer : public ::testing::Test {
protected:
    // A loaded (paired) song at 480 ticks per quarter, played at the start
    // tempo of 240 per minute: 480 ticks take 250 ms.
    MidiF0Data& Loaded(std::initializer_list<MusicEvent> events)
    {
        MidiF0Data& song = songs_.emplace_back(ctx, kCapacity, track_state::kPaired, 480);
        for (const MusicEvent& e : events) song.Track().AppendEvent(e);
        return song;
    }
    MidiF0Data& Notes(int count)  // one every 62 ms
    {
        MidiF0Data& song = Loaded({});
        for (int i = 0; i < count; ++i) song.Track().AppendEvent(Paired(i == 0 ? 0 : 120, 0, 60 + i % 12, 60));
        return song;
    }
    void Start(MidiF0Data& song)
    {
        player.PlayStart(song, [this] { ++ends; }, [this](std::int32_t, std::int32_t tick, const MusicEvent* e) {
            std::lock_guard lock(tickMutex_);
            ticks_.push_back(e ? tick : -tick - 1);
        }, 1);
    }
    Ticks TicksSeen()  // before playback: -(tick + 1)
    {
        std::lock_guard lock(tickMutex_);
        return ticks_;
    }
    int Count(const std::string& text) const
    {
        const Strings texts = ports.Texts();
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }
    bool Closed() const
    {
        const Strings texts = ports.Texts();
        return texts.size() >= 2 && texts[texts.size() - 2] == "reset" && texts.back() == "close";
    }

    BoxSink sink;
    RunContext ctx{sink};
    QuickSleeps timers;
    test::RecordingPorts ports{[this] { return timers.NowMicros(); }};
    std::atomic<int> ends{0};

private:
    std::mutex tickMutex_;
    Ticks ticks_;
    std::deque<MidiF0Data> songs_;

protected:
    MusicPlayer player{PlaybackEnv{ctx, ports, timers, 6}};  // halts and joins before the songs go
};

TEST_F(ThreadedMusicPlayer, ANaturalEndCallsTheEndCallbackOnceAndClosesTheDevice)
{
    MidiF0Data& song = Loaded({Signature(4, 4), Paired(2000, 0, 60, 240), Paired(240, 0, 62, 240), Eot(240)});
    Start(song);
    // The play copy: 96 ticks per quarter, event form, one empty measure gone.
    ASSERT_NE(song.PlayCopy(), nullptr);
    EXPECT_EQ(song.PlayCopy()->division, 96);
    EXPECT_EQ(test::Picture(song.PlayCopy()->Track()),
              (Strings{"meta88@0", "on60@16", "off60@64", "on62@64", "off62@112", "eot@112"}));
    EXPECT_EQ(test::Picture(song.Track()).size(), 4u);

    ASSERT_TRUE(Eventually([&] { return player.Finished(); }));
    EXPECT_EQ(ports.Texts(), (Strings{"F0 7E 7F 09 01 F7", "90 3C 64", "80 3C 00", "90 3E 64", "80 3E 00", "reset",
                                      "close"}));
    EXPECT_EQ(TicksSeen(), (Ticks{-385, 400, 448, 448, 496, 496}));
    EXPECT_FALSE(player.HasPlayer());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(sink.record.Take().empty());
}

TEST_F(ThreadedMusicPlayer, StopSilencesWithoutTheEndCallbackAlsoDuringALongRest)
{
    MidiF0Data& song = Notes(40);
    Start(song);
    ASSERT_TRUE(Eventually([&] { return Count("90 3E 64") == 1; }));
    EXPECT_EQ(player.PlayStop(song), 1);
    EXPECT_EQ(song.PlayCopy(), nullptr);
    EXPECT_TRUE(player.Finished());
    EXPECT_TRUE(Closed());

    // A rest of 10 s: the stop gives up waiting for its timer and cancels it.
    MidiF0Data& rest = Loaded({Paired(0, 0, 72, 240), Paired(19200, 0, 74, 240)});
    Start(rest);
    ASSERT_TRUE(Eventually([&] { return Count("80 48 00") == 1; }));
    EXPECT_EQ(player.PlayStop(rest), 1);
    ASSERT_TRUE(Eventually([&] { return player.Finished(); }));
    EXPECT_TRUE(Closed());
    EXPECT_EQ(Count("90 4A 64"), 0);
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(sink.record.Take().empty());
}

TEST_F(ThreadedMusicPlayer, WithoutADeviceTheEndCallbackRunsAndALaterStopFindsTheRightPlayer)
{
    ports.devices = 0;
    MidiF0Data& song = Notes(3);
    Start(song);
    ASSERT_TRUE(Eventually([&] { return ends == 1 && player.Finished(); }));
    Start(song);
    ASSERT_TRUE(Eventually([&] { return ends == 2 && player.Finished(); }));
    EXPECT_EQ(sink.record.Take(), Strings{"MDCT07000001 Can not open Midi device!"});  // once per run
    EXPECT_EQ(player.PlayStop(song), 1);  // finds the failed start at once: no report
    EXPECT_TRUE(sink.record.Take().empty());

    // The next start is not taken for the failed one: its stop stops it.
    ports.devices = 1;
    MidiF0Data& longSong = Notes(40);
    Start(longSong);
    EXPECT_EQ(player.PlayStop(longSong), 1);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(ends, 2);
}

TEST_F(ThreadedMusicPlayer, APlayWhileThePreviousThreadWindsDownWaitsThenStartsAnyway)
{
    test::Gate closing;
    ports.onClose = [&] { closing.Pass(); };
    Start(Notes(2));
    ASSERT_TRUE(closing.WaitForArrival());  // the first thread hangs in its close

    Start(Loaded({Paired(0, 0, 72, 240), Paired(480, 0, 74, 240)}));
    EXPECT_EQ(sink.record.Take(), Strings{"GENE01000004 Quit and restart!"});
    closing.Open();
    ASSERT_TRUE(Eventually([&] { return ends == 2 && player.Finished(); }));
    // The stop asked of the first thread did not reach the second playback.
    EXPECT_EQ(Count("90 4A 64"), 1);
    EXPECT_EQ(Count("close"), 2);
}

TEST_F(ThreadedMusicPlayer, StopNeverWaitsForAReportBoxOnTheTimerThread)
{
    // The last event is a tempo of 999 us: its report holds the last callback.
    MidiF0Data& song = Loaded({Paired(0, 0, 60, 240), Meta(480, meta::kTempo, 999)});
    Start(song);
    ASSERT_TRUE(sink.box.WaitForArrival());
    EXPECT_EQ(player.PlayStop(song), 1);  // the box is still open
    EXPECT_EQ(song.PlayCopy(), nullptr);
    EXPECT_FALSE(player.Finished());

    sink.box.Open();
    ASSERT_TRUE(Eventually([&] { return player.Finished(); }));
    EXPECT_EQ(sink.record.Take(), Strings{"MDPL08000006 Tempo is wrong!"});
    EXPECT_TRUE(Closed());
    EXPECT_EQ(ends, 0);
}

TEST_F(ThreadedMusicPlayer, ThePlayPipelinePlaysTheMirroredCopyAndKeepsIt)
{
    // One note 64 reflects to 56; the octave raise makes it 68.
    MidiF0Data& loaded = Loaded({Paired(0, 0, 64, 240), Eot(240)});
    {
        PlayPipeline pipeline(player);
        EXPECT_EQ(pipeline.Stop(), 0);
        pipeline.Play(loaded, {.horizontal = false, .vertical = true, .raiseOctave = 1}, [this] { ++ends; }, {});
        EXPECT_EQ(pipeline.MirrorCopy()->State(), track_state::kPaired);
        ASSERT_TRUE(Eventually([&] { return ends == 1 && player.Finished(); }));
        EXPECT_EQ(Count("90 44 64"), 1);
        EXPECT_EQ(test::Picture(loaded.Track()), (Strings{"note64/240@0", "eot@240"}));

        pipeline.Play(loaded, {}, [this] { ++ends; }, {});
        EXPECT_EQ(pipeline.Stop(), 1);
        EXPECT_NE(pipeline.MirrorCopy(), nullptr);
        EXPECT_TRUE(Closed());
        pipeline.Play(loaded, {}, [this] { ++ends; }, {});  // the pipeline goes while its copy plays
    }
    EXPECT_TRUE(Eventually([&] { return player.Finished(); }));
    EXPECT_EQ(ends, 1);
}

}  // namespace
}  // namespace rovanta
