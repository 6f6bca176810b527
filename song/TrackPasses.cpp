// The whole-track passes. Each gives exactly the result of working one event
// at a time (erase or insert an event, scan back or forward from each note),
// as the plain versions in the tests do, but rebuilds the table in one sweep
// or sorts once, so a full table of 131,072 events never costs a quadratic
// pass.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "song/MidiTrackData.h"
#include "song/NoteMatching.h"
#include "song/Ticks.h"

namespace rovanta {

namespace {

bool IsNoteOff(const MusicEvent& e) { return e.IsNoteOff(); }

}  // namespace

template <typename Drop>
void MidiTrackData::DropEvents(Drop drop, bool reportNegativeSums)
{
    // A dropped event hands its (already increased) delta to the event after
    // it; a dropped last event loses it, exactly as RemoveEventAt does.
    std::size_t kept = 0;
    bool pending = false;
    std::int32_t carried = 0;
    for (std::size_t r = 0; r < events_.size(); ++r) {
        MusicEvent& event = events_[r];
        if (pending) {
            event.delta = AddTicks(event.delta, carried);
            if (reportNegativeSums && event.delta < 0) ReportError(mdtk::kInternalError);
            pending = false;
        }
        if (drop(event)) {
            carried = event.delta;
            pending = true;
            continue;
        }
        if (kept != r) events_[kept] = std::move(event);
        ++kept;
    }
    events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(kept), events_.end());
}

void MidiTrackData::RemoveInvalidEvents()
{
    DropEvents([](const MusicEvent& e) { return e.kind == kind::kInvalid; }, true);
}

void MidiTrackData::PairNotes()
{
    if (state_ != track_state::kEventForm) {
        ReportError(mdtk::kInternalError);
        return;
    }
    for (MusicEvent& e : events_)
        if (e.IsNoteOn() && e.velocity == 0) e.kind = kind::kNoteOff;

    // A key sounds from a note on until the next note on or note off of the
    // same key, so each key has at most one open note at a time. A re-strike
    // ends the open note and claims a note off of the key in its own tick, the
    // one that was meant for the note it cut short. A note never ended lasts
    // until the End of Track. Every note off ends up removed, matched or not.
    struct Key {
        std::int64_t start = 0;        // tick of the open note
        std::int64_t claimGroup = -1;  // the tick group the claims were made in
        std::int32_t on = -1;          // the open note, if any
        std::int32_t claims = 0;
    };
    KeyTable<Key> keys{Key{}};
    struct End {
        std::size_t at;
        std::int64_t tick;
    };
    std::vector<End> ends;  // every End of Track
    std::int64_t tick = 0, group = 0;
    auto end = [&](const Key& key, std::int64_t at) {
        events_[static_cast<std::size_t>(key.on)].duration = ClampTicks(at - key.start);
    };
    for (std::size_t i = 0; i < events_.size(); ++i) {
        MusicEvent& e = events_[i];
        tick += e.delta;
        if (e.delta != 0) ++group;
        if (e.IsEndOfTrack()) ends.push_back({i, tick});
        if (!e.IsNote()) continue;
        Key& key = keys[e];
        if (e.IsNoteOn()) {
            if (key.on >= 0) {
                end(key, tick);
                if (key.claimGroup != group) key.claimGroup = group, key.claims = 0;
                ++key.claims;
            }
            e.kind = kind::kPairedNote;
            key.on = static_cast<std::int32_t>(i);
            key.start = tick;
        } else if (key.claimGroup == group && key.claims > 0) {
            --key.claims;
        } else if (key.on >= 0) {
            end(key, tick);
            key.on = -1;
        }
    }
    keys.ForEach([&](const Key& key) {
        if (key.on < 0) return;
        // The first End of Track after the note, else the track's last event.
        const auto at = std::upper_bound(ends.begin(), ends.end(), static_cast<std::size_t>(key.on),
                                         [](std::size_t on, const End& e) { return on < e.at; });
        end(key, at != ends.end() ? at->tick : tick);
    });
    DropEvents(IsNoteOff, false);

    for (const MusicEvent& e : events_)
        if (e.kind == kind::kPairedNote && e.duration < 0) ReportError(mdtk::kInternalError);
    RemoveInvalidEvents();
    state_ = track_state::kPaired;
}

