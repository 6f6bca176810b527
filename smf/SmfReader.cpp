#include "smf/SmfReader.h"

#include <algorithm>
#include <cstring>

#include "song/Ticks.h"
#include "support/RunContext.h"

namespace rovanta {

bool IsId(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t at, const char* id)
{
    return std::uint64_t{at} + 4 <= length && std::memcmp(bytes + at, id, 4) == 0;
}

std::uint32_t HeaderBase(const std::uint8_t* bytes, std::uint32_t length)
{
    if (!IsId(bytes, length, 0, "MThd") && IsId(bytes, length, kPrefix, "MThd")) return kPrefix;
    return 0;
}

namespace {

std::uint32_t Be32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Decodes the events of one chunk. Every read is bounded by the chunk: a byte
// beyond it reads as 0, as the zero-filled room behind a chunk copy would.
class ChunkDecoder {
public:
    ChunkDecoder(RunContext& ctx, MidiTrackData& track, const std::uint8_t* chunk, std::uint32_t size)
        : ctx_(ctx), track_(track), chunk_(chunk), size_(size)
    {
    }

    void ReadEvents()
    {
        track_.ClearEvents();
        // Room for as many events as the chunk could hold (two bytes each at
        // least): room that is never written costs no memory, while regrowing
        // would write every event twice.
        track_.ReserveEvents(static_cast<std::int32_t>(size_ / 2));
        pos_ = 8;
        while (pos_ < size_) {
            if (track_.Count() >= track_.MaxEvents()) {
                // The table is full: the rest of the chunk is not read.
                track_.ReportError(mdtk::kLargeData);
                break;
            }
            ReadEvent();
        }
        track_.SetState(track_state::kEventForm);
    }

private:
    std::uint8_t At(std::uint64_t i) const { return i < size_ ? chunk_[i] : 0; }

    void ReadEvent()
    {
        MusicEvent event(ReadVlq(pos_));
        if (pos_ >= size_) {
            track_.ReportError(mdtk::kInternalError);
            track_.AppendEvent(std::move(event));
            return;
        }
        const std::uint32_t dataPos = pos_;
        std::uint32_t statusPos = pos_;
        std::uint8_t status = At(statusPos);
        std::uint32_t eventSize = Decode(event, status, statusPos);
        if (eventSize == 0) {
            status = ctx_.runningStatus;
            statusPos = pos_ - 1;  // the data bytes follow the position, as after a status byte
            eventSize = Decode(event, status, statusPos);
            if (eventSize == 0) {
                track_.ReportError(mdtk::kUndefinedEvent);
                event = MusicEvent(event.delta);
                pos_ = dataPos + 1;  // skip the byte, so a bad chunk cannot hold the reader in place
                track_.AppendEvent(std::move(event));
                return;
            }
        }
        if (status != 0xFF) {
            // A system-exclusive message keeps its bytes, which always start
            // with its status, also under running status. A channel message's
            // fields hold all of its bytes.
            if (status == 0xF0 || status == 0xF7) {
                const auto n = static_cast<std::size_t>(std::max(event.length, 0));
                event.bytes = EventBytes::TryAllocate(n + 8);
                if (std::uint8_t* bytes = n > 0 ? event.bytes.data() : nullptr) {
                    bytes[0] = status;
                    // What lies inside the chunk is copied; the rest stays zero.
                    const std::uint64_t from = std::uint64_t{statusPos} + 1;
                    const std::size_t inChunk = from >= size_ ? 0 : std::min<std::size_t>(n - 1, size_ - from);
                    std::memcpy(bytes + 1, chunk_ + from, inChunk);
                }
                if (status == 0xF0) ClassifySysEx(event);
            }
            ctx_.runningStatus = status;
        }
        if (event.IsOversize()) track_.ReportWarning(mdtk::kOversizeEvent);
        pos_ = statusPos + eventSize;
        track_.AppendEvent(std::move(event));
    }

