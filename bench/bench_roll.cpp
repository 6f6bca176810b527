// The piano roll of a song of 100,000 events (about 50,000 notes on sixteen
// channels, drums included, with tempo changes, read from a format-1 file): laid out by the core for the
// before-and-after rolls with both reversals on, placed on a 1600 x 900
// picture, and, when the window is built, painted as the roll window paints
// it, with QPainter into a QImage on the offscreen platform. What a toggle
// costs the open roll window is the layout, the placing and one paint.
//
// The song is loaded once from bytes made at start; only the roll is timed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "pipelines/RollLayout.h"
#include "smf/MidiFileLoader.h"
#include "support/CollectingSink.h"
#include "support/RunContext.h"

#ifdef ROVANTA_BENCH_PAINT
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "app/RollView.h"
#endif

namespace rovanta {
namespace {

constexpr int kEvents = 100000;
constexpr int kWidth = 1600, kHeight = 900;

void PutVlq(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t groups[5];
    int n = 0;
    groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
    while (value >>= 7) groups[n++] = static_cast<std::uint8_t>((value & 0x7F) | 0x80);
    while (n > 0) out.push_back(groups[--n]);
}

// Format 1 at 480 ticks a quarter, a conductor track and a track for each
// channel, written with running status as real files are (note offs as note
// ons of velocity 0): on every sixteenth a drum hit and three notes of one to
// eight sixteenths on the melodic channels in turn, the tempo changing every
// 64 sixteenths, until the song holds kEvents events.
std::vector<std::uint8_t> MakeSong()
{
    struct Timed {
        std::uint32_t tick;
        std::vector<std::uint8_t> bytes;  // status first
    };
    std::vector<std::vector<Timed>> tracks(17);  // 0: tempo; 1 + channel
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    int count = 0;
    for (std::uint32_t step = 0; count < kEvents; ++step) {
        const std::uint32_t tick = step * 120;
        if (step % 64 == 0) {
            const std::uint32_t tempo = 400000 + next(300000);
            tracks[0].push_back({tick, {0xFF, 0x51, 3, static_cast<std::uint8_t>(tempo >> 16),
                                        static_cast<std::uint8_t>(tempo >> 8), static_cast<std::uint8_t>(tempo)}});
            ++count;
        }
        const auto drum = static_cast<std::uint8_t>(35 + next(12));
        tracks[10].push_back({tick, {0x99, drum, 100}});
        tracks[10].push_back({tick + 60, {0x99, drum, 0}});
        count += 2;
        for (int voice = 0; voice < 3 && count < kEvents; ++voice) {
            std::uint8_t channel = static_cast<std::uint8_t>((step * 3 + voice) % 15);
            if (channel >= 9) ++channel;  // channel 10 is the drums'
            const auto key = static_cast<std::uint8_t>(36 + next(48));
            const std::uint32_t length = 120 * (1 + next(8));
            const auto status = static_cast<std::uint8_t>(0x90 | channel);
            tracks[1 + channel].push_back({tick, {status, key, 90}});
            tracks[1 + channel].push_back({tick + length, {status, key, 0}});
            count += 2;
        }
    }
    std::vector<std::uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 17, 0x01, 0xE0};
    for (std::vector<Timed>& events : tracks) {
        std::stable_sort(events.begin(), events.end(),
                         [](const Timed& a, const Timed& b) { return a.tick < b.tick; });
        std::vector<std::uint8_t> track;
        std::uint32_t last = 0;
        std::uint8_t running = 0;
        for (const Timed& e : events) {
            PutVlq(track, e.tick - last);
            last = e.tick;
            const bool same = e.bytes[0] == running && e.bytes[0] < 0xF0;
            track.insert(track.end(), e.bytes.begin() + (same ? 1 : 0), e.bytes.end());
            running = e.bytes[0] < 0xF0 ? e.bytes[0] : 0;
        }
        track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        const auto size = static_cast<std::uint32_t>(track.size());
        for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<std::uint8_t>(size >> shift));
        file.insert(file.end(), track.begin(), track.end());
    }
    return file;
}

// The song, loaded once for every benchmark.
struct Loaded {
    CollectingSink sink;
    RunContext ctx{sink};
    MidiFileLoader loader{ctx};
    std::int64_t events = 0;

    Loaded()
    {
        loader.LoadBytes(MakeSong(), "bench.mid");
        if (loader.FileLength() > 0) loader.BuildSong();
        if (loader.Song())
            for (const MusicEvent& e : loader.Song()->Track().Events()) events += e.kind == kind::kPairedNote ? 2 : 1;
    }
};

const Loaded& Song()
{
    static const Loaded loaded;
    return loaded;
}

const MirrorSettings kBoth{true, true, 1, {}};

bool Ready(benchmark::State& state)
{
    if (Song().loader.Song()) return true;
    std::string why = "the song did not load";
    for (const std::string& report : Song().sink.Reports()) why += "; " + report;
    state.SkipWithError(why.c_str());
    return false;
}

void Count(benchmark::State& state, const RollPair* rolls)
{
    state.counters["events"] = static_cast<double>(Song().events);
    if (rolls) state.counters["notes"] = static_cast<double>(rolls->before.notes.size() + rolls->after.notes.size());
}

// Both rolls in seconds and keys: the mirror copy made, paired and read.
void LayOut(benchmark::State& state)
{
    if (!Ready(state)) return;
    std::optional<RollPair> rolls;
    for (auto _ : state) {
        rolls = LayOutRolls(*Song().loader.Song(), kBoth);
        benchmark::DoNotOptimize(rolls->after.notes.data());
    }
    Count(state, &*rolls);
}
BENCHMARK(LayOut)->Unit(benchmark::kMillisecond);

// The rolls placed on the picture, as at every resize.
void Place(benchmark::State& state)
{
    if (!Ready(state)) return;
    const RollPair rolls = LayOutRolls(*Song().loader.Song(), kBoth);
    for (auto _ : state) {
        RollPicture picture = PlaceRolls(rolls, kWidth, kHeight);
        benchmark::DoNotOptimize(picture.notes.data());
    }
    Count(state, &rolls);
}
BENCHMARK(Place)->Unit(benchmark::kMillisecond);

#ifdef ROVANTA_BENCH_PAINT
// One paint of the placed rolls, as the roll window paints them.
void Paint(benchmark::State& state)
{
    if (!Ready(state)) return;
    const RollPair rolls = LayOutRolls(*Song().loader.Song(), kBoth);
    const RollPicture picture = PlaceRolls(rolls, kWidth, kHeight);
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        PaintRolls(painter, picture);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    Count(state, &rolls);
}
BENCHMARK(Paint)->Unit(benchmark::kMillisecond);

// What a toggle costs the open window: layout, placing and one paint.
void ToggleToPicture(benchmark::State& state)
{
    if (!Ready(state)) return;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        const RollPicture picture = PlaceRolls(LayOutRolls(*Song().loader.Song(), kBoth), kWidth, kHeight);
        QPainter painter(&image);
        PaintRolls(painter, picture);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    Count(state, nullptr);
}
BENCHMARK(ToggleToPicture)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
}  // namespace rovanta

int main(int argc, char** argv)
{
#ifdef ROVANTA_BENCH_PAINT
    // Painting needs fonts, not a display.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication application(argc, argv);
#endif
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
