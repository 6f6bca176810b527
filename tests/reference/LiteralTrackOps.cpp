#include "reference/LiteralTrackOps.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "song/Ticks.h"

namespace rovanta::literal {
namespace {

constexpr std::uint32_t kInternalError = 0x0D000001;

bool IsNoteOn(const MusicEvent& e) { return e.IsNoteOn(); }
bool IsNoteOff(const MusicEvent& e) { return e.IsNoteOff(); }
bool IsPaired(const MusicEvent& e) { return e.kind == kind::kPairedNote; }
bool IsEndOfTrack(const MusicEvent& e) { return e.kind == kind::kMeta && e.type == meta::kEndOfTrack; }
bool IsSystemExclusive(const MusicEvent& e)
{
    return e.kind == kind::kSysEx || e.kind == kind::kSysExEscape;
}

// Removes event i, handing its delta to the event after it (if any) ourselves,
// so the table primitive only closes the gap. Returns the next event's new delta
// as a 64-bit sum (0 when nothing follows) for callers that check it.
std::int64_t RemoveKeepingTime(MidiTrackData& track, std::int32_t i)
{
    std::int64_t sum = 0;
    if (i + 1 < track.Count()) {
        MusicEvent& next = track.At(i + 1);
        sum = std::int64_t{next.delta} + track.At(i).delta;
        next.delta = AddTicks(next.delta, track.At(i).delta);
    }
    track.At(i).delta = 0;
    track.RemoveEventAt(i);
    return sum;
}

// The two events trade places; each position keeps its delta, so each event
// takes over the other's tick.
void SwapKeepingTimes(MidiTrackData& track, std::int32_t i, std::int32_t j)
{
    if (i == j) return;
    const std::int32_t deltaI = track.At(i).delta;
    const std::int32_t deltaJ = track.At(j).delta;
    std::swap(track.At(i), track.At(j));
    track.At(i).delta = deltaI;
    track.At(j).delta = deltaJ;
}

// The walk shared by the controls-first and system-exclusive-first passes:
// `first` is where the current tick group's moved events go next. Afterwards a
// zero-length note (a note on directly followed by its note off in its tick)
// whose note off now stands before its note on has the two trade places back.
template <typename Moves>
void MoveFirstWalk(MidiTrackData& track, Moves moves)
{
    const std::int32_t n = track.Count();
    std::vector<std::int32_t> origin(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) origin[static_cast<std::size_t>(i)] = i;
    std::vector<bool> zeroLengthOn(static_cast<std::size_t>(n), false);
    for (std::int32_t i = 0; i + 1 < n; ++i) {
        const MusicEvent& on = track.At(i);
        const MusicEvent& off = track.At(i + 1);
        zeroLengthOn[static_cast<std::size_t>(i)] = IsNoteOn(on) && IsNoteOff(off) && off.delta == 0 &&
                                                    on.channel == off.channel && on.note == off.note;
    }
    auto swap = [&](std::int32_t i, std::int32_t j) {
        SwapKeepingTimes(track, i, j);
        std::swap(origin[static_cast<std::size_t>(i)], origin[static_cast<std::size_t>(j)]);
    };
    std::int32_t first = 0;
    for (std::int32_t j = 0; j < n; ++j) {
        const MusicEvent& e = track.At(j);
        if (e.delta != 0) {
            first = j;
        } else if (moves(e)) {
            swap(j, first);
            j = first;
            first = first + 1;
        }
    }
    for (std::int32_t p = 0; p < n; ++p)
        for (std::int32_t q = p + 1; q < n; ++q) {
            const std::int32_t off = origin[static_cast<std::size_t>(p)];
            if (off > 0 && zeroLengthOn[static_cast<std::size_t>(off - 1)] && origin[static_cast<std::size_t>(q)] == off - 1)
                swap(p, q);
        }
}

}  // namespace

MusicEvent CopyEvent(const MusicEvent& source)
{
    MusicEvent copy;
    copy.channel = source.channel;
    copy.delta = source.delta;
    if (source.bytes) {
        copy.bytes = EventBytes::TryAllocate(static_cast<std::size_t>(source.length) + 8);
        if (source.length > 0 && copy.bytes) {
            std::memcpy(copy.bytes.data(), source.bytes.data(), static_cast<std::size_t>(source.length));
        }
    }
    copy.length = source.length;
    copy.kind = source.kind;
    copy.note = source.note;
    copy.duration = source.duration;
    copy.velocity = source.velocity;
    copy.type = source.type;
    copy.value = source.value;
    return copy;
}

MidiTrackData CopyTrack(const MidiTrackData& source, std::int32_t capacity)
{
    MidiTrackData copy(source.Context(), track_state::kPaired, capacity);
    if (source.State() != track_state::kPaired) {
        copy.ReportError(kInternalError);
        return copy;
    }
    for (std::int32_t i = 0; i < source.Count(); ++i) copy.AppendEvent(CopyEvent(source.At(i)));
    copy.SetState(track_state::kPaired);
    return copy;
}

void RemoveInvalidEvents(MidiTrackData& track)
{
    std::int32_t i = 0;
    while (i < track.Count()) {
        if (track.At(i).kind != kind::kInvalid) {
            ++i;
            continue;
        }
        const bool hasNext = i + 1 < track.Count();
        const std::int64_t sum = RemoveKeepingTime(track, i);
        if (hasNext && sum < 0) track.ReportError(kInternalError);
        // position i is looked at again
    }
}

void PairNotes(MidiTrackData& track)
{
    if (track.State() != track_state::kEventForm) {
        track.ReportError(kInternalError);
        return;
    }
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        MusicEvent& e = track.At(i);
        if (IsNoteOn(e) && e.velocity == 0) e.kind = kind::kNoteOff;
    }
    // Without an End of Track a note lasts until the last event as read.
    std::int64_t lastTick = 0;
    for (std::int32_t i = 0; i < track.Count(); ++i) lastTick += track.At(i).delta;
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        if (!IsNoteOn(track.At(i))) continue;
        track.At(i).kind = kind::kPairedNote;
        const auto sameKey = [&](const MusicEvent& e) {
            return e.channel == track.At(i).channel && e.note == track.At(i).note;
        };
        std::int64_t sum = 0;
        std::int64_t atEnd = -1;  // the first End of Track's distance
        bool ended = false;
        for (std::int32_t k = i + 1; k < track.Count() && !ended; ++k) {
            const MusicEvent& e = track.At(k);
            sum += e.delta;
            if (IsEndOfTrack(e) && atEnd < 0) atEnd = sum;
            if (!sameKey(e)) continue;
            if (IsNoteOff(e)) {
                RemoveKeepingTime(track, k);
                ended = true;
            } else if (IsNoteOn(e)) {
                // A re-strike: a note off of the key in its tick is this note's.
                for (std::int32_t m = k + 1; m < track.Count() && track.At(m).delta == 0; ++m) {
                    if (IsNoteOff(track.At(m)) && sameKey(track.At(m))) {
                        RemoveKeepingTime(track, m);
                        break;
                    }
                }
                ended = true;
            }
        }
        std::int64_t tick = 0;
        for (std::int32_t k = 0; k <= i; ++k) tick += track.At(k).delta;
        track.At(i).duration = ClampTicks(ended ? sum : atEnd >= 0 ? atEnd : lastTick - tick);
    }
    for (std::int32_t i = 0; i < track.Count();) {
        if (IsNoteOff(track.At(i))) {
            RemoveKeepingTime(track, i);
        } else {
            ++i;
        }
    }
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        MusicEvent& e = track.At(i);
        if (!IsPaired(e)) continue;
        if (e.duration < 0) track.ReportError(kInternalError);
    }
    RemoveInvalidEvents(track);
    track.SetState(track_state::kPaired);
}

