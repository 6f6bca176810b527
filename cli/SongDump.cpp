#include "cli/SongDump.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>

namespace rovanta::cli {

namespace {

// Long system-exclusive dumps would bury the events around them.
constexpr std::size_t kMaxBytesShown = 32;

std::string Hex2(unsigned value)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02X", value & 0xFFu);
    return buffer;
}

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    std::string out;
    const std::size_t shown = std::min(bytes.size(), kMaxBytesShown);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) out += ' ';
        out += Hex2(bytes[i]);
    }
    if (shown < bytes.size()) out += " ...";
    return out;
}

// Texts in MIDI files come in any encoding; everything outside printable ASCII
// is escaped so the dump stays one valid line whatever the file holds.
std::string QuotedText(std::span<const std::uint8_t> bytes)
{
    std::string out = "\"";
    for (std::uint8_t b : bytes) {
        if (b == '"' || b == '\\') {
            out += '\\';
            out += static_cast<char>(b);
        } else if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            out += "\\x" + Hex2(b);
        }
    }
    return out + "\"";
}

std::string Field(const char* name, std::int32_t value) { return std::string(" ") + name + "=" + std::to_string(value); }

std::string DescribeMeta(const MusicEvent& e)
{
    if (e.IsEndOfTrack()) return "end-of-track";
    std::string out = "meta type=0x" + Hex2(static_cast<unsigned>(e.type));
    switch (e.type) {
    case meta::kTempo:
        return out + Field("tempo", e.value);
    case meta::kTimeSignature:
        return out + Field("value", e.value) + " bytes=" + HexBytes(e.Bytes());
    case meta::kSequencerSpecific:
        return out + Field("len", e.length) + " bytes=" + HexBytes(e.Bytes());
    default:
        if (e.type >= meta::kText && e.type <= 0x07) return out + " text=" + QuotedText(e.Bytes());
        return out + Field("len", e.length) + " bytes=" + HexBytes(e.Bytes());
    }
}

}  // namespace

std::string DescribeEvent(const MusicEvent& e)
{
    const std::string ch = Field("ch", e.channel);
    switch (e.kind) {
    case kind::kPairedNote:
        return "paired" + ch + Field("note", e.note) + Field("dur", e.duration) + Field("vel", e.velocity);
    case kind::kNoteOn:
        return "note-on" + ch + Field("note", e.note) + Field("vel", e.velocity);
    case kind::kNoteOff:
        return "note-off" + ch + Field("note", e.note) + Field("vel", e.velocity);
    case kind::kPolyPressure:
        return "poly-pressure" + ch + Field("note", e.note) + Field("val", e.value);
    case kind::kControlChange:
        return "cc" + ch + Field("ctrl", e.type) + Field("val", e.value);
    case kind::kProgramChange:
        return "program" + ch + Field("prog", e.value);
    case kind::kChannelPressure:
        return "channel-pressure" + ch + Field("val", e.value);
    case kind::kPitchBend:
        return "pitch-bend" + ch + Field("lsb", e.note) + Field("msb", e.value);
    case kind::kSysEx:
    case kind::kSysExEscape: {
        std::string out = e.kind == kind::kSysEx ? "sysex" : "sysex-escape";
        if (e.channel != kNoChannel) out += ch;
        return out + Field("class", e.type) + Field("val", e.value) + Field("len", e.length) +
               " bytes=" + HexBytes(e.Bytes());
    }
    case kind::kMeta:
        return DescribeMeta(e);
    case kind::kInvalid:
        return "invalid";
    default:
        return "kind=0x" + Hex2(static_cast<unsigned>(e.kind));
    }
}

void DumpSong(const MidiF0Data& song, std::ostream& out)
{
    static constexpr const char* kForms[] = {"encoded", "events", "paired"};
    const std::int32_t state = song.State();
    const std::int32_t count = song.HasTrack() ? song.Track().Count() : 0;
    out << "division=" << song.division << " events=" << count << " state=" << state;
    if (state >= 0 && state <= 2) out << " (" << kForms[state] << ")";
    out << '\n';
    if (!song.HasTrack()) return;
    std::int64_t tick = 0;
    for (const MusicEvent& e : song.Track().Events()) {
        tick += e.delta;
        out << "tick=" << tick << " delta=" << e.delta << ' ' << DescribeEvent(e) << '\n';
    }
}

}  // namespace rovanta::cli
