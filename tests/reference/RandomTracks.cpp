#include "reference/RandomTracks.h"

#include <cstdio>
#include <random>
#include <utility>

#include "reference/LiteralTrackOps.h"

namespace rovanta::test {
namespace {

// The largest delta time a variable-length quantity of four bytes holds.
constexpr std::int32_t kLargestFileDelta = 0x0FFFFFFF;

class Dice {
public:
    explicit Dice(std::uint32_t seed) : rng_(seed) {}

    std::int32_t Between(std::int32_t low, std::int32_t high)
    {
        return std::uniform_int_distribution<std::int32_t>(low, high)(rng_);
    }
    bool Percent(int p) { return Between(0, 99) < p; }

    // Mostly 0 (same tick), mostly small otherwise, rarely as large as a file
    // can hold, so that long sums are exercised.
    std::int32_t Delta()
    {
        const int r = Between(0, 999);
        if (r < 480) return 0;
        if (r < 850) return Between(1, 12);
        if (r < 960) return Between(13, 600);
        if (r < 993) return Between(601, 100000);
        if (r < 997) return Between(1 << 24, 1 << 30);
        return kLargestFileDelta - Between(0, 3);
    }
    // Few channels so that same-key collisions are frequent; 255 now and then.
    std::int32_t Channel()
    {
        const int r = Between(0, 99);
        if (r < 88) return Between(0, 3);
        if (r < 95) return Between(4, 15);
        return kNoChannel;
    }
    std::int32_t Key() { return Percent(85) ? Between(60, 63) : Between(0, 127); }
    std::int32_t Length()
    {
        const int r = Between(0, 99);
        if (r < 10) return Between(0, 3);
        if (r < 75) return Between(4, 80);
        return Between(81, 300);
    }

private:
    std::mt19937 rng_;
};

void PutBytes(MusicEvent& e, const std::vector<std::uint8_t>& bytes)
{
    e.bytes = EventBytes::TryAllocate(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) e.bytes.data()[i] = bytes[i];
    e.length = static_cast<std::int32_t>(bytes.size());
}

std::uint8_t Status(std::int32_t kindValue, std::int32_t channel)
{
    return static_cast<std::uint8_t>(kindValue | (channel & 0x0F));
}

MusicEvent NoteEvent(std::int32_t kindValue, std::int32_t delta, std::int32_t channel,
                     std::int32_t note, std::int32_t velocity)
{
    MusicEvent e(delta);
    e.kind = kindValue;
    e.channel = channel;
    e.note = note;
    e.velocity = velocity;
    const std::int32_t status = kindValue == kind::kNoteOff ? kind::kNoteOff : kind::kNoteOn;
    PutBytes(e, {Status(status, channel), static_cast<std::uint8_t>(note & 0x7F),
                 static_cast<std::uint8_t>(velocity & 0x7F)});
    return e;
}

MusicEvent EndOfTrack(std::int32_t delta)
{
    MusicEvent e(delta);
    e.kind = kind::kMeta;
    e.type = meta::kEndOfTrack;
    return e;
}

// Everything that is not a note: controllers, programs, bends, pressures,
// system exclusive, metas (End of Track included) and invalid events.
MusicEvent OtherEvent(Dice& dice, std::int32_t delta)
{
    MusicEvent e(delta);
    const std::int32_t channel = dice.Channel();
    const auto data = [&] { return static_cast<std::uint8_t>(dice.Between(0, 127)); };
    const int r = dice.Between(0, 99);
    if (r < 56) {
        // A channel message: controller (its number, then its value), program,
        // pitch bend (two data bytes), key pressure (key, then value), channel pressure.
        static constexpr std::int32_t kCommon[] = {0, 32, 7, 10, 64, 121};
        e.kind = r < 28   ? kind::kControlChange
                 : r < 38 ? kind::kProgramChange
                 : r < 46 ? kind::kPitchBend
                 : r < 51 ? kind::kPolyPressure
                          : kind::kChannelPressure;
        e.channel = channel;
        std::vector<std::uint8_t> bytes{Status(e.kind, channel)};
        const bool twoData = e.kind == kind::kPitchBend || e.kind == kind::kPolyPressure;
        if (e.kind == kind::kControlChange)
            bytes.push_back(e.type = dice.Percent(60) ? kCommon[dice.Between(0, 5)] : dice.Between(0, 127));
        if (twoData) bytes.push_back(e.note = e.kind == kind::kPitchBend ? dice.Between(0, 127) : dice.Key());
        e.value = dice.Between(0, 127);
        bytes.push_back(static_cast<std::uint8_t>(e.value));
        PutBytes(e, bytes);
    } else if (r < 66) {
        e.kind = kind::kSysEx;
        if (dice.Percent(30)) {
            e.type = sysex::kMasterVolume;
            e.value = data();
            PutBytes(e, {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, static_cast<std::uint8_t>(e.value), 0xF7});
        } else {
            const int n = dice.Between(0, 6);
            std::vector<std::uint8_t> bytes{0xF0, static_cast<std::uint8_t>(n + 1)};
            for (int i = 0; i < n; ++i) bytes.push_back(data());
            bytes.push_back(0xF7);
            PutBytes(e, bytes);
            if (dice.Percent(10)) e.channel = dice.Between(0, 15);  // a class that names a channel
        }
    } else if (r < 71) {
        e.kind = kind::kSysExEscape;
        const int n = dice.Between(0, 4);
        std::vector<std::uint8_t> bytes{0xF7, static_cast<std::uint8_t>(n)};
        for (int i = 0; i < n; ++i) bytes.push_back(data());
        PutBytes(e, bytes);
    } else if (r < 77) {
        e.kind = kind::kMeta;
        e.type = meta::kTempo;
        e.value = dice.Between(250000, 1000000);
        PutBytes(e, {0, 0, 0});
    } else if (r < 85) {
        e.kind = kind::kMeta;
        e.type = dice.Between(1, 7);
        const int n = dice.Between(0, 8);
        std::vector<std::uint8_t> text;
        for (int i = 0; i < n; ++i) text.push_back(static_cast<std::uint8_t>(dice.Between('a', 'z')));
        if (text.empty()) text.push_back(0);  // an empty text is one zero byte
        PutBytes(e, text);
    } else if (r < 88) {
        e.kind = kind::kMeta;
        e.type = meta::kTimeSignature;
        e.value = 4 * 256 + 4;
        PutBytes(e, {4, 2, 24, 8});
    } else if (r < 91) {
        e = EndOfTrack(delta);
    } else {
        // Invalid: kind 0 with left-over fields, as a pass that drops events leaves them.
        e.kind = kind::kInvalid;
        e.note = dice.Key();
        e.velocity = dice.Between(0, 127);
        e.channel = channel;
        if (dice.Percent(50)) PutBytes(e, {0xFF, 0x21, 0x01, 0x00});
    }
    return e;
}

struct OpenNote {
    std::int32_t channel;
    std::int32_t note;
};

void FinishTrack(Dice& dice, std::vector<MusicEvent>& events)
{
    const int r = dice.Between(0, 99);
    if (r < 85) events.push_back(EndOfTrack(dice.Delta()));
    if (r < 5) events.push_back(EndOfTrack(dice.Delta()));  // a second one
}

}  // namespace

std::vector<MusicEvent> RandomEventFormEvents(std::uint32_t seed)
{
    Dice dice(seed);
    const std::int32_t n = dice.Length();
    std::vector<MusicEvent> events;
    std::vector<OpenNote> open;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t delta = dice.Delta();
        const int r = dice.Between(0, 99);
        if (r < 34) {
            OpenNote on{dice.Channel(), dice.Key()};
            // Re-strikes of a sounding key, and zero-length notes, on purpose.
            if (!open.empty() && dice.Percent(15))
                on = open[static_cast<std::size_t>(dice.Between(0, static_cast<std::int32_t>(open.size()) - 1))];
            open.push_back(on);
            MusicEvent e = NoteEvent(kind::kNoteOn, delta, on.channel, on.note, dice.Between(1, 127));
            if (dice.Percent(3)) e.duration = dice.Between(1, 50);  // left over; pairing must not trust it
            events.push_back(std::move(e));
            if (dice.Percent(8)) {
                open.pop_back();
                events.push_back(NoteEvent(kind::kNoteOff, 0, on.channel, on.note, 64));
            }
        } else if (r < 64) {
            // Mostly the off of a sounding note, sometimes a stray or a duplicate.
            OpenNote off{dice.Channel(), dice.Key()};
            if (!open.empty() && dice.Percent(80)) {
                const auto at = open.begin() + dice.Between(0, static_cast<std::int32_t>(open.size()) - 1);
                off = *at;
                if (dice.Percent(85)) open.erase(at);
            }
            events.push_back(dice.Percent(25)
                                 ? NoteEvent(kind::kNoteOn, delta, off.channel, off.note, 0)
                                 : NoteEvent(kind::kNoteOff, delta, off.channel, off.note, dice.Between(0, 127)));
        } else {
            events.push_back(OtherEvent(dice, delta));
        }
    }
    FinishTrack(dice, events);
    return events;
}