void UnpairNotes(MidiTrackData& track)
{
    if (track.State() != track_state::kPaired) {
        track.ReportError(kInternalError);
        return;
    }
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        MusicEvent& e = track.At(i);
        if (IsPaired(e) && e.velocity == 0) e.kind = kind::kInvalid;
    }
    RemoveInvalidEvents(track);
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        if (!IsPaired(track.At(i))) continue;
        MusicEvent& on = track.At(i);
        on.kind = kind::kNoteOn;
        const std::int64_t a = on.duration > 0 ? on.duration : 0;
        on.duration = 0;
        std::int64_t sum = 0;
        std::int32_t k = i + 1;
        while (k < track.Count()) {
            sum += track.At(k).delta;
            if (sum >= a) break;
            ++k;
        }
        MusicEvent off;
        off.kind = kind::kNoteOff;
        off.channel = track.At(i).channel;
        off.note = track.At(i).note;
        off.velocity = 64;
        const bool beforeAnEvent = k < track.Count();
        off.delta = beforeAnEvent ? ClampTicks(track.At(k).delta - (sum - a)) : ClampTicks(a - sum);
        // A full table refuses the note off; then nothing may move in time.
        if (track.InsertEvent(k, std::move(off)) && beforeAnEvent) track.At(k + 1).delta = ClampTicks(sum - a);
    }
    for (std::int32_t e = 0; e < track.Count(); ++e) {
        if (!IsEndOfTrack(track.At(e))) continue;
        if (e + 1 < track.Count()) {
            MusicEvent& next = track.At(e + 1);
            next.delta = AddTicks(next.delta, track.At(e).delta);
            track.At(e).delta = 0;
            MusicEvent end = std::move(track.At(e));
            track.RemoveEventAt(e);
            track.AppendEvent(std::move(end));
        }
        break;
    }
    track.SetState(track_state::kEventForm);
    MoveNoteOffsFirst(track);
}

