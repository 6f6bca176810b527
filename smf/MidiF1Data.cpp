#include "smf/MidiF1Data.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "smf/MidiFileLoader.h"
#include "smf/SmfReader.h"
#include "song/Ticks.h"
#include "support/FileAccess.h"
#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {0x03000001, "The number of Track is too many!"},
    {0x03000002, "This file is not format 1 of midi."},
    {0x03000003, "Internal error has been occured in MidiF1Data!"},
    {0x03000004, "This is not Midi file!"},
    {0x03000005, "Can not open file!"},
    {0x03000006, "There are more than two master volume!"},
    {0x03000007, "Program change is set to drum.(SysEx has been found that use channel other than 10.)"},
    {0x03000008, "Time Sing error!"},
    {0x03000009, "Too many tempo data have been found!"},
    {0x0300000A, "There are more than two SysExTrack!"},
    {0x0300000B, "There are more than two system channel!"},
    {0x0300000C, "Duplicate Channel has been found!"},
    {0x0300000D, "Location of Time sign is invalid!"},
    {0x0300000E, "There are no more channels for mapping!"},
    {0x0300000F, "Can not merge drum tracks that have different program chagne!"},
    {0x03000010, "Can not merge tracks that have different program chagne!"},
    {0x03000011, "Try to divide track with more than two program change. There is no spare channel!"},
    {0x03000012, "No drum track has been found!"},
    {0x03000013, "There is the same channel already!"},
    {0x03000014, "Error occured in conversion of note to pitchbend!"},
    {0x03000015, "There is a treck that has no program change. 0 has been set!"},
    {0x03000016, "There is no master volume! 127 has been set!"},
    {0x03000017, "More than two pitch bend sensitivity were set to one track"},
    {0x03000018, "There is a track where pitch bend sensitivity is zero!"},
    {0x03000019, "Data is too large!"},
    {0x0300001A, "The Number of channels is invalid!"},
    {0x0300001B, "Begin point is invalid!"},
    {0x0300001D, "System exclusive is invalid!"},
    {0x0300001E, "Channel is invalid!"},
    {0x03000020, "Program change is invalid!"},
    {0x03000021, "Internal data is invalid!"},
};

constexpr OnceText kTrackRows[] = {
    {0x03000017, "More than one pitchbend sensitivity are found!", 0},
    {0x2E00001A, "Location of time sign is invalid!", 1},
    {0x2E00001B, "Pitchbend range is over the capaticty of conversion!", 2},
};

// The once-only M1DT codes re-armed whenever a MidiF1Data is created
// (0300000D, 0300000F, 03000010, 03000014); none of them is raised by a load.
constexpr std::array<int, 4> kRearmedFlags = {0, 2, 3, 5};

constexpr int kSplitTracks = 17;

bool IsOversize(const MusicEvent& e) { return e.length >= 256 && e.type != sysex::kExempt; }

// The first meta of a type within a table, or -1.
std::ptrdiff_t FindMeta(const std::vector<MusicEvent>& events, std::int32_t type)
{
    const auto at = std::find_if(events.begin(), events.end(), [&](const MusicEvent& e) { return e.IsMeta(type); });
    return at == events.end() ? -1 : at - events.begin();
}

// Removes the event, handing its delta to the next one, as RemoveEventAt does.
void RemoveAt(std::vector<MusicEvent>& events, std::ptrdiff_t i)
{
    if (i < 0) return;
    const auto index = static_cast<std::size_t>(i);
    if (index + 1 < events.size()) events[index + 1].delta = AddTicks(events[index + 1].delta, events[index].delta);
    events.erase(events.begin() + i);
}

std::string NameIn(const std::vector<MusicEvent>& events)
{
    const std::ptrdiff_t at = FindMeta(events, meta::kTrackName);
    if (at < 0) return {};
    const auto bytes = events[static_cast<std::size_t>(at)].Bytes();
    std::string name(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    name.resize(std::strlen(name.c_str()));
    return name;
}

MusicEvent EndOfTrack(std::int32_t delta)
{
    MusicEvent e(delta);
    e.kind = kind::kMeta;
    e.type = meta::kEndOfTrack;
    return e;
}

}  // namespace

const ErrorTable kFormatOneErrors{"M1DT", kRows, "MidiF1Data Error!"};
const OnceTable kFormatOneTrackWarnings{"M1TK", kTrackRows, "Undefined Error!"};

