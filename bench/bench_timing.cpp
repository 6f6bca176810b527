// How closely real playback keeps time: a generated song played as the Play
// command plays it (PlayPipeline, MusicPlayer, the real timer thread) on a
// message log, whose clock is read as each message is sent.
//
// The songs: division 96, 200 notes, each lasting half the step to the next.
// The player times one tick at most per millisecond (625 quarter notes a
// minute at this division; above that it reports "Division is too large!").
//   timer:    500 a minute, a note every 8 ticks (10 ms): two seconds. Every
//             delay is a whole number of milliseconds, so the player's own
//             rounding adds nothing and what is measured is the timer.
//   rounding: 480 a minute, a note every sixteenth (24 ticks, 31.25 ms): the
//             player rounds each delay down to whole milliseconds, and that
//             shows as drift.
//
// Counters, in microseconds, for the note messages measured from the first
// note-on against the times the song gives them: the median and the largest
// absolute error, and the error of the last message (the drift over the song).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "pipelines/PlayPipeline.h"
#include "playback/MusicPlayer.h"
#include "playback/Ports.h"
#include "playback/TimerThread.h"
#include "smf/MidiFileLoader.h"
#include "support/RunContext.h"

namespace rovanta {
namespace {

namespace fs = std::filesystem;

constexpr int kDivision = 96;
constexpr int kNotes = 200;

class CountingSink : public ReportSink {
public:
    void Show(std::string_view) override { ++count; }
    std::atomic<int> count{0};
};

void PutBe(std::vector<std::uint8_t>& out, std::uint32_t value, int width)
{
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Deltas here stay below 128 ticks, one byte each.
struct Generated {
    std::vector<std::uint8_t> file;
    std::vector<std::int64_t> idealMicros;  // each note message's time in the song
};

Generated MakeSong(std::uint32_t microsPerQuarter, std::uint32_t step)
{
    Generated song;
    std::vector<std::uint8_t> track{0x00, 0xFF, 0x51, 0x03};
    PutBe(track, microsPerQuarter, 3);
    track.insert(track.end(), {0x00, 0xC0, 0x00});
    std::uint32_t tick = 0;
    std::uint32_t last = 0;
    auto note = [&](std::uint8_t status, std::uint8_t key, std::uint8_t velocity) {
        track.insert(track.end(), {static_cast<std::uint8_t>(tick - last), status, key, velocity});
        last = tick;
        song.idealMicros.push_back(std::int64_t{tick} * microsPerQuarter / kDivision);
    };
    for (int i = 0; i < kNotes; ++i) {
        const auto key = static_cast<std::uint8_t>(48 + i % 24);
        tick = static_cast<std::uint32_t>(i) * step;
        note(0x90, key, 100);
        tick += step / 2;
        note(0x80, key, 64);
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});

    const std::string header = "MThd";
    song.file.assign(header.begin(), header.end());
    PutBe(song.file, 6, 4);
    PutBe(song.file, 0, 2);
    PutBe(song.file, 1, 2);
    PutBe(song.file, kDivision, 2);
    const std::string chunk = "MTrk";
    song.file.insert(song.file.end(), chunk.begin(), chunk.end());
    PutBe(song.file, static_cast<std::uint32_t>(track.size()), 4);
    song.file.insert(song.file.end(), track.begin(), track.end());
    return song;
}

// The log's note messages ("000123456 90 3C 64"), their times in microseconds.
std::vector<std::int64_t> NoteTimes(const std::string& log)
{
    std::vector<std::int64_t> times;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        if (space == std::string::npos || line.size() < space + 2) continue;
        const char status = line[space + 1];
        if (status == '8' || status == '9') times.push_back(std::stoll(line.substr(0, space)));
    }
    return times;
}

void BM_PlaybackTiming(benchmark::State& state)
{
    const Generated song =
        MakeSong(static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)));
    const fs::path path = fs::temp_directory_path() / ("rovanta-timing-" + std::to_string(::getpid()) + ".mid");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(song.file.data()), static_cast<std::streamsize>(song.file.size()));

    CountingSink sink;
    RunContext ctx(sink);
    MidiFileLoader loader(ctx);
    loader.Load(path.string());
    fs::remove(path);
    loader.BuildSong();
    if (!loader.Song()) {
        state.SkipWithError("the generated song did not load");
        return;
    }

    std::ostringstream log;
    for (auto _ : state) {
        const auto ports = MakeLogSystem(log);
        RealTimerService timers;
        std::mutex mutex;
        std::condition_variable changed;
        bool ended = false;
        MusicPlayer player(PlaybackEnv{ctx, *ports, timers});
        PlayPipeline pipeline(player);
        pipeline.Play(
            *loader.Song(), MirrorSettings{}, [&] {
                std::lock_guard lock(mutex);
                ended = true;
                changed.notify_all();
            },
            nullptr);
        {
            std::unique_lock lock(mutex);
            if (!changed.wait_for(lock, std::chrono::seconds(30), [&] { return ended; })) {
                state.SkipWithError("playback did not end");
                pipeline.Stop();
                return;
            }
        }
        while (!player.Finished()) timers.Sleep(10);
    }

    const std::vector<std::int64_t> sent = NoteTimes(log.str());
    if (sent.size() != song.idealMicros.size()) {
        state.SkipWithError("the log does not hold every note message");
        return;
    }
    std::vector<std::int64_t> errors;
    for (std::size_t i = 0; i < sent.size(); ++i)
        errors.push_back((sent[i] - sent[0]) - (song.idealMicros[i] - song.idealMicros[0]));
    const std::int64_t drift = errors.back();
    for (std::int64_t& e : errors) e = std::abs(e);
    std::sort(errors.begin(), errors.end());
    state.counters["median_abs_err_us"] = static_cast<double>(errors[errors.size() / 2]);
    state.counters["max_abs_err_us"] = static_cast<double>(errors.back());
    state.counters["end_drift_us"] = static_cast<double>(drift);
    state.counters["messages"] = static_cast<double>(sent.size());
    state.counters["reports"] = sink.count.load();
}
BENCHMARK(BM_PlaybackTiming)
    ->ArgNames({"us_per_quarter", "step"})
    ->Args({120000, 8})   // timer
    ->Args({125000, 24})  // rounding
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace rovanta
