#pragma once
// Play and Stop of the main window, without any window: each Play builds a
// fresh mirror copy of the loaded song (the reversals as for Save), pairs it
// again and starts it with the trim of the empty lead-in; Stop stops it. The
// mirror copy of the last Play is kept until the next Play or until this
// object goes. Window thread (or the command-line job's thread).

#include <optional>

#include <filesystem>

#include "pipelines/MirrorPipeline.h"
#include "playback/AudioRender.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"

namespace rovanta {

// Audio export: what Play would play of the loaded song with these settings,
// rendered into `output` (RenderToFile) instead of sounding.
RenderResult RenderMirrored(RunContext& ctx, const MidiF0Data& loaded, const MirrorSettings& settings,
                            const SynthConfig& synth, const std::filesystem::path& output,
                            const RenderControl& control = {});

class PlayPipeline {
public:
    // The player must outlive the pipeline.
    explicit PlayPipeline(MusicPlayer& player) : player_(&player) {}
    // Halts a playback of the kept copy before the copy goes.
    ~PlayPipeline();

    PlayPipeline(const PlayPipeline&) = delete;
    PlayPipeline& operator=(const PlayPipeline&) = delete;

    void Play(const MidiF0Data& loaded, const MirrorSettings& settings, MusicPlayer::EndCallback end,
              MusicPlayer::TickCallback tick);
    // 1 once the playback of the last Play has stopped; 0 when nothing was played.
    int Stop();

    const MidiF0Data* MirrorCopy() const { return mirror_ ? &*mirror_ : nullptr; }

private:
    MusicPlayer* player_;
    std::optional<MidiF0Data> mirror_;
};

}  // namespace rovanta
