// Whole-track passes on realistic songs: note pairs on several channels with
// some controllers, a few metas and the End of Track last. The argument is the
// song's size in event form (the table limit is 131,072); PairNotes gets that
// track, UnpairNotes, Copy and Retime get its paired form (about half the
// events). Items per second count the events of the track a pass is given.
// Building and destroying the tracks is kept out of the timed region.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"
#include "support/RunContext.h"

namespace rovanta {
namespace {

// Counts reports: a realistic song must pass through without any.
class CountingSink : public ReportSink {
public:
    void Show(std::string_view) override { ++count; }
    std::atomic<int> count{0};
};

MusicEvent Message(std::int32_t k, std::int32_t channel, std::uint8_t d1, std::uint8_t d2, std::int32_t size)
{
    MusicEvent e;
    e.kind = k;
    e.channel = channel;
    e.bytes = EventBytes::TryAllocate(static_cast<std::size_t>(size) + 8);
    e.bytes.data()[0] = static_cast<std::uint8_t>(k | channel);
    e.bytes.data()[1] = d1;
    if (size > 2) e.bytes.data()[2] = d2;
    e.length = size;
    return e;
}

MusicEvent NoteMessage(std::int32_t k, std::int32_t channel, std::int32_t note, std::int32_t velocity)
{
    MusicEvent e = Message(k, channel, static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(velocity), 3);
    e.note = note;
    e.velocity = velocity;
    return e;
}

MusicEvent Control(std::int32_t channel, std::int32_t controller, std::int32_t value)
{
    MusicEvent e =
        Message(kind::kControlChange, channel, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(value), 3);
    e.type = controller;
    e.value = value;
    return e;
}

MusicEvent MetaEvent(std::int32_t type, std::int32_t value, std::int32_t size)
{
    MusicEvent e;
    e.kind = kind::kMeta;
    e.type = type;
    e.value = value;
    if (size > 0) {
        e.bytes = EventBytes::TryAllocate(static_cast<std::size_t>(size) + 8);
        e.length = size;
    }
    return e;
}

// A song of exactly `count` events in event form at 480 ticks per quarter note.
std::vector<MusicEvent> RealisticSong(std::int32_t count)
{
    struct Timed {
        std::int64_t tick;
        int order;  // within a tick: metas and controllers, then offs, then ons
        MusicEvent event;
    };
    std::mt19937 rng(20240611);
    const auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    static constexpr std::int32_t kChannels[] = {0, 1, 2, 3, 4, 5, 9};

    std::vector<Timed> timed;
    timed.push_back({0, 0, MetaEvent(meta::kTempo, 500000, 3)});
    timed.push_back({0, 0, MetaEvent(meta::kTimeSignature, 4 * 256 + 4, 4)});
    for (std::int32_t channel : kChannels) {
        if (static_cast<std::int32_t>(timed.size()) + 3 > count) break;
        MusicEvent program = Message(kind::kProgramChange, channel, static_cast<std::uint8_t>(channel * 8), 0, 2);
        program.value = channel * 8;
        timed.push_back({0, 0, std::move(program)});
    }
    std::int64_t tick = 0;
    while (static_cast<std::int32_t>(timed.size()) < count - 1) {
        const std::int32_t left = count - 1 - static_cast<std::int32_t>(timed.size());
        const int step = between(0, 99);
        tick += step < 45 ? 0 : step < 85 ? 120 : between(1, 480);
        const std::int32_t channel = kChannels[between(0, 6)];
        if (left >= 2 && between(0, 15) != 0) {
            const std::int32_t note = channel == 9 ? between(35, 57) : between(48, 84);
            const std::int32_t duration = channel == 9 ? 60 : 60 * between(1, 16);
            timed.push_back({tick, 2, NoteMessage(kind::kNoteOn, channel, note, between(40, 120))});
            timed.push_back({tick + duration, 1, NoteMessage(kind::kNoteOff, channel, note, 64)});
        } else if (between(0, 1) == 0) {
            timed.push_back({tick, 0, Control(channel, between(0, 1) ? 1 : 11, between(0, 127))});
        } else {
            MusicEvent bend = Message(kind::kPitchBend, channel, 0, static_cast<std::uint8_t>(between(0, 127)), 3);
            bend.value = bend.bytes.data()[2];
            timed.push_back({tick, 0, std::move(bend)});
        }
    }
    std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    std::vector<MusicEvent> events;
    events.reserve(static_cast<std::size_t>(count));
    std::int64_t previous = 0;
    for (Timed& t : timed) {
        t.event.delta = static_cast<std::int32_t>(t.tick - previous);
        previous = t.tick;
        events.push_back(std::move(t.event));
    }
    MusicEvent end = MetaEvent(meta::kEndOfTrack, 0, 0);
    end.delta = 480;
    events.push_back(std::move(end));
    return events;
}

MidiTrackData EventFormTrack(RunContext& ctx, const std::vector<MusicEvent>& events)
{
    MidiTrackData track(ctx, track_state::kEventForm);
    for (const MusicEvent& e : events) track.AppendEvent(MusicEvent(e));
    return track;
}

MidiTrackData PairedTrack(RunContext& ctx, std::int32_t count)
{
    MidiTrackData track = EventFormTrack(ctx, RealisticSong(count));
    track.PairNotes();
    return track;
}

void Finish(benchmark::State& state, const CountingSink& sink, std::int32_t events)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * events);
    state.counters["events"] = events;
    if (sink.count != 0) state.SkipWithError("the song raised reports");
}