    // The size the event occupies from its status position, 0 for a data byte.
    std::uint32_t Decode(MusicEvent& e, std::uint8_t status, std::uint32_t at)
    {
        const std::uint8_t d1 = At(std::uint64_t{at} + 1);
        const std::uint8_t d2 = At(std::uint64_t{at} + 2);
        const std::int32_t channel = status & 0x0F;
        switch (status & 0xF0) {
        case 0x80:
        case 0x90:
            e.channel = channel;
            e.note = d1;
            e.velocity = d2;
            e.length = 3;
            if ((status & 0xF0) == 0x90 && d2 == 0) {
                e.kind = kind::kNoteOff;
                return 3;
            }
            e.kind = (status & 0xF0) == 0x90 ? kind::kNoteOn : kind::kNoteOff;
            if (d1 > 127) {
                track_.ReportWarning(mdtk::kBadNoteNumber);
                e.note = 0;
                e.velocity = 0;
            }
            return 3;
        case 0xA0:
            SetChannelMessage(e, kind::kPolyPressure, channel, 3);
            e.note = d1;
            e.value = d2;
            return 3;
        case 0xB0:
            SetChannelMessage(e, kind::kControlChange, channel, 3);
            e.type = d1;
            e.value = d2;
            return 3;
        case 0xC0:
            SetChannelMessage(e, kind::kProgramChange, channel, 2);
            e.value = d1;
            if (d1 >= 128) {
                track_.ReportError(mdtk::kWrongProgram);
                e.value = 0;
            }
            return 2;
        case 0xD0:
            SetChannelMessage(e, kind::kChannelPressure, channel, 2);
            e.value = d1;
            return 2;
        case 0xE0:
            SetChannelMessage(e, kind::kPitchBend, channel, 3);
            e.note = d1;
            e.value = d2;
            return 3;
        default:
            break;
        }
        switch (status) {
        case 0xF0: return DecodeSysEx(e, at);
        case 0xF7: return DecodeEscape(e, at);
        case 0xFF: return DecodeMeta(e, at);
        default: return 0;
        }
    }

    static void SetChannelMessage(MusicEvent& e, std::int32_t kindValue, std::int32_t channel, std::int32_t length)
    {
        e.kind = kindValue;
        e.channel = channel;
        e.length = length;
    }

    // Everything up to the next 0xF7; the stored length is not trusted.
    std::uint32_t DecodeSysEx(MusicEvent& e, std::uint32_t at)
    {
        e.kind = kind::kSysEx;
        std::uint32_t end = at + 1;
        while (end < size_ && chunk_[end] != 0xF7) ++end;
        if (end >= size_) {
            track_.ReportError(mdtk::kInternalError);
            end = size_ - 1;
        }
        const std::uint32_t span = end - at + 1;
        e.length = static_cast<std::int32_t>(span);
        return span;
    }

    // Its length is a variable-length quantity, as for any event with data: an
    // escape of 128 bytes or more has more than one length byte.
    std::uint32_t DecodeEscape(MusicEvent& e, std::uint32_t at)
    {
        e.kind = kind::kSysExEscape;
        std::uint32_t dataPos = at + 1;
        const auto count = static_cast<std::uint32_t>(ReadVlq(dataPos));
        std::uint64_t span = std::uint64_t{dataPos} - at + count;
        if (at + span > size_) {
            track_.ReportError(mdtk::kInternalError);
            span = size_ - at;
        }
        e.length = static_cast<std::int32_t>(span);
        return static_cast<std::uint32_t>(span);
    }

    std::uint32_t Truncated(std::uint32_t at, std::uint32_t want)
    {
        if (std::uint64_t{at} + want <= size_) return want;
        track_.ReportError(mdtk::kInternalError);
        return size_ - at;
    }

