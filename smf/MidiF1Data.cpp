#include "smf/MidiF1Data.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <queue>

#include "smf/Format0Reader.h"
#include "smf/SmfReader.h"
#include "song/Ticks.h"
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

bool ReadF1Header(RunContext& ctx, std::span<const std::uint8_t> image, F1Header& header)
{
    const std::uint8_t* bytes = image.data();
    const auto length = static_cast<std::uint32_t>(image.size());
    if (length == 0) return false;
    if (!IsId(bytes, length, 0, "MThd") && !IsId(bytes, length, kPrefix, "MThd")) {
        ReportFormatOneError(ctx, m1dt::kNotMidi);
        return false;
    }
    const std::uint32_t base = HeaderBase(bytes, length);
    if (std::uint64_t{base} + kHeaderSize > length) {
        ReportFormatOneError(ctx, m1dt::kNotMidi);
        return false;
    }
    if (Be16(bytes + base + 8) != 1) {
        ReportFormatOneError(ctx, m1dt::kNotFormat1);
        return false;
    }
    header.tracks = static_cast<std::int32_t>(Be16(bytes + base + 10));
    if (header.tracks > 63) {
        ReportFormatOneError(ctx, m1dt::kTooManyTracks);
        header.tracks = 32;
    }
    header.division = static_cast<std::int32_t>(Be16(bytes + base + 12));
    header.base = base;
    return true;
}

MidiF1Data MidiF1Data::CreateFromFile(RunContext& ctx, std::span<const std::uint8_t> file, std::int32_t capacity,
                                      bool mayHandOver)
{
    MidiF1Data data(ctx, capacity);
    if (file.size() > static_cast<std::size_t>(capacity)) {
        data.ReportError(m1dt::kTooLarge);
        return data;
    }
    data.dataLength = static_cast<std::int32_t>(file.size());

    F1Header header;
    if (ReadF1Header(ctx, file, header)) {
        data.division = header.division;
        data.announced_ = header.tracks;
        data.readPosition = static_cast<std::int32_t>(header.base + kHeaderSize);
        data.file_ = file;
        data.ReadTracks();
        data.file_ = {};
        data.PairTracks();
    } else if (mayHandOver) {
        Format0Result format0 = ReadFormat0(ctx, file, capacity);
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
        tracks_.push_back(ReadTrackChunk(*ctx_, file_.data(), static_cast<std::uint32_t>(dataLength),
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

MidiF1Data MidiF1Data::CreateFromSong(MidiF0Data& song, std::int32_t capacity)
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

void MidiF1Data::SplitSong(MidiF0Data& song)
{
    tracks_.clear();
    for (int i = 0; i < kSplitTracks; ++i) tracks_.emplace_back(*ctx_, track_state::kPaired, capacity_);
    std::array<std::int64_t, kSplitTracks> running{};
    // Each track gets its room at once, so no table regrows while filling.
    auto destination = [](const MusicEvent& e) {
        if (e.kind == kind::kMeta) return 0;
        return e.channel <= 15 ? e.channel + 1 : 1;
    };
    if (song.HasTrack()) {
        std::array<std::int32_t, kSplitTracks> counts{};
        for (const MusicEvent& e : song.Track().Events()) ++counts[static_cast<std::size_t>(destination(e))];
        for (int k = 0; k < kSplitTracks; ++k)
            tracks_[static_cast<std::size_t>(k)].ReserveEvents(counts[static_cast<std::size_t>(k)] + 1);
    }
    if (song.HasTrack()) {
        for (MusicEvent& e : song.Track().Events()) {
            for (std::int64_t& t : running) t += e.delta;
            if (e.IsEndOfTrack()) {
                for (int k = 0; k < kSplitTracks; ++k) {
                    MidiTrackData& track = tracks_[static_cast<std::size_t>(k)];
                    if (track.Count() > 0 && track.At(track.Count() - 1).IsEndOfTrack()) continue;
                    MusicEvent end = MusicEvent::MakeEndOfTrack(ClampTicks(running[static_cast<std::size_t>(k)]));
                    const std::uint8_t bytes[] = {0xFF, 0x2F, 0x00};
                    end.SetBytes(bytes, 3);
                    track.AppendEvent(std::move(end));
                }
                running.fill(0);
                continue;
            }
            // Metas, then system exclusive and channel 0 together, then one track per channel.
            const int k = destination(e);
            // Moved, not copied: a moved-from event still counts as long for
            // the song's release, just as the copied one did.
            MusicEvent moved(std::move(e));
            moved.delta = ClampTicks(running[static_cast<std::size_t>(k)]);
            tracks_[static_cast<std::size_t>(k)].AppendEvent(std::move(moved));
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

}  // namespace rovanta