void MidiTrackData::UnpairNotes()
{
    if (state_ != track_state::kPaired) {
        ReportError(mdtk::kInternalError);
        return;
    }
    // A note of duration 0 is kept: it is written as a note on directly
    // followed by its note off.
    for (MusicEvent& e : events_)
        if (e.kind == kind::kPairedNote && e.velocity == 0) e.kind = kind::kInvalid;
    RemoveInvalidEvents();

    // Every note needs a place for its note off. When the table cannot hold
    // them all, the last notes are dropped whole (reported once) rather than
    // left without an end, which would keep them sounding.
    const auto notes = static_cast<std::int64_t>(CountPairedNotes(events_));
    const std::int64_t excess = static_cast<std::int64_t>(events_.size()) + notes - MaxEvents();
    if (excess > 0) {
        ReportError(mdtk::kLargeData);
        std::int64_t drop = (excess + 1) / 2;
        for (auto e = events_.rbegin(); e != events_.rend() && drop > 0; ++e) {
            if (e->kind != kind::kPairedNote) continue;
            e->kind = kind::kInvalid;
            --drop;
        }
        RemoveInvalidEvents();
    }

    // Each note off lands exactly `duration` ticks after its note on, before the
    // first event after the note on that stands at or after that tick. Note offs
    // sharing such an event come in tick order, and at one tick the later note's
    // first (each one was inserted before those already there).
    // One sweep finds each note off's place: the pending ends wait in a heap
    // (earliest first, at one tick the later note's first) until an event
    // stands at or after their tick (or after the highest tick so far, should
    // a delta have been negative).
    const std::size_t n = events_.size();
    struct Off {
        std::int64_t tick;
        std::uint32_t before;  // index of the event it precedes (n: the end)
        std::uint32_t on;
    };
    auto popsLater = [](const Off& a, const Off& b) { return a.tick != b.tick ? a.tick > b.tick : a.on < b.on; };
    std::vector<Off> offs, waiting;
    offs.reserve(CountPairedNotes(events_));
    std::int64_t tick = 0, reach = 0;
    auto settle = [&](std::size_t before, std::int64_t upTo) {
        while (!waiting.empty() && waiting.front().tick <= upTo) {
            std::pop_heap(waiting.begin(), waiting.end(), popsLater);
            offs.push_back({waiting.back().tick, static_cast<std::uint32_t>(before), waiting.back().on});
            waiting.pop_back();
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        MusicEvent& e = events_[i];
        tick += e.delta;
        reach = std::max(reach, tick);
        settle(i, reach);
        if (e.kind != kind::kPairedNote) continue;
        waiting.push_back({tick + std::max<std::int32_t>(e.duration, 0), 0, static_cast<std::uint32_t>(i)});
        std::push_heap(waiting.begin(), waiting.end(), popsLater);
        e.kind = kind::kNoteOn;
        e.duration = 0;
    }
    settle(n, std::numeric_limits<std::int64_t>::max());

    // Filled from the back, in place: every event moves to a later place, so
    // none is overwritten before it has moved. Each delta is set once the
    // event before it is known.
    events_.resize(n + offs.size());
    std::size_t write = events_.size();
    std::size_t pending = offs.size();
    std::int64_t laterTick = 0;
    auto place = [&](MusicEvent&& e, std::int64_t tick) {
        --write;
        if (write + 1 < events_.size()) events_[write + 1].delta = ClampTicks(laterTick - tick);
        if (&events_[write] != &e) events_[write] = std::move(e);
        laterTick = tick;
    };
    auto placeOffsBefore = [&](std::size_t index) {
        for (; pending > 0 && offs[pending - 1].before == index; --pending) {
            const Off& o = offs[pending - 1];
            // Its note on stands before `index`, where nothing has moved yet.
            const MusicEvent& on = events_[o.on];
            MusicEvent off(0);
            off.kind = kind::kNoteOff;
            off.channel = on.channel;
            off.note = on.note;
            off.velocity = 64;
            place(std::move(off), o.tick);
        }
    };
    placeOffsBefore(n);
    for (std::size_t i = n; i-- > 0;) {
        const std::int32_t delta = events_[i].delta;
        place(std::move(events_[i]), tick);
        tick -= delta;
        placeOffsBefore(i);
    }
    if (!events_.empty()) events_[0].delta = ClampTicks(laterTick);

    // The End of Track goes last, to the tick of the last event.
    const auto eot = std::find_if(events_.begin(), events_.end(),
                                  [](const MusicEvent& e) { return e.IsEndOfTrack(); });
    if (eot != events_.end() && eot + 1 != events_.end()) {
        (eot + 1)->delta = AddTicks((eot + 1)->delta, eot->delta);
        eot->delta = 0;
        std::rotate(eot, eot + 1, events_.end());
    }
    state_ = track_state::kEventForm;
    MoveNoteOffsFirst();
}

void MidiTrackData::Retime(std::int32_t oldDivision, std::int32_t newDivision)
{
    if (oldDivision == newDivision) return;
    if (state_ != track_state::kPaired) {
        ReportError(mdtk::kInternalError);
        return;
    }
    // A song without a division has no time scale to convert from.
    if (oldDivision <= 0) return;
    const std::int64_t a = oldDivision;
    const std::int64_t b = newDivision;
    std::int64_t carry = 0;
    for (MusicEvent& e : events_) {
        const std::int64_t t = std::int64_t{e.delta} + carry;
        const std::int64_t scaled = t * b / a;
        e.delta = ClampTicks(scaled);
        // The rounding loss, in old ticks, goes into the next delta.
        carry = b > 0 ? t - std::int64_t{e.delta} * a / b : t;
        if (e.kind == kind::kPairedNote) {
            e.duration = ClampTicks(std::int64_t{e.duration} * b / a);
            if (e.duration == 0) e.duration = 1;
        }
    }
    RemoveInvalidEvents();
}

namespace {

// A new order of the tick group starting at `from`: the original position of
// the event at each place. The queue of the same-tick orders may carry a
// zero-length note's note on (directly followed by its note off) behind that
// note off, which would make it sound on to the next event of its key; such a
// note on and note off trade places back.
void KeepZeroLengthNotes(const std::vector<MusicEvent>& events, std::vector<std::size_t>& order, std::size_t from,
                         std::vector<std::size_t>& placeOf)
{
    placeOf.assign(order.size(), 0);
    for (std::size_t p = 0; p < order.size(); ++p) placeOf[order[p] - from] = p;
    for (std::size_t q = 0; q + 1 < order.size(); ++q) {
        const MusicEvent& on = events[from + q];
        const MusicEvent& off = events[from + q + 1];
        if (on.IsNoteOn() && off.IsNoteOff() && on.channel == off.channel && on.note == off.note &&
            placeOf[q + 1] < placeOf[q])
            std::swap(order[placeOf[q]], order[placeOf[q + 1]]);
    }
}

}  // namespace

template <typename Moved>
void MidiTrackData::MoveFirstInTicks(Moved moved)
{
    // Positions keep their delta times; only events change places. Within a
    // tick group the moved events fill the front in the order they are met.
    // The events left behind form a queue: each moved event takes the place of
    // the queue's front, which goes to the back (and, if it is the group's first
    // event and must move itself, is met again there). That is why a moved
    // first event trades places with the next moved event of its group.
    // Each group is rearranged on its own, in place; most hold one event.
    const std::size_t n = events_.size();
    std::vector<std::size_t> order, front, queue, placeOf;
    std::vector<MusicEvent> scratch;
    std::vector<std::int32_t> deltas;
    std::size_t head = 0;
    auto arrive = [&](std::size_t index) {
        while (true) {
            if (!moved(events_[index])) {
                queue.push_back(index);
                return;
            }
            front.push_back(index);
            if (head == queue.size()) return;
            index = queue[head++];
        }
    };
    auto rearrange = [&](std::size_t from, std::size_t to) {
        order.assign(front.begin(), front.end());
        order.insert(order.end(), queue.begin() + static_cast<std::ptrdiff_t>(head), queue.end());
        front.clear();
        queue.clear();
        head = 0;
        bool same = true;
        for (std::size_t p = 0; p < order.size() && same; ++p) same = order[p] == from + p;
        if (same) return;
        KeepZeroLengthNotes(events_, order, from, placeOf);
        scratch.clear();
        deltas.clear();
        for (std::size_t q = from; q < to; ++q) {
            deltas.push_back(events_[q].delta);
            scratch.push_back(std::move(events_[q]));
        }
        for (std::size_t p = 0; p < order.size(); ++p) {
            events_[from + p] = std::move(scratch[order[p] - from]);
            events_[from + p].delta = deltas[p];
        }
    };
    std::size_t groupStart = 0;
    for (std::size_t j = 0; j < n; ++j) {
        if (events_[j].delta != 0) {
            if (j > 0) rearrange(groupStart, j);
            groupStart = j;
            queue.push_back(j);  // a new group starts; its first event stays unless displaced
        } else {
            arrive(j);
        }
    }
    if (n > 0) rearrange(groupStart, n);
}

void MidiTrackData::MoveControlsFirst()
{
    if (state_ != track_state::kEventForm) {
        ReportError(mdtk::kInternalError);
        return;
    }
    MoveFirstInTicks([](const MusicEvent& e) { return !e.IsNote() && !e.IsEndOfTrack(); });
}

void MidiTrackData::MoveSysExFirst()
{
    MoveFirstInTicks([](const MusicEvent& e) { return e.IsSysEx(); });
}

void MidiTrackData::MoveNoteOffsFirst()
{
    if (state_ != track_state::kEventForm) {
        ReportError(mdtk::kInternalError);
        return;
    }
    // Each note off trades places (and ticks) with the nearest note on before
    // it in its tick group, unless that note on's key is silent after the note
    // off: then the two are a zero-length note, already in order. The note ons
    // still in place are kept on a stack; `sounding` counts note ons minus note
    // offs per key over the positions seen so far (swaps stay among those).
    KeyTable<std::int32_t> sounding(0);
    std::vector<std::size_t> noteOns;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        if (events_[i].delta != 0) noteOns.clear();
        if (events_[i].IsNoteOn()) {
            ++sounding[events_[i]];
            noteOns.push_back(i);
        } else if (events_[i].IsNoteOff()) {
            --sounding[events_[i]];
            if (noteOns.empty()) continue;
            const std::size_t on = noteOns.back();
            if (sounding[events_[on]] <= 0) continue;
            SwapKeepTimes(static_cast<std::int32_t>(i), static_cast<std::int32_t>(on));
            noteOns.back() = i;
        }
    }
    MoveEndsBeforeRestrikes();
}