void BM_PairNotes(benchmark::State& state)
{
    CountingSink sink;
    RunContext ctx(sink);
    const std::vector<MusicEvent> song = RealisticSong(static_cast<std::int32_t>(state.range(0)));
    std::optional<MidiTrackData> track;
    for (auto _ : state) {
        state.PauseTiming();
        track.reset();
        track.emplace(EventFormTrack(ctx, song));
        state.ResumeTiming();
        track->PairNotes();
        benchmark::DoNotOptimize(track->Count());
    }
    Finish(state, sink, static_cast<std::int32_t>(song.size()));
}

// Times `pass` on a fresh copy of a paired track; the copy itself is not timed.
template <typename Pass>
void OnPairedCopy(benchmark::State& state, Pass pass)
{
    CountingSink sink;
    RunContext ctx(sink);
    const MidiTrackData source = PairedTrack(ctx, static_cast<std::int32_t>(state.range(0)));
    std::optional<MidiTrackData> track;
    for (auto _ : state) {
        state.PauseTiming();
        track.reset();
        track.emplace(MidiTrackData::Copy(source));
        state.ResumeTiming();
        pass(*track);
        benchmark::DoNotOptimize(track->Count());
    }
    Finish(state, sink, source.Count());
}

void BM_UnpairNotes(benchmark::State& state)
{
    OnPairedCopy(state, [](MidiTrackData& track) { track.UnpairNotes(); });
}

void BM_Copy(benchmark::State& state)
{
    CountingSink sink;
    RunContext ctx(sink);
    const MidiTrackData source = PairedTrack(ctx, static_cast<std::int32_t>(state.range(0)));
    std::optional<MidiTrackData> copy;
    for (auto _ : state) {
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
        copy.emplace(MidiTrackData::Copy(source));
        benchmark::DoNotOptimize(copy->Count());
    }
    Finish(state, sink, source.Count());
}

void BM_Retime480To96(benchmark::State& state)
{
    OnPairedCopy(state, [](MidiTrackData& track) { track.Retime(480, 96); });
}

constexpr std::int64_t kSizes[] = {1024, 16384, 131072};

void Sizes(benchmark::internal::Benchmark* b)
{
    for (std::int64_t n : kSizes) b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_PairNotes)->Apply(Sizes);
BENCHMARK(BM_UnpairNotes)->Apply(Sizes);
BENCHMARK(BM_Copy)->Apply(Sizes);
BENCHMARK(BM_Retime480To96)->Apply(Sizes);

}  // namespace
}  // namespace rovanta
