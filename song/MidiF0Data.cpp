#include "song/MidiF0Data.h"

#include <algorithm>
#include <cstddef>

#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {0x04000001, "This file is not Format 0!"},
    {0x04000002, "Can not open the file!"},
    {0x04000003, "The number of track is invalid! in MidiF0Data!"},
    {0x04000004, "This is not a MIDI file. Or maybe mac binary is attached to the file!"},
    {0x04000005, "Internal error occured in MidiF0Data!"},
    {0x04000008, "The number of measure is invalid!"},
    {0x04000009, "Musical information is wrong!"},
    {0x0400000A, "Error occured during stop process!"},
    {0x0400000B, "The end of track is invalid!"},
};

constexpr OnceText kWarningRows[] = {
    {0x04000007, "拍子記号の位置が異常です。", 0},
};
const OnceTable kSongWarnings{"M0DT", kWarningRows, "Error occurred in MidiF0Data!"};
}  // namespace

const ErrorTable kSongErrors{"M0DT", kRows, "Error occurred in MidiF0Data!"};

MidiF0Data::MidiF0Data(RunContext& ctx, std::int32_t capacity, std::int32_t state, std::int32_t division)
    : division(division), ctx_(&ctx), state_(state), capacity_(capacity),
      track_(std::in_place, ctx, state, capacity)
{
    ctx.songWarnings.ClearAll();
}

MidiF0Data MidiF0Data::Copy(const MidiF0Data& source)
{
    MidiF0Data copy(*source.ctx_, kCapacity, source.state_, source.division);
    if (source.track_)
        copy.track_ = MidiTrackData::Copy(*source.track_, kCapacity);
    else
        copy.track_.reset();
    return copy;
}

MemoryBlock& MidiF0Data::Block()
{
    return block_ ? block_ : Block(static_cast<std::size_t>(std::max(capacity_, 0)));
}

MemoryBlock& MidiF0Data::Block(std::size_t size)
{
    size = std::min(size, static_cast<std::size_t>(std::max(capacity_, 0)));
    if (block_.size() < size) block_ = AllocBlock(*ctx_, size);
    return block_;
}

void MidiF0Data::ReportError(std::uint32_t code) const
{
    Report(*ctx_, kSongErrors, code);
}

void MidiF0Data::ReportWarning(std::uint32_t code) const
{
    ReportOnce(*ctx_, ctx_->songWarnings, kSongWarnings, code);
}

void MidiF0Data::PairTrack()
{
    if (state_ != track_state::kEventForm || !track_) {
        ReportError(m0dt::kInternalError);
        return;
    }
    track_->PairNotes();
    state_ = track_state::kPaired;
}

void MidiF0Data::UnpairTrack()
{
    if (state_ != track_state::kPaired || !track_) {
        ReportError(m0dt::kInternalError);
        return;
    }
    track_->UnpairNotes();
    state_ = track_state::kEventForm;
}

}  // namespace rovanta
