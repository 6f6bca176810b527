#pragma once
// Small makers for events and tracks, so a test reads like the track it builds.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/SongDump.h"
#include "song/MidiF0Data.h"
#include "song/MidiTrackData.h"
#include "song/MusicEvent.h"

namespace rovanta::test {

// A channel message: `a` is the note (the controller of a control change),
// `b` the velocity of a note on or off, else the value.
inline MusicEvent Channel(std::int32_t kindValue, std::int32_t delta, std::int32_t channel, std::int32_t a,
                          std::int32_t b)
{
    MusicEvent e(delta);
    e.kind = kindValue;
    e.channel = channel;
    if (kindValue == kind::kControlChange) e.type = a;
    else e.note = a;
    if (kindValue == kind::kNoteOn || kindValue == kind::kNoteOff) e.velocity = b;
    else e.value = b;
    return e;
}

inline MusicEvent On(std::int32_t delta, std::int32_t channel, std::int32_t note, std::int32_t velocity = 100)
{
    return Channel(kind::kNoteOn, delta, channel, note, velocity);
}
inline MusicEvent Off(std::int32_t delta, std::int32_t channel, std::int32_t note, std::int32_t velocity = 0)
{
    return Channel(kind::kNoteOff, delta, channel, note, velocity);
}
inline MusicEvent Paired(std::int32_t delta, std::int32_t channel, std::int32_t note, std::int32_t duration,
                         std::int32_t velocity = 100)
{
    MusicEvent e = Channel(kind::kNoteOn, delta, channel, note, velocity);
    e.kind = kind::kPairedNote;
    e.duration = duration;
    return e;
}
inline MusicEvent Cc(std::int32_t delta, std::int32_t channel, std::int32_t controller, std::int32_t value)
{
    return Channel(kind::kControlChange, delta, channel, controller, value);
}
inline MusicEvent Program(std::int32_t delta, std::int32_t channel, std::int32_t program)
{
    return Channel(kind::kProgramChange, delta, channel, 0, program);
}
inline MusicEvent Meta(std::int32_t delta, std::int32_t type, std::int32_t value = 0)
{
    MusicEvent e(delta);
    e.kind = kind::kMeta;
    e.type = type;
    e.value = value;
    return e;
}
inline MusicEvent Eot(std::int32_t delta) { return Meta(delta, meta::kEndOfTrack); }
inline MusicEvent SysEx(std::int32_t delta, std::vector<std::uint8_t> bytes)
{
    MusicEvent e(delta);
    e.kind = kind::kSysEx;
    e.SetBytes(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return e;
}
inline MusicEvent Invalid(std::int32_t delta) { return MusicEvent(delta); }

inline MidiTrackData Track(RunContext& ctx, std::int32_t state, std::initializer_list<MusicEvent> events)
{
    MidiTrackData track(ctx, state);
    for (const MusicEvent& e : events) track.AppendEvent(e);
    return track;
}

// A song whose one track holds the events.
inline MidiF0Data Song(RunContext& ctx, const std::vector<MusicEvent>& events, std::int32_t division = 480,
                       std::int32_t state = track_state::kEventForm)
{
    MidiF0Data song(ctx, kCapacity, state, division);
    for (const MusicEvent& e : events) song.Track().AppendEvent(e);
    return song;
}

// "kind:tick" per event, with the note number for notes: a compact picture of
// what a pass did, for readable expectations.
inline std::vector<std::string> Picture(const MidiTrackData& track)
{
    std::vector<std::string> out;
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        std::string s;
        switch (e.kind) {
        case kind::kNoteOn: s = "on" + std::to_string(e.note); break;
        case kind::kNoteOff: s = "off" + std::to_string(e.note); break;
        case kind::kPairedNote: s = "note" + std::to_string(e.note) + "/" + std::to_string(e.duration); break;
        case kind::kControlChange: s = "cc" + std::to_string(e.type); break;
        case kind::kProgramChange: s = "pc" + std::to_string(e.value); break;
        case kind::kSysEx: s = "sysex"; break;
        case kind::kMeta: s = e.IsEndOfTrack() ? "eot" : "meta" + std::to_string(e.type); break;
        case kind::kInvalid: s = "invalid"; break;
        default: s = "kind" + std::to_string(e.kind); break;
        }
        out.push_back(s + "@" + std::to_string(tick));
    }
    return out;
}

// "tick description" per event, every field the event uses spelled out.
inline std::vector<std::string> Described(const MidiTrackData& track)
{
    std::vector<std::string> out;
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        out.push_back(std::to_string(tick) + " " + cli::DescribeEvent(e));
    }
    return out;
}

inline std::vector<std::int32_t> Deltas(const MidiTrackData& track)
{
    std::vector<std::int32_t> out;
    for (const MusicEvent& e : track.Events()) out.push_back(e.delta);
    return out;
}

}  // namespace rovanta::test