std::vector<MusicEvent> RandomPairedFormEvents(std::uint32_t seed)
{
    Dice dice(seed);
    const std::int32_t n = dice.Length();
    std::vector<MusicEvent> events;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t delta = dice.Delta();
        const int r = dice.Between(0, 99);
        if (r < 55) {
            const std::int32_t velocity = dice.Percent(8) ? 0 : dice.Between(1, 127);
            MusicEvent e = NoteEvent(kind::kNoteOn, delta, dice.Channel(), dice.Key(), velocity);
            e.kind = kind::kPairedNote;
            const int d = dice.Between(0, 99);
            e.duration = d < 10   ? 0
                         : d < 70 ? dice.Between(1, 48)
                         : d < 96 ? dice.Between(49, 2000)
                                  : dice.Between(2001, 1 << 30);
            events.push_back(std::move(e));
        } else if (r < 57) {
            const std::int32_t kindValue = dice.Percent(50) ? kind::kNoteOn : kind::kNoteOff;
            events.push_back(NoteEvent(kindValue, delta, dice.Channel(), dice.Key(), dice.Between(1, 127)));
        } else {
            events.push_back(OtherEvent(dice, delta));
        }
    }
    FinishTrack(dice, events);
    return events;
}

MidiTrackData MakeTrack(RunContext& ctx, std::int32_t state, const std::vector<MusicEvent>& events,
                        std::int32_t capacity)
{
    MidiTrackData track(ctx, state, capacity);
    for (const MusicEvent& e : events) track.AppendEvent(literal::CopyEvent(e));
    return track;
}

std::string DumpTrack(const MidiTrackData& track)
{
    std::string out = "state " + std::to_string(track.State()) + ", " + std::to_string(track.Count()) + " events\n";
    std::int64_t tick = 0;
    char line[256];
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        const MusicEvent& e = track.At(i);
        tick += e.delta;
        std::snprintf(line, sizeof line,
                      "%4d @%-11lld kind=%02X d=%-10d ch=%-3d n=%-3d dur=%-10d v=%-3d t=%-3d val=%-7d len=%d",
                      i, static_cast<long long>(tick), static_cast<unsigned>(e.kind & 0xFF),
                      e.delta, e.channel, e.note, e.duration, e.velocity, e.type, e.value, e.length);
        out += line;
        if (e.bytes) {
            out += " [";
            for (std::size_t b = 0; b < e.bytes.size(); ++b) {
                std::snprintf(line, sizeof line, b == 0 ? "%02X" : " %02X", e.bytes.data()[b]);
                out += line;
            }
            out += "]";
        }
        out += '\n';
    }
    return out;
}

}  // namespace rovanta::test