void Retime(MidiTrackData& track, std::int32_t oldDivision, std::int32_t newDivision)
{
    if (oldDivision == newDivision) return;
    if (track.State() != track_state::kPaired) {
        track.ReportError(kInternalError);
        return;
    }
    // A division of 0 cannot scale anything; such a song stays as it is.
    if (oldDivision == 0 || newDivision == 0) return;
    const std::int64_t a = oldDivision;
    const std::int64_t b = newDivision;
    std::int64_t carry = 0;
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        MusicEvent& e = track.At(i);
        const std::int64_t t = e.delta + carry;
        e.delta = ClampTicks(t * b / a);
        carry = t - (std::int64_t{e.delta} * a / b);
        if (IsPaired(e)) {
            e.duration = ClampTicks(std::int64_t{e.duration} * b / a);
            if (e.duration == 0) e.duration = 1;
        }
    }
    RemoveInvalidEvents(track);
}

void MoveControlsFirst(MidiTrackData& track)
{
    if (track.State() != track_state::kEventForm) {
        track.ReportError(kInternalError);
        return;
    }
    MoveFirstWalk(track, [](const MusicEvent& e) {
        return !(IsNoteOn(e) || IsNoteOff(e) || IsEndOfTrack(e));
    });
}

void MoveSysExFirst(MidiTrackData& track)
{
    MoveFirstWalk(track, [](const MusicEvent& e) { return IsSystemExclusive(e); });
}

void MoveNoteOffsFirst(MidiTrackData& track)
{
    if (track.State() != track_state::kEventForm) {
        track.ReportError(kInternalError);
        return;
    }
    const auto sameKey = [](const MusicEvent& a, const MusicEvent& b) {
        return a.channel == b.channel && a.note == b.note;
    };
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        if (!IsNoteOff(track.At(i))) continue;
        for (std::int32_t n = i - 1; n >= 0 && track.At(n + 1).delta == 0; --n) {
            if (!IsNoteOn(track.At(n))) continue;
            // Only while the note on's key still sounds after the note off.
            std::int32_t ons = 0, offs = 0;
            for (std::int32_t p = 0; p <= i; ++p) {
                if (!sameKey(track.At(p), track.At(n))) continue;
                if (IsNoteOn(track.At(p))) ++ons;
                if (IsNoteOff(track.At(p))) ++offs;
            }
            if (ons > offs) SwapKeepingTimes(track, i, n);
            break;
        }
    }
    // A note off that ends a note struck before a note on of its key earlier
    // in its tick goes directly before the first such note on.
    for (std::int32_t i = 0; i < track.Count(); ++i) {
        if (!IsNoteOff(track.At(i))) continue;
        // The note it ends: first in, first out among the notes of its key.
        std::vector<std::int32_t> waiting;
        std::size_t head = 0;
        for (std::int32_t p = 0; p < i; ++p) {
            if (!sameKey(track.At(p), track.At(i))) continue;
            if (IsNoteOn(track.At(p))) waiting.push_back(p);
            if (IsNoteOff(track.At(p)) && head < waiting.size()) ++head;
        }
        if (head == waiting.size()) continue;
        const std::int32_t struck = waiting[head];
        std::int32_t groupStart = i;
        while (groupStart > 0 && track.At(groupStart).delta == 0) --groupStart;
        std::int32_t target = -1;
        for (std::int32_t q = std::max(groupStart, struck + 1); q < i && target < 0; ++q)
            if (IsNoteOn(track.At(q)) && sameKey(track.At(q), track.At(i))) target = q;
        if (target < 0) continue;
        std::vector<std::int32_t> deltas;
        for (std::int32_t q = target; q <= i; ++q) deltas.push_back(track.At(q).delta);
        for (std::int32_t q = i; q > target; --q) std::swap(track.At(q), track.At(q - 1));
        for (std::int32_t q = target; q <= i; ++q) track.At(q).delta = deltas[static_cast<std::size_t>(q - target)];
    }
}

}  // namespace rovanta::literal