    std::uint32_t DecodeMeta(MusicEvent& e, std::uint32_t at)
    {
        e.kind = kind::kMeta;
        if (std::uint64_t{at} + 1 >= size_) {
            track_.ReportError(mdtk::kInternalError);
            e.kind = kind::kInvalid;
            return size_ - at;
        }
        e.type = chunk_[at + 1];
        auto zeros = [&](std::int32_t n) {
            const std::uint8_t none[8] = {};
            e.SetBytes(none, n);
        };
        switch (e.type) {
        case meta::kSequenceNumber:
            zeros(2);
            return Truncated(at, 5);
        case meta::kChannelPrefix:
            zeros(1);
            return Truncated(at, 4);
        case meta::kEndOfTrack:
            return Truncated(at, 3);
        case meta::kTempo: {
            const std::uint32_t size = Truncated(at, 6);
            e.value = static_cast<std::int32_t>((std::uint32_t{At(at + 3)} << 16) | (std::uint32_t{At(at + 4)} << 8) |
                                                At(at + 5));
            if (e.value == 0) {
                track_.ReportError(mdtk::kTempoWrong);
                e.value = 500000;
            }
            zeros(3);
            return size;
        }
        case meta::kTimeCodeOffset:
            zeros(5);
            return Truncated(at, 8);
        case meta::kTimeSignature: {
            const std::uint32_t size = Truncated(at, 7);
            const std::uint8_t data[4] = {At(at + 3), At(at + 4), At(at + 5), At(at + 6)};
            e.SetBytes(data, 4);
            if (data[0] == 0 || data[1] == 0) {
                track_.ReportError(mdtk::kTimeSignWrong);
                e.value = 1028;
            } else {
                // Exponents beyond 2^30 name no real meter; they are capped so the value stays defined.
                e.value = data[0] * 256 + (std::int32_t{1} << std::min<int>(data[1], 30));
            }
            return size;
        }
        case meta::kKeySignature: {
            const std::uint32_t size = Truncated(at, 5);
            const std::uint8_t data[2] = {At(at + 3), At(at + 4)};
            e.SetBytes(data, 2);
            return size;
        }
        default:
            return DecodeTextMeta(e, at);
        }
    }

    std::uint32_t DecodeTextMeta(MusicEvent& e, std::uint32_t at)
    {
        std::uint32_t textPos = at + 2;
        std::uint32_t n = static_cast<std::uint32_t>(ReadVlq(textPos));
        if (std::uint64_t{textPos} + n > size_) {
            track_.ReportError(mdtk::kInternalError);
            n = textPos < size_ ? size_ - textPos : 0;
        }
        if (n == 0) {
            const std::uint8_t zero = 0;
            e.SetBytes(&zero, 1);  // an empty text is one zero byte
        } else {
            e.SetBytes(chunk_ + textPos, static_cast<std::int32_t>(n));  // the spare room holds the terminating zero
        }
        const bool isText = (e.type >= 0x01 && e.type <= 0x07) || e.type == meta::kSequencerSpecific || e.type == 0x09;
        if (e.type == 0x09) e.type = 0x04;
        if (!isText) e.kind = kind::kInvalid;
        return std::min<std::uint32_t>(textPos + n, size_) - at;
    }

    // A variable-length quantity at `pos`. Runs of continuation bytes that
    // reach the last byte of the chunk end there (reported). More than four
    // groups cannot be meant; the value saturates instead of overflowing.
    std::int32_t ReadVlq(std::uint32_t& pos)
    {
        if (pos >= size_) {
            track_.ReportError(mdtk::kInternalError);
            return 0;
        }
        std::uint64_t value = 0;
        auto grow = [&](std::uint64_t v) { return std::min<std::uint64_t>(v, kMaxTicks); };
        while (chunk_[pos] & 0x80) {
            if (pos >= size_ - 1) {
                track_.ReportError(mdtk::kInternalError);
                break;
            }
            value = grow((value + chunk_[pos] - 128) * 128);
            ++pos;
        }
        value = grow(value + (chunk_[pos] & 0x7F));
        ++pos;
        return static_cast<std::int32_t>(value);
    }