void ReportFormatOneError(RunContext& ctx, std::uint32_t code)
{
    Report(ctx, kFormatOneErrors, code);
}

MidiF1Data::MidiF1Data(RunContext& ctx, std::int32_t capacity) : ctx_(&ctx), capacity_(capacity)
{
    for (int flag : kRearmedFlags) ctx.formatOneWarnings.Clear(flag);
}

void MidiF1Data::ReportError(std::uint32_t code) const
{
    ReportFormatOneError(*ctx_, code);
}

MidiF1Data MidiF1Data::CreateFromFile(RunContext& ctx, const std::string& path, std::int32_t capacity,
                                      bool mayHandOver)
{
    MidiF1Data data(ctx, capacity);
    if (FileSizeOf(ctx, path) > static_cast<std::uint32_t>(capacity)) {
        data.ReportError(m1dt::kTooLarge);
        return data;
    }
    data.bytes_ = AllocBlock(ctx, static_cast<std::size_t>(capacity));
    std::uint32_t count = 0;
    if (!data.bytes_ || !ReadWholeFile(ctx, path, data.bytes_.data(), &count, static_cast<std::uint32_t>(capacity)))
        return data;
    data.dataLength = static_cast<std::int32_t>(count);

    F1Header header;
    if (ReadF1Header(ctx, data.bytes_.data(), count, header)) {
        data.division = header.division;
        data.announced_ = header.tracks;
        data.readPosition = static_cast<std::int32_t>(header.base + 14);
        data.ReadTracks();
        data.PairTracks();
    } else if (mayHandOver) {
        Format0Result format0 = LoadFromFile(ctx, path, capacity);
        if (format0.song.State() == track_state::kPaired) {
            data.division = format0.song.division;
            data.SplitSong(format0.song);
        }
    }
    data.EnsureMasterVolume(false);
    return data;
}

void MidiF1Data::ReadTracks()
{
    if (state_ != 0) {
        ReportError(m1dt::kInternalError);
        return;
    }
    for (std::int32_t i = 0; i < announced_ && i < kMaxTracks; ++i) {
        if (readPosition >= dataLength) {
            ReportError(m1dt::kEndedEarly);
            break;
        }
        std::uint32_t chunkSize = 0;
        tracks_.push_back(ReadTrackChunk(*ctx_, bytes_.data(), static_cast<std::uint32_t>(dataLength),
                                         static_cast<std::uint32_t>(readPosition), capacity_, chunkSize));
        ctx_->formatOneTrackWarnings.ClearAll();
        readPosition += static_cast<std::int32_t>(chunkSize);
    }
    state_ = 1;
}

void MidiF1Data::PairTracks()
{
    if (state_ != 1) {
        ReportError(m1dt::kInternalError);
        return;
    }
    for (MidiTrackData& track : tracks_) track.PairNotes();
    state_ = 2;
}

MidiF1Data MidiF1Data::CreateFromSong(const MidiF0Data& song, std::int32_t capacity)
{
    MidiF1Data data(song.Context(), capacity);
    if (song.State() != track_state::kPaired) {
        data.ReportError(m1dt::kInternalError);
        return data;
    }
    data.division = song.division;
    data.SplitSong(song);
    return data;
}

void MidiF1Data::SplitSong(const MidiF0Data& song)
{
    tracks_.clear();
    for (int i = 0; i < kSplitTracks; ++i) tracks_.emplace_back(*ctx_, track_state::kPaired, capacity_);
    std::array<std::int64_t, kSplitTracks> running{};
    if (song.HasTrack()) {
        for (const MusicEvent& e : song.Track().Events()) {
            for (std::int64_t& t : running) t += e.delta;
            if (e.IsEndOfTrack()) {
                for (int k = 0; k < kSplitTracks; ++k) {
                    MidiTrackData& track = tracks_[static_cast<std::size_t>(k)];
                    if (track.Count() > 0 && track.At(track.Count() - 1).IsEndOfTrack()) continue;
                    MusicEvent end = EndOfTrack(ClampTicks(running[static_cast<std::size_t>(k)]));
                    const std::uint8_t bytes[] = {0xFF, 0x2F, 0x00};
                    end.SetBytes(bytes, 3);
                    track.AppendEvent(std::move(end));
                }
                running.fill(0);
                continue;
            }
            // Metas, then system exclusive and channel 0 together, then one track per channel.
            int k = 1;
            if (e.kind == kind::kMeta)
                k = 0;
            else if (e.channel >= 0 && e.channel <= 15)
                k = e.channel + 1;
            MusicEvent copy(e);
            copy.delta = ClampTicks(running[static_cast<std::size_t>(k)]);
            tracks_[static_cast<std::size_t>(k)].AppendEvent(std::move(copy));
            running[static_cast<std::size_t>(k)] = 0;
        }
    }
    state_ = 2;
}

