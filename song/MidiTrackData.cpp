#include "song/MidiTrackData.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "song/Ticks.h"
#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {0x0D000001, "MidiTrackData Internal Error"},
    {0x0D000002, "Undefined Midi Event"},
    {0x0D000003, "Chanel is wrong"},
    {0x0D000004, "MidiTrackData error."},
    {0x0D000005, "Tempo is wrong."},
    {0x0D000006, "Large data"},
    {0x0D000007, "This is not a midi file."},
    {0x0D000008, "Drum range is not within 35 to 81. Data is modified."},
    {0x0D000009, "MidiTrackData error."},
    {0x0D00000A, "MidiTrackData error."},
    {0x0D00000B, "MidiTrackData error."},
    {0x0D00000C, "Wrong program change is modified to zero."},
    {0x0D00000D, "Duplicate note on has been found."},
    {0x0D00000E, "Duplicate note off has been found."},
    {0x0D00000F, "MidiTrackData error."},
    {0x0D000010, "Invalid parameter."},
    {0x0D000011, "MidiTrackData error."},
    {0x0D000012, "MidiTrackData error."},
    {0x0D000013, "Drum bank select is wrong."},
    {0x0D000014, "Note number is wrong."},
    {0x0D000015, "MidiTrackData tempo data is wrong."},
    {0x0D000016, "MidiTrackData error."},
    {0x0D000017, "MidiTrackData error."},
    {0x0D000018, "Can not find center note!"},
    {0x0D000019, "Musical data is invalid!"},
    {0x0D00001A, "Can not add data!"},
    {0x0D00001B, "Musical data is invalid!"},
    {0x0D00001C, "Can not divice data!"},
    {0x0D00001D, "The number of voice is invalid!"},
    {0x0D00001E, "Channel volume is invalid!"},
    {0x0D00001F, "Can not marge tracks!"},
    {0x0D000020, "Error occured in channel data!"},
    {0x0D000021, "Error occured in note!"},
    {0x0D000022, "Error occured in adding data!"},
    {0x0D000023, "Error occured in connecting notes!"},
    {0x0D000024, "Value is invalid!"},
    {0x0D000025, "Data is invalid!"},
    {0x0D000026, "Error occured in track!"},
    {0x0D000027, "Error occured in time sign!"},
    {0x0D000028, "Error occured in adding data!"},
    {0x0D000029, "Error occured in data operation!"},
    {0x0D00002A, "Error occured in reducing voice!"},
    {0x0D00002B, "Error occured in pitch bend editing!"},
    {0x0D00002C, "Error occured in data editing!"},
    {0x0D00002D, "Error occured in data editing!"},
};

// Eight flags; the two volume warnings share one.
constexpr OnceText kWarningRows[] = {
    {0x0D000002, "未定義のMIDIイベントが含まれていました。", 0},
    {0x0D000009, "複数のボリュームが設定されています。", 1},
    {0x0D00000A, "複数のパンが設定されています。", 2},
    {0x0D00000B, "サイズが大きすぎるイベントが含まれています。", 3},
    {0x0D00000F, "音の間引きに失敗しました。", 4},
    {0x0D000011, "複数のマスターボリュームが設定されています。", 1},
    {0x0D000012, "トップノートは間引かないを指定していますが、指定をはずして間引きました。", 5},
    {0x0D000016, "Poly Pressのイベントが含まれていました。", 6},
    {0x0D000017, "内部処理のエラーでノートナンバーが異常になりましたので０に修正しました。", 7},
};

}  // namespace

const ErrorTable kTrackErrors{"MDTK", kRows, "MidiTrackData error."};
const OnceTable kTrackWarnings{"MDTK", kWarningRows, "Midiのトラックデータでエラーが発生しました。"};

MidiTrackData::MidiTrackData(RunContext& ctx, std::int32_t state, std::int32_t capacity)
    : ctx_(&ctx), state_(state), capacity_(capacity)
{
}

MidiTrackData MidiTrackData::Copy(const MidiTrackData& source, std::int32_t capacity)
{
    MidiTrackData copy(*source.ctx_, track_state::kPaired, capacity);
    if (source.state_ != track_state::kPaired) {
        copy.ReportError(mdtk::kInternalError);
        return copy;
    }
    std::size_t n = source.events_.size();
    if (n > static_cast<std::size_t>(copy.MaxEvents())) {
        // Each event that finds the table full is refused with its own report.
        for (std::size_t k = static_cast<std::size_t>(copy.MaxEvents()); k < n; ++k) copy.ReportError(mdtk::kLargeData);
        n = static_cast<std::size_t>(copy.MaxEvents());
    }
    // A copy is unpaired next (for playing or saving), often then played
    // backwards: room for the note offs and the reversal's placeholders now
    // spares moving the whole table later. Room never written costs nothing.
    const std::size_t notes = CountPairedNotes(std::span(source.events_).first(n));
    copy.events_.reserve(n + notes + kReversalRoom);
    copy.events_.assign(source.events_.begin(), source.events_.begin() + static_cast<std::ptrdiff_t>(n));
    return copy;
}