void MidiTrackData::MoveEndsBeforeRestrikes()
{
    // A note off never stands behind a later strike of its own key in its
    // tick, or a player would silence the new note at once. Note offs end
    // notes first in, first out; one that ends a note struck before a note on
    // of its key earlier in its tick moves to just before the first such note
    // on. Positions keep their delta times, so no event changes its tick.
    // Mostly no note off stands behind a note on in its tick, and then there
    // is nothing to move.
    bool onInGroup = false, offBehindOn = false;
    for (std::size_t i = 0; i < events_.size() && !offBehindOn; ++i) {
        if (events_[i].delta != 0) onInGroup = false;
        offBehindOn = onInGroup && events_[i].IsNoteOff();
        onInGroup = onInGroup || events_[i].IsNoteOn();
    }
    if (!offBehindOn) return;
    struct Strikes {
        std::vector<std::size_t> at;  // note on positions; those from `head` on still sound
        std::size_t head = 0;
        std::int64_t group = -1;       // the tick group `firstInGroup` belongs to
        std::size_t firstInGroup = 0;  // index into `at` of the group's first strike
    };
    KeyTable<Strikes> strikes(Strikes{});
    struct Move {
        std::size_t before;  // the note on it goes in front of
        std::size_t off;
    };
    std::vector<Move> moves;
    std::vector<std::int32_t> deltas;
    std::vector<MusicEvent> slice;
    auto apply = [&](std::size_t from, std::size_t to) {
        if (moves.empty()) return;
        // Unmoved events keep their order; moved note offs come just before
        // their note on, in the order they were met.
        struct Place {
            std::size_t at;
            int rank;
            std::size_t index;
        };
        std::vector<Place> order;
        std::vector<bool> moved(to - from, false);
        for (const Move& m : moves) {
            order.push_back({m.before, 0, m.off});
            moved[m.off - from] = true;
        }
        for (std::size_t q = from; q < to; ++q)
            if (!moved[q - from]) order.push_back({q, 1, q});
        std::sort(order.begin(), order.end(), [](const Place& a, const Place& b) {
            return a.at != b.at ? a.at < b.at : a.rank != b.rank ? a.rank < b.rank : a.index < b.index;
        });
        deltas.clear();
        slice.clear();
        for (std::size_t q = from; q < to; ++q) deltas.push_back(events_[q].delta);
        for (const Place& p : order) slice.push_back(std::move(events_[p.index]));
        for (std::size_t q = from; q < to; ++q) {
            events_[q] = std::move(slice[q - from]);
            events_[q].delta = deltas[q - from];
        }
        moves.clear();
    };

    std::int64_t group = -1;
    std::size_t groupStart = 0;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const MusicEvent& e = events_[i];
        if (i == 0 || e.delta != 0) {
            apply(groupStart, i);
            ++group;
            groupStart = i;
        }
        if (!e.IsNote()) continue;
        Strikes& key = strikes[e];
        if (e.IsNoteOn()) {
            if (key.group != group) {
                key.group = group;
                key.firstInGroup = key.at.size();
            }
            key.at.push_back(i);
            continue;
        }
        if (key.head == key.at.size()) continue;  // ends no note
        // The note ended is the oldest still sounding; the first strike of
        // this tick that came after it, if any, is where its end belongs.
        std::size_t later = key.head + 1;
        if (key.group == group) later = std::max(later, key.firstInGroup);
        else later = key.at.size();
        ++key.head;
        if (later < key.at.size()) moves.push_back({key.at[later], i});
        if (key.head == key.at.size()) {
            // Nothing of this key sounds: start its list afresh, so it stays short.
            key.at.clear();
            key.head = 0;
            key.group = -1;
        }
    }
    apply(groupStart, events_.size());
}

}  // namespace rovanta