void MidiF1Data::EnsureMasterVolume(bool report)
{
    bool found = false;
    for (MidiTrackData& track : tracks_) {
        if (track.FindMasterVolume() < 0) continue;
        if (found) ReportError(m1dt::kSecondMasterVolume);
        found = true;
    }
    if (found) return;
    if (report) ReportError(m1dt::kNoMasterVolume);
    if (tracks_.empty()) return;
    auto target = std::find_if(tracks_.begin(), tracks_.end(),
                               [](const MidiTrackData& t) { return t.FirstChannel() != kNoChannel; });
    if (target == tracks_.end()) target = tracks_.begin();
    target->InsertMasterVolume(127);
}

void MergeTrack(MidiTrackData& target, const MidiTrackData& source)
{
    // Works on the two sides as copies would: the target's events are taken
    // over (never needed again as they were), the source's are copied once.
    std::vector<MusicEvent> left;
    if (target.State() == track_state::kPaired)
        left = target.TakeEvents();
    else
        target.ReportError(mdtk::kInternalError);
    target.ClearEvents();
    std::vector<MusicEvent> right;
    if (source.State() == track_state::kPaired)
        right.assign(source.Events().begin(), source.Events().end());
    else
        source.ReportError(mdtk::kInternalError);

    const std::string a = NameIn(left);
    const std::string b = NameIn(right);
    std::string joined = a.empty() ? b : a + " / " + b;
    RemoveAt(left, FindMeta(left, meta::kTrackName));
    RemoveAt(right, FindMeta(right, meta::kTrackName));
    if (joined.size() >= 128) joined = "long name";
    if (!joined.empty()) {
        MusicEvent name(0);
        name.kind = kind::kMeta;
        name.type = meta::kTrackName;
        name.SetBytes(reinterpret_cast<const std::uint8_t*>(joined.data()), static_cast<std::int32_t>(joined.size()));
        left.insert(left.begin(), std::move(name));
    }
    // Releasing the two working copies reports their long events, as releasing any track does.
    const auto oversize = std::count_if(left.begin(), left.end(), IsOversize) +
                          std::count_if(right.begin(), right.end(), IsOversize);

    // At equal times the source's event goes first.
    std::vector<MusicEvent> merged;
    merged.reserve(std::min(left.size() + right.size(), static_cast<std::size_t>(target.MaxEvents())));
    const std::size_t limit = static_cast<std::size_t>(target.MaxEvents());
    bool full = false;
    std::size_t i = 0, j = 0;
    while (i < left.size() || j < right.size()) {
        const bool fromSource = i == left.size() || (j < right.size() && left[i].delta >= right[j].delta);
        MusicEvent& taken = fromSource ? right[j++] : left[i++];
        if (fromSource && i < left.size()) left[i].delta -= taken.delta;
        if (!fromSource && j < right.size()) right[j].delta -= taken.delta;
        if (merged.size() >= limit) {
            if (!full) target.ReportError(mdtk::kLargeData);
            full = true;
            continue;
        }
        merged.push_back(std::move(taken));
    }
    for (auto k = oversize; k > 0; --k) target.ReportError(mdtk::kCanNotAddData);

    // Exactly one End of Track, last.
    std::vector<MusicEvent> cleaned;
    cleaned.reserve(merged.size() + 1);
    std::int32_t carried = 0;
    for (std::size_t k = 0; k < merged.size(); ++k) {
        MusicEvent& e = merged[k];
        e.delta = AddTicks(e.delta, carried);
        carried = 0;
        if (e.IsEndOfTrack() && k + 1 < merged.size()) {
            carried = e.delta;
            continue;
        }
        cleaned.push_back(std::move(e));
    }
    if (cleaned.empty() || !cleaned.back().IsEndOfTrack()) {
        std::int32_t delta = 0;
        if (cleaned.size() >= limit) {  // a full table gives its last place to the end
            delta = cleaned.back().delta;
            cleaned.pop_back();
        }
        cleaned.push_back(EndOfTrack(delta));
    }
    target.SetEvents(std::move(cleaned));
}

}  // namespace rovanta
