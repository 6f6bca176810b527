#include "song/MusicEvent.h"

#include <algorithm>
#include <cstring>

#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {muev::kTooLarge,
     "Event data size is too large! If it includes MFi terminal tone data, it would not be a problem."},
    {muev::kEventDataError, "Error occured in event data!"},
};

constexpr std::size_t kSpare = 8;

std::size_t Count(std::int32_t n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }
}  // namespace

const ErrorTable kMusicEventErrors{"MUEV", kRows, "Error occured in MusicEvent!"};

void MusicEvent::ReportError(RunContext& ctx, std::uint32_t code)
{
    Report(ctx, kMusicEventErrors, code);
}

static_assert(sizeof(MusicEvent) <= 32, "a full table of events must stay within 4 MB");

MusicEvent::MusicEvent(const MusicEvent& other) : channel(other.channel)
{
    Assign(other);
}

MusicEvent& MusicEvent::operator=(const MusicEvent& other)
{
    if (this != &other) {
        Assign(other);
        channel = other.channel;
    }
    return *this;
}

void MusicEvent::Assign(const MusicEvent& other)
{
    if (this == &other) return;
    delta = other.delta;
    if (other.bytes) {
        // Only the valid bytes travel; the spare room of the copy is zero again.
        const std::size_t n = std::min(Count(other.length), other.bytes.size());
        bytes = EventBytes::TryAllocate(Count(other.length) + kSpare);
        if (bytes) std::memcpy(bytes.data(), other.bytes.data(), n);
    } else {
        bytes.Release();
    }
    length = other.length;
    kind = other.kind;
    note = other.note;
    duration = other.duration;
    velocity = other.velocity;
    type = other.type;
    value = other.value;
}

void MusicEvent::SetBytes(const std::uint8_t* source, std::int32_t n)
{
    if (n <= 0) return;
    bytes = EventBytes::TryAllocate(Count(n) + kSpare);
    if (bytes) std::memcpy(bytes.data(), source, Count(n));
    length = n;
}

void MusicEvent::ResizeBytes(std::int32_t n)
{
    EventBytes grown = EventBytes::TryAllocate(Count(n) + kSpare);
    if (grown && bytes) {
        const std::size_t keep = std::min({Count(length), bytes.size(), grown.size()});
        std::memcpy(grown.data(), bytes.data(), keep);
    }
    bytes = std::move(grown);
}

void MusicEvent::SetByte(RunContext& ctx, std::int32_t position, std::uint8_t byte)
{
    if (position < 0) {
        ReportError(ctx, muev::kEventDataError);
        return;
    }
    if (std::int64_t{position} >= std::int64_t{length} + std::int64_t{kSpare}) ResizeBytes(position + 1);
    if (!bytes || static_cast<std::size_t>(position) >= bytes.size()) {
        ReportError(ctx, muev::kEventDataError);
        return;
    }
    bytes.data()[position] = byte;
}

std::uint8_t MusicEvent::GetByte(RunContext& ctx, std::int32_t position) const
{
    if (position < 0 || std::int64_t{position} >= std::int64_t{length} + std::int64_t{kSpare} || !bytes) {
        ReportError(ctx, muev::kEventDataError);
        return 0;
    }
    if (static_cast<std::size_t>(position) >= bytes.size()) return 0;
    return bytes.data()[position];
}

std::int32_t MusicEvent::CopyBytesTo(RunContext& ctx, std::uint8_t* destination) const
{
    if (!bytes) {
        ReportError(ctx, muev::kEventDataError);
        return 0;
    }
    const std::size_t n = std::min(Count(length), bytes.size());
    std::memcpy(destination, bytes.data(), n);
    return static_cast<std::int32_t>(n);
}

std::span<const std::uint8_t> MusicEvent::Bytes() const
{
    if (!bytes) return {};
    return {bytes.data(), std::min(Count(length), bytes.size())};
}

std::string MusicEvent::Text() const
{
    const auto view = Bytes();
    const auto end = std::find(view.begin(), view.end(), std::uint8_t{0});
    return std::string(view.begin(), end);
}

MusicEvent MusicEvent::MakeEndOfTrack(std::int32_t delta)
{
    MusicEvent e(delta);
    e.kind = kind::kMeta;
    e.type = meta::kEndOfTrack;
    return e;
}

MusicEvent MusicEvent::MakeMasterVolume(std::int32_t v)
{
    MusicEvent event;
    event.kind = kind::kSysEx;
    event.type = sysex::kMasterVolume;
    event.value = v;
    event.channel = kNoChannel;
    const std::uint8_t message[] = {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00,
                                    static_cast<std::uint8_t>(v), 0xF7};
    event.SetBytes(message, sizeof message);
    return event;
}

}  // namespace rovanta
