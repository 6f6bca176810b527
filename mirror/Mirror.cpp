#include "mirror/Mirror.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "mirror/ControlCurves.h"
#include "song/NoteMatching.h"
#include "song/Ticks.h"

namespace rovanta {

namespace {

bool IsDrum(std::uint32_t drums, std::int32_t channel)
{
    return channel >= 0 && channel <= 15 && ((drums >> channel) & 1u);
}

MusicEvent Placeholder()
{
    return MusicEvent(0);
}

}  // namespace

std::array<std::optional<std::int32_t>, 16> ChannelAxes(const MidiTrackData& track, const VerticalAxis& axis)
{
    const std::uint32_t drums = track.DrumChannels();
    std::array<std::int32_t, 16> highest, lowest;
    highest.fill(0);
    lowest.fill(127);
    std::array<bool, 16> hasNotes{};
    for (const MusicEvent& e : track.Events()) {
        if (!(e.IsNote() || e.kind == kind::kPairedNote) || e.channel > 15) continue;
        const auto c = static_cast<std::size_t>(e.channel);
        highest[c] = std::max<std::int32_t>(highest[c], e.note);
        lowest[c] = std::min<std::int32_t>(lowest[c], e.note);
        hasNotes[c] = true;
    }
    std::array<std::optional<std::int32_t>, 16> axes;
    for (std::size_t c = 0; c < 16; ++c) {
        if (!hasNotes[c] || IsDrum(drums, static_cast<std::int32_t>(c))) continue;
        // The C at or below the middle of the channel's range.
        const std::int64_t middle = (std::int64_t{lowest[c]} + highest[c]) / 2;
        axes[c] = axis.twiceAxis ? *axis.twiceAxis : static_cast<std::int32_t>(2 * (middle / 12 * 12));
    }
    return axes;
}

void ReverseVertical(MidiF0Data& song, const VerticalAxis& axis)
{
    if (!song.HasTrack()) return;
    MidiTrackData& track = song.Track();
    const std::array<std::optional<std::int32_t>, 16> axes = ChannelAxes(track, axis);
    for (MusicEvent& e : track.Events()) {
        if (!e.IsNote() || e.channel > 15) continue;
        const std::optional<std::int32_t> twiceCentre = axes[static_cast<std::size_t>(e.channel)];
        if (!twiceCentre) continue;
        const std::int64_t reflected = axis.diatonicKey ? ReflectInKey(e.note, *twiceCentre, *axis.diatonicKey)
                                                        : std::int64_t{*twiceCentre} - e.note;
        e.note = static_cast<std::int32_t>(std::clamp<std::int64_t>(reflected, 0, 127));
    }
}

void TransposeNotes(MidiF0Data& song, std::int32_t semitones)
{
    if (!song.HasTrack()) return;
    MidiTrackData& track = song.Track();
    const std::uint32_t drums = track.DrumChannels();
    for (MusicEvent& e : track.Events()) {
        if (IsDrum(drums, e.channel) || !e.IsNote()) continue;
        std::int64_t note = std::int64_t{e.note} + semitones;
        // Whole octaves back into range, in one step rather than one octave at a time.
        if (note < 0) note += (-note + 11) / 12 * 12;
        if (note > 127) note -= (note - 127 + 11) / 12 * 12;
        e.note = static_cast<std::int32_t>(note);
    }
}

namespace {

// The reversal of a whole event list that ends with its End of Track: the
// list, reversed, with a tempo event and room for a program change per
// channel in front. Events made invalid here are removed by the caller.
std::vector<MusicEvent> Reversed(std::vector<MusicEvent> events)
{
    const std::size_t last = events.size() - 1;  // the End of Track

    // Each note end trades places (and ticks) with the note start it ends,
    // so that after the reversal the note starts where it used to end. Notes
    // of one key end first in, first out; a swap only touches places the walk
    // has passed.
    struct Waiting {
        std::vector<std::size_t> starts;
        std::size_t head = 0;
    };
    KeyTable<Waiting> waiting{Waiting{}};
    for (std::size_t j = 0; j < last; ++j) {
        const MusicEvent& e = events[j];
        if (e.IsNoteStart()) {
            waiting[e].starts.push_back(j);
        } else if (e.IsNoteEnd()) {
            Waiting& key = waiting[e];
            if (key.head == key.starts.size()) continue;
            const std::size_t i = key.starts[key.head++];
            if (key.head == key.starts.size()) key.starts.clear(), key.head = 0;
            std::swap(events[i], events[j]);
            std::swap(events[i].delta, events[j].delta);
        }
    }

    // Reverse everything before the End of Track; each event then takes the
    // delta of the one that now precedes it, which mirrors its tick.
    std::reverse(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(last));
    for (std::size_t k = last; k-- > 1;) events[k].delta = events[k - 1].delta;
    if (last > 0) events[0].delta = 0;

    // Program changes: each channel's move one program change earlier, so a
    // passage keeps the program it was written under. The first one of each
    // channel goes to the start (the highest channel first); the place of the
    // last one goes to a placeholder that is dropped again.
    std::array<std::vector<std::size_t>, 16> programs;
    for (std::size_t i = 0; i < last; ++i) {
        const MusicEvent& e = events[i];
        if (e.kind == kind::kProgramChange && e.channel <= 15)
            programs[static_cast<std::size_t>(e.channel)].push_back(i);
    }
    // In place: each program change takes the place of the one before it
    // (the place keeps its time); the first of each channel is kept for the
    // front, and the last place gets the placeholder.
    std::array<MusicEvent, 16> firsts;
    for (std::size_t c = 0; c < 16; ++c) {
        const auto& places = programs[c];
        if (places.empty()) continue;
        firsts[c] = std::move(events[places.front()]);
        firsts[c].delta = 0;
        for (std::size_t k = 0; k < places.size(); ++k) {
            MusicEvent& slot = events[places[k]];
            const std::int32_t delta = slot.delta;
            slot = k + 1 < places.size() ? std::move(events[places[k + 1]]) : Placeholder();
            slot.delta = delta;
        }
    }
    // In front: the tempo event set below, then the first program
    // change of each channel, the highest channel first (a placeholder where a
    // channel has none). The copy made room for them.
    std::vector<MusicEvent>& arranged = events;
    arranged.insert(arranged.begin(), kReversalRoom, Placeholder());
    arranged[0].kind = kind::kMeta;
    arranged[0].type = meta::kTempo;
    for (std::size_t c = 0; c < 16; ++c)
        if (!programs[c].empty()) arranged[16 - c] = std::move(firsts[c]);

    // Tempo: each tempo event takes the value of the next one; the new one at
    // the start takes the first, and the last tempo event is dropped.
    std::size_t lastTempo = 0;
    for (std::size_t i = 1; i < arranged.size(); ++i) {
        if (!arranged[i].IsMeta(meta::kTempo)) continue;
        arranged[lastTempo].value = arranged[i].value;
        lastTempo = i;
    }
    arranged[lastTempo].kind = kind::kInvalid;

    return events;
}

std::vector<std::int64_t> Ticks(const std::vector<MusicEvent>& events)
{
    std::vector<std::int64_t> ticks(events.size());
    std::int64_t tick = 0;
    for (std::size_t i = 0; i < events.size(); ++i) ticks[i] = tick += events[i].delta;
    return ticks;
}

// Controllers, pitch bend, pressure and programs as curves: they leave the
// list before the reversal and come back where their curves put them, each
// change in front of whatever else happens at its tick.
std::vector<MusicEvent> ReversedWithCurves(std::vector<MusicEvent> events, std::size_t room)
{
    const std::size_t last = events.size() - 1;
    const std::vector<std::int64_t> ticks = Ticks(events);
    // The reversal mirrors about the last event before the End of Track.
    const std::int64_t mirror = last > 0 ? ticks[last - 1] : 0;
    const std::vector<curves::Unit> units = curves::FindUnits(events, ticks, last);
    std::vector<bool> inUnit(events.size(), false);
    for (const curves::Unit& u : units)
        for (std::size_t i : u.at) inUnit[i] = true;

    // The rest, with a placeholder where the last event was, so that it is
    // reversed about the same tick.
    std::vector<MusicEvent> rest;
    rest.reserve(events.size() - units.size() + 1);
    std::int64_t at = 0;
    auto keep = [&](MusicEvent e, std::int64_t tick) {
        e.delta = ClampTicks(tick - at);
        at = tick;
        rest.push_back(std::move(e));
    };
    // A placeholder where the first event was, too: the reversed song then
    // spans the same ticks as without curves, and every change placed on it
    // lies before its End of Track.
    if (last > 0 && inUnit[0]) keep(Placeholder(), ticks[0]);
    for (std::size_t i = 0; i < last; ++i)
        if (!inUnit[i]) keep(std::move(events[i]), ticks[i]);
    if (at < mirror || rest.empty()) keep(Placeholder(), mirror);
    keep(std::move(events[last]), ticks[last]);
    std::vector<MusicEvent> reversed = Reversed(std::move(rest));
    const std::vector<std::int64_t> reversedTicks = Ticks(reversed);

    std::vector<MusicEvent> merged;
    merged.reserve(reversed.size() + events.size());
    at = 0;
    auto put = [&](MusicEvent e, std::int64_t tick) {
        e.delta = ClampTicks(tick - at);
        at = tick;
        merged.push_back(std::move(e));
    };
    const std::vector<curves::Placed> placed = curves::PlaceMirrored(units, mirror, room, events);
    // Reset values first: their events may move before their turn comes.
    std::vector<MusicEvent> resets;
    for (const curves::Placed& p : placed)
        if (p.reset) resets.push_back(curves::WithResetValue(events[p.unit->at.front()]));
    // The End of Track stays last, also where ticks beyond the largest delta
    // time saturate.
    const std::size_t end = reversed.size() - 1;
    std::size_t next = 0, reset = 0;
    for (const curves::Placed& p : placed) {
        for (; next < end && reversedTicks[next] < p.tick; ++next) put(std::move(reversed[next]), reversedTicks[next]);
        if (p.reset)
            put(std::move(resets[reset++]), p.tick);
        else
            for (std::size_t i : p.unit->at) put(std::move(events[i]), p.tick);
    }
    for (; next < end; ++next) put(std::move(reversed[next]), reversedTicks[next]);
    put(std::move(reversed[end]), std::max(reversedTicks[end], at));
    return merged;
}

}  // namespace

void ReverseHorizontal(MidiF0Data& song, ControlMirroring controls)
{
    if (song.State() != track_state::kEventForm || !song.HasTrack()) {
        song.ReportError(m0dt::kInternalError);
        return;
    }
    MidiTrackData& track = song.Track();
    const std::int32_t n = track.Count();
    if (n == 0 || !track.At(n - 1).IsEndOfTrack()) {
        song.ReportError(m0dt::kEndOfTrackInvalid);
        return;
    }
    // Reset values the curves set come on top of the events there are, as far
    // as the table has room for them.
    const std::size_t room = static_cast<std::size_t>(std::max(track.MaxEvents() - n, 0));
    std::vector<MusicEvent> arranged = controls == ControlMirroring::kCurves
                                           ? ReversedWithCurves(track.TakeEvents(), room)
                                           : Reversed(track.TakeEvents());
    // The tempo and the placeholders added here are gone again once the
    // invalid events are removed, so a full table stays within its limit.
    track.SetEvents(std::move(arranged), RoomCheck::kUnchecked);
    track.RemoveInvalidEvents();
}

}  // namespace rovanta
