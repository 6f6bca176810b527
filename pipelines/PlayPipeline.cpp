#include "pipelines/PlayPipeline.h"

#include <utility>

namespace rovanta {

RenderResult RenderMirrored(RunContext& ctx, const MidiF0Data& loaded, const MirrorSettings& settings,
                            const SynthConfig& synth, const std::filesystem::path& output,
                            const RenderControl& control)
{
    MidiF0Data mirror = MirroredCopy(loaded, settings);
    mirror.PairTrack();
    std::int32_t cut = 0;
    MidiF0Data playCopy = MakePlayCopy(mirror, 1, cut);
    return RenderToFile(ctx, playCopy, cut, synth, output, control);
}

PlayPipeline::~PlayPipeline()
{
    if (mirror_) player_->DropPlayCopy(*mirror_);
}

void PlayPipeline::Play(const MidiF0Data& loaded, const MirrorSettings& settings, MusicPlayer::EndCallback end,
                        MusicPlayer::TickCallback tick)
{
    if (mirror_) {
        player_->DropPlayCopy(*mirror_);
        mirror_.reset();
    }
    mirror_.emplace(MirroredCopy(loaded, settings));
    mirror_->PairTrack();
    player_->PlayStart(*mirror_, std::move(end), std::move(tick), 1);
}

int PlayPipeline::Stop()
{
    return mirror_ ? player_->PlayStop(*mirror_) : 0;
}

}  // namespace rovanta