    RunContext& ctx_;
    MidiTrackData& track_;
    const std::uint8_t* chunk_;
    std::uint32_t size_;
    std::uint32_t pos_ = 8;
};

}  // namespace

int ProbeFormat(const std::uint8_t* bytes, std::uint32_t length)
{
    const std::uint32_t base = HeaderBase(bytes, length);
    if (std::uint64_t{base} + kHeaderSize > length) return -1;
    const std::uint32_t format = Be16(bytes + base + 8);
    if (format == 0) return 0;
    if (format == 1) return 1;
    return -1;
}

MidiTrackData ReadTrackChunk(RunContext& ctx, const std::uint8_t* file, std::uint32_t fileLength,
                             std::uint32_t offset, std::int32_t capacity, std::uint32_t& chunkSize)
{
    MidiTrackData track(ctx, track_state::kEncoded, capacity);
    track.ReportWarning(0);
    chunkSize = 0;
    if (!IsId(file, fileLength, offset, "MTrk") && !IsId(file, fileLength, offset, "XFKM")) {
        track.ReportError(mdtk::kNotMidi);
        return track;
    }
    // Both the length field and the chunk it announces must lie within the file.
    const bool lengthInFile = std::uint64_t{offset} + 8 <= fileLength;
    const std::uint64_t size = lengthInFile ? std::uint64_t{Be32(file + offset + 4)} + 8 : 0;
    if (!lengthInFile || std::uint64_t{offset} + size > fileLength || size > static_cast<std::uint64_t>(capacity)) {
        track.ReportError(mdtk::kInternalError);
        return track;
    }
    chunkSize = static_cast<std::uint32_t>(size);
    // Decoded in place from the file image: no other reader touches it meanwhile.
    track.dataLength = static_cast<std::int32_t>(chunkSize);
    ChunkDecoder(ctx, track, file + offset, chunkSize).ReadEvents();
    return track;
}

void ClassifySysEx(MusicEvent& e)
{
    // The spare room after short messages reads as zeros.
    auto b = [&](int i) -> std::uint32_t {
        const auto bytes = e.bytes.data();
        return bytes && static_cast<std::size_t>(i) < e.bytes.size() ? bytes[i] : 0;
    };
    auto is = [&](int from, std::initializer_list<std::uint32_t> values) {
        int i = from;
        for (std::uint32_t v : values)
            if (b(i++) != v) return false;
        return true;
    };
    e.type = 0;
    if (is(2, {0x7F, 0x7F, 0x04, 0x01}) && b(8) == 0xF7) {
        e.type = sysex::kMasterVolume;
        e.value = static_cast<std::int32_t>(b(7));
    } else if (is(2, {0x7F, 0x7F, 0x04, 0x02}) && b(8) == 0xF7) {
        e.type = 0x28;
        e.value = static_cast<std::int32_t>(b(7));
    } else if (b(2) == 0x41) {
        if (is(3, {0x10, 0x42, 0x12, 0x40, 0x00, 0x04})) {
            e.type = sysex::kMasterVolume;
            e.value = static_cast<std::int32_t>(b(9));
        } else if (is(3, {0x10, 0x42, 0x12, 0x40})) {
            const std::uint32_t address = b(7);
            const std::uint32_t item = b(8);
            e.value = static_cast<std::int32_t>(b(9));
            if (address == 0x01) {
                if (item >= 0x30 && item <= 0x35) e.type = static_cast<std::int32_t>(item - 0x30 + 0x14);
                else if (item >= 0x37 && item <= 0x40) e.type = static_cast<std::int32_t>(item - 0x37 + 0x20);
                else if (item >= 0x50 && item <= 0x59) e.type = static_cast<std::int32_t>(item - 0x50 + 0x30);
                else if (item == 0x5A) e.type = 0x40;
            } else if (address == 0x02) {
                if (item <= 0x03) e.type = static_cast<std::int32_t>(0x41 + item);
            } else if (address >= 0x10 && address <= 0x1F) {
                if (item == 0x15) {
                    e.type = sysex::kDrumPart;
                    e.channel = address == 0x10 ? 9 : address <= 0x19 ? static_cast<std::int32_t>(address - 0x11)
                                                                       : static_cast<std::int32_t>(address - 0x10);
                }
            } else if (address >= 0x40 && address <= 0x4F) {
                if (item == 0x20) {
                    e.type = 0x45;
                    e.channel = address == 0x40 ? 9 : address <= 0x49 ? static_cast<std::int32_t>(address - 0x41)
                                                                       : static_cast<std::int32_t>(address - 0x40);
                }
            } else {
                e.value = 0;
            }
        } else if (is(3, {0x10, 0x42, 0x12, 0x00, 0x00, 0x7F})) {
            e.type = 0x13;
        }
    } else if (b(2) == 0x43) {
        if (is(3, {0x79, 0x06, 0x7F}) && b(8) == 0xF7) e.type = sysex::kExempt;
    } else if (is(2, {0x7E, 0x7F, 0x09, 0x01, 0xF7})) {
        e.type = sysex::kGmSystemOn;
    }
}

}  // namespace rovanta
