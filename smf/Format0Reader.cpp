#include "smf/Format0Reader.h"

#include <algorithm>

#include "smf/SmfReader.h"
#include "support/RunContext.h"

namespace rovanta {

bool ReadF0Header(RunContext& ctx, std::span<const std::uint8_t> image, F0Header& header, bool report)
{
    auto refuse = [&](std::uint32_t code) {
        if (report) Report(ctx, kSongErrors, code);
        return false;
    };
    const std::uint8_t* bytes = image.data();
    const auto length = static_cast<std::uint32_t>(image.size());
    if (length == 0) return false;
    if (!IsId(bytes, length, 0, "MThd") && !IsId(bytes, length, kPrefix, "MThd")) return refuse(m0dt::kNotMidi);
    const std::uint32_t base = HeaderBase(bytes, length);
    if (std::uint64_t{base} + kHeaderSize > length) return refuse(m0dt::kNotMidi);
    if (Be16(bytes + base + 8) != 0) return refuse(m0dt::kNotFormat0);
    if (Be16(bytes + base + 10) != 1) return refuse(m0dt::kBadTrackCount);
    header.division = static_cast<std::int32_t>(Be16(bytes + base + 12));
    header.base = base;
    return true;
}

Format0Result ReadFormat0(RunContext& ctx, std::span<const std::uint8_t> file, std::int32_t capacity)
{
    Format0Result result{MidiF0Data(ctx, capacity, track_state::kEncoded, 480), false};
    MidiF0Data& song = result.song;
    song.SetTrack(std::nullopt);
    // The reader takes in at most `capacity` bytes; a chunk beyond them is cut.
    const std::span<const std::uint8_t> image = file.first(std::min<std::size_t>(file.size(), static_cast<std::size_t>(capacity)));
    F0Header header;
    if (!ReadF0Header(ctx, image, header, false)) {
        result.headerRefused = true;
        return result;
    }
    song.division = header.division;
    const std::span<const std::uint8_t> body = image.subspan(header.base);
    std::uint32_t chunkSize = 0;
    song.SetTrack(ReadTrackChunk(ctx, body.data(), static_cast<std::uint32_t>(body.size()), kHeaderSize, capacity,
                                 chunkSize));
    song.SetState(track_state::kEventForm);
    song.PairTrack();
    return result;
}

}  // namespace rovanta
