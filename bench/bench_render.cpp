// Audio export speed: a bundled song (47 s of music) rendered into a WAV file
// on tmpfs, as `rovanta-cli render` does, without and with both reversals.
// The counter x_realtime is seconds of audio per second of wall time.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "pipelines/PlayPipeline.h"
#include "smf/MidiFileLoader.h"
#include "support/CollectingSink.h"
#include "support/RunContext.h"

namespace rovanta {
namespace {

void Render(benchmark::State& state, bool reversed)
{
    CollectingSink sink;
    RunContext ctx(sink);
    MidiFileLoader loader(ctx);
    loader.Load(std::string(ROVANTA_TEST_DATA) + "/mma--twinkle-kar.kar");
    if (loader.FileLength() > 0) loader.BuildSong();
    if (!loader.Song() || !FindSoundFont(SynthConfig{})) {
        state.SkipWithError("no song or no General MIDI SoundFont");
        return;
    }
    const std::filesystem::path out =
        std::filesystem::path(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") /
        ("rovanta-bench-" + std::to_string(getpid()) + ".wav");
    double audio = 0, wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const RenderResult result =
            RenderMirrored(ctx, *loader.Song(), MirrorSettings{reversed, reversed, 1, {}}, SynthConfig{}, out);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result.outcome != RenderOutcome::kWritten) state.SkipWithError("the render failed");
        audio += result.audioSeconds;
    }
    std::filesystem::remove(out);
    state.counters["x_realtime"] = wall > 0 ? audio / wall : 0;
    state.counters["audio_s"] = audio / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(Render, plain, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Render, reversed, true)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace rovanta
