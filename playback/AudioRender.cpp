#include "playback/AudioRender.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <system_error>

#include "playback/MidiPlayer.h"
#include "playback/VirtualTimer.h"

namespace rovanta {

namespace {

// Before every message the synthesizer renders up to the simulated clock, so
// each message sounds at its time in the file.
class RenderPort final : public MidiOutPort {
public:
    RenderPort(SynthPort& synth, const TimerService& clock, double rate, bool& failed)
        : synth_(synth), clock_(clock), rate_(rate), failed_(failed)
    {
    }

    bool SendShort(std::uint32_t message) override { return CatchUp() && synth_.SendShort(message); }
    bool SendLong(std::span<const std::uint8_t> message) override { return CatchUp() && synth_.SendLong(message); }
    bool Reset() override { return CatchUp() && synth_.Reset(); }
    // The synthesizer stays: the release tail is rendered after the player is done.
    bool Close() override { return CatchUp(); }

private:
    bool CatchUp()
    {
        const auto frames = static_cast<std::int64_t>(static_cast<double>(clock_.NowMicros()) * rate_ / 1e6);
        if (!synth_.RenderInto(frames)) failed_ = true;
        return !failed_;
    }

    SynthPort& synth_;
    const TimerService& clock_;
    double rate_;
    bool& failed_;
};

class RenderSystem final : public MidiOutSystem {
public:
    RenderSystem(SynthPort& synth, const TimerService& clock, double rate, bool& failed)
        : synth_(synth), clock_(clock), rate_(rate), failed_(failed)
    {
    }
    int DeviceCount() override { return 1; }
    std::unique_ptr<MidiOutPort> Open(int) override
    {
        return std::make_unique<RenderPort>(synth_, clock_, rate_, failed_);
    }
    std::string Name() const override { return "Built-in synthesizer, rendering into a file"; }

private:
    SynthPort& synth_;
    const TimerService& clock_;
    double rate_;
    bool& failed_;
};

}  // namespace

std::string AudioFileType(const std::filesystem::path& path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".wav") return "wav";
    if (ext == ".flac") return "flac";
    if (ext == ".ogg" || ext == ".oga") return "oga";
    return {};
}

RenderResult RenderToFile(RunContext& ctx, MidiF0Data& playCopy, std::int32_t initialTick, SynthConfig config,
                          const std::filesystem::path& output, const RenderControl& control)
{
    RenderResult result;
    // Appended piece by piece: g++ 12 warns falsely about "." + name at -O3.
    std::string hidden(1, '.');
    hidden += output.filename().string();
    hidden += ".part";
    const std::filesystem::path partial = output.parent_path() / hidden;
    config.renderFile = partial;
    config.renderFileType = AudioFileType(output);
    config.audio = false;
    auto removePartial = [&] {
        std::error_code ec;
        std::filesystem::remove(partial, ec);
    };
    const auto soundFont = FindSoundFont(config);
    if (!soundFont || config.renderFileType.empty()) return result;
    std::unique_ptr<SynthPort> synth = SynthPort::Create(*soundFont, config);
    if (!synth) {
        removePartial();
        return result;
    }

    bool failed = false;
    bool cancelled = false;
    VirtualTimerService clock;
    RenderSystem system(*synth, clock, config.sampleRate, failed);
    {
        MidiPlayer player(PlaybackEnv{ctx, system, clock});
        const std::int32_t count = playCopy.HasTrack() ? playCopy.Track().Count() : 0;
        std::int32_t played = 0;
        player.PlaySong(playCopy, kMidiMapper, [&played](std::int32_t index, std::int32_t, const MusicEvent*) {
            played = index + 1;
        }, initialTick);
        // The schedule runs on the simulated clock, one timer at a time.
        while (clock.PendingCount() > 0 && !failed) {
            if (control.cancel && control.cancel->load()) {
                cancelled = true;
                break;
            }
            clock.RunUntilIdle(1);
            if (control.progress && count > 0) control.progress(static_cast<double>(played) / count);
        }
        result.scheduleSeconds = static_cast<double>(clock.NowMicros()) / 1e6;
        // Voices still ringing at the end fade out, for up to the longest tail.
        const auto end = static_cast<std::int64_t>(result.scheduleSeconds * config.sampleRate);
        const auto last = end + static_cast<std::int64_t>(kMaxReleaseSeconds * config.sampleRate);
        if (!cancelled && !failed && !synth->RenderInto(end)) failed = true;
        while (!cancelled && !failed && synth->ActiveVoices() > 0 && synth->FramesRendered() < last)
            if (!synth->RenderInto(std::min(last, synth->FramesRendered() + 1))) failed = true;
        player.Release();
    }
    result.audioSeconds = static_cast<double>(synth->FramesRendered()) / config.sampleRate;
    if (!synth->FinishFile()) failed = true;
    synth.reset();
    if (cancelled || failed) {
        removePartial();
        result.outcome = cancelled ? RenderOutcome::kCancelled : RenderOutcome::kWriteFailed;
        return result;
    }
    std::error_code ec;
    std::filesystem::rename(partial, output, ec);
    if (ec) {
        removePartial();
        result.outcome = RenderOutcome::kWriteFailed;
        return result;
    }
    if (control.progress) control.progress(1.0);
    result.outcome = RenderOutcome::kWritten;
    return result;
}

}  // namespace rovanta
