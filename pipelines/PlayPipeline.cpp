#include "pipelines/PlayPipeline.h"

#include <utility>

namespace rovanta {

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