MidiTrackData& MidiTrackData::operator=(MidiTrackData&& other) noexcept
{
    if (this != &other) {
        for (const MusicEvent& event : events_)
            if (event.IsOversize()) ReportError(mdtk::kCanNotAddData);
        ctx_ = other.ctx_;
        state_ = other.state_;
        capacity_ = other.capacity_;
        block_ = std::move(other.block_);
        events_ = std::exchange(other.events_, {});
        dataLength = other.dataLength;
        readPosition = other.readPosition;
    }
    return *this;
}

MidiTrackData::~MidiTrackData()
{
    for (const MusicEvent& event : events_)
        if (event.IsOversize()) ReportError(mdtk::kCanNotAddData);
}

MemoryBlock& MidiTrackData::Block()
{
    if (!block_ && capacity_ > 0) block_ = AllocBlock(*ctx_, static_cast<std::size_t>(capacity_));
    return block_;
}

void MidiTrackData::ReportError(std::uint32_t code) const
{
    Report(*ctx_, kTrackErrors, code);
}

void MidiTrackData::ReportWarning(std::uint32_t code) const
{
    ReportOnce(*ctx_, ctx_->trackWarnings, kTrackWarnings, code);
}

void MidiTrackData::SetEvents(std::vector<MusicEvent> events, RoomCheck check)
{
    if (check == RoomCheck::kChecked && events.size() > static_cast<std::size_t>(MaxEvents())) {
        ReportError(mdtk::kLargeData);
        events.erase(events.begin() + MaxEvents(), events.end());
    }
    events_ = std::move(events);
}

bool MidiTrackData::AppendEvent(MusicEvent event)
{
    if (Count() >= MaxEvents()) {
        ReportError(mdtk::kLargeData);
        return false;
    }
    events_.push_back(std::move(event));
    return true;
}

bool MidiTrackData::InsertEvent(std::int32_t position, MusicEvent event, RoomCheck check)
{
    if (check == RoomCheck::kChecked && Count() >= MaxEvents()) {
        ReportError(mdtk::kLargeData);
        return false;
    }
    if (position < 0 || position > Count()) {
        ReportError(mdtk::kInternalError);
        return false;
    }
    events_.insert(events_.begin() + position, std::move(event));
    return true;
}

void MidiTrackData::RemoveEventAt(std::int32_t i)
{
    if (i < 0 || i >= Count()) return;
    if (i + 1 < Count()) At(i + 1).delta = AddTicks(At(i + 1).delta, At(i).delta);
    events_.erase(events_.begin() + i);
}

void MidiTrackData::SwapEvents(std::int32_t i, std::int32_t j)
{
    if (i == j) return;
    std::swap(At(i), At(j));
}

void MidiTrackData::SwapKeepTimes(std::int32_t i, std::int32_t j)
{
    if (i == j) return;
    std::swap(At(i), At(j));
    std::swap(At(i).delta, At(j).delta);
}

void MidiTrackData::AddTextMeta(std::int32_t type, const std::string& text)
{
    MusicEvent event(0);
    event.kind = kind::kMeta;
    event.type = type;
    event.SetBytes(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::int32_t>(text.size()));
    InsertEvent(0, std::move(event));
}

void MidiTrackData::RemoveMeta(std::int32_t type)
{
    for (std::int32_t i = 0; i < Count(); ++i) {
        if (At(i).IsMeta(type)) {
            RemoveEventAt(i);
            return;
        }
    }
}

int MidiTrackData::GetMetaText(std::int32_t type, std::string& text) const
{
    text.clear();
    for (const MusicEvent& event : events_) {
        if (!event.IsMeta(type)) continue;
        text = event.Text();
        return 1;
    }
    return 0;
}

int MidiTrackData::FindTimeSignature(std::int32_t* value) const
{
    for (const MusicEvent& event : events_) {
        if (event.IsMeta(meta::kTimeSignature)) {
            *value = event.value;
            return 1;
        }
    }
    return 0;
}

std::int32_t MidiTrackData::FindMasterVolume()
{
    std::int32_t volume = -1;
    bool found = false;
    for (const MusicEvent& event : events_) {
        if (event.kind != kind::kSysEx || event.type != sysex::kMasterVolume) continue;
        if (found) ReportWarning(mdtk::kSecondMasterVolume);
        found = true;
        volume = event.value;
    }
    return volume;
}

void MidiTrackData::InsertMasterVolume(std::int32_t v)
{
    InsertEvent(0, MusicEvent::MakeMasterVolume(v));
}

std::int32_t MidiTrackData::FirstChannel() const
{
    for (const MusicEvent& event : events_)
        if (event.channel != kNoChannel && !event.IsSysEx()) return event.channel;
    return kNoChannel;
}

std::uint32_t MidiTrackData::DrumChannels() const
{
    std::uint32_t drums = 1u << 9;
    for (const MusicEvent& event : events_)
        if (event.kind == kind::kSysEx && event.type == sysex::kDrumPart && event.channel <= 15)
            drums |= 1u << event.channel;
    return drums;
}

bool MidiTrackData::IsDrumChannel(std::int32_t channel) const
{
    return channel >= 0 && channel <= 15 && ((DrumChannels() >> channel) & 1u);
}

}  // namespace rovanta
