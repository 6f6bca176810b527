#include "song/TrackMerge.h"

#include <algorithm>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <queue>
#include <string>

#include "song/Ticks.h"

namespace rovanta {

namespace {

// The first meta of a type within a table, or -1.
std::ptrdiff_t FindMeta(const std::vector<MusicEvent>& events, std::int32_t type)
{
    const auto at = std::find_if(events.begin(), events.end(), [&](const MusicEvent& e) { return e.IsMeta(type); });
    return at == events.end() ? -1 : at - events.begin();
}

std::string NameIn(const std::vector<MusicEvent>& events, std::ptrdiff_t at)
{
    return at < 0 ? std::string{} : events[static_cast<std::size_t>(at)].Text();
}

}  // namespace

void MergeTrack(MidiTrackData& target, const MidiTrackData& source)
{
    std::vector<MusicEvent> scratch;
    MergeTrack(target, source, scratch);
}

void MergeTrack(MidiTrackData& target, const MidiTrackData& source, std::vector<MusicEvent>& scratch)
{
    // Works on the two sides as copies would: the target's events are taken
    // over (never needed again as they were), the source's are copied once.
    // The name metas are dropped and added in the sweep itself, so no table is
    // shifted for them.
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

    const std::ptrdiff_t leftName = FindMeta(left, meta::kTrackName);
    const std::ptrdiff_t rightName = FindMeta(right, meta::kTrackName);
    const std::string a = NameIn(left, leftName);
    const std::string b = NameIn(right, rightName);
    std::string joined = a.empty() ? b : a + " / " + b;
    if (joined.size() >= 128) joined = "long name";
    // A removed event hands its delta to the next one, as RemoveEventAt does.
    auto skip = [](std::vector<MusicEvent>& events, std::ptrdiff_t at) {
        const auto i = static_cast<std::size_t>(at);
        if (at >= 0 && i + 1 < events.size()) events[i + 1].delta = AddTicks(events[i + 1].delta, events[i].delta);
    };
    skip(left, leftName);
    skip(right, rightName);
    std::optional<MusicEvent> name;
    if (!joined.empty()) {
        name.emplace(0);
        name->kind = kind::kMeta;
        name->type = meta::kTrackName;
        name->SetBytes(reinterpret_cast<const std::uint8_t*>(joined.data()), static_cast<std::int32_t>(joined.size()));
    }

    // At equal times the source's event goes first. End of Track events are
    // held back: one that another event follows is dropped, its time going
    // to that event, so only a last one stays.
    const std::size_t limit = static_cast<std::size_t>(target.MaxEvents());
    std::vector<MusicEvent>& merged = scratch;
    merged.clear();
    merged.reserve(std::min(left.size() + right.size() + 2, limit));
    std::size_t appended = 0;
    std::ptrdiff_t oversize = 0;
    bool full = false;
    std::optional<MusicEvent> heldEnd;
    std::size_t i = 0, j = 0;
    auto skipRemoved = [&] {
        if (static_cast<std::ptrdiff_t>(i) == leftName) ++i;
        if (static_cast<std::ptrdiff_t>(j) == rightName) ++j;
    };
    skipRemoved();
    auto take = [&](MusicEvent& e) {
        if (appended >= limit) {
            if (!full) target.ReportError(mdtk::kLargeData);
            full = true;
            return;
        }
        ++appended;
        if (heldEnd) {
            e.delta = AddTicks(e.delta, heldEnd->delta);
            heldEnd.reset();
        }
        if (e.IsEndOfTrack())
            heldEnd.emplace(std::move(e));
        else
            merged.push_back(std::move(e));
    };
    while (name || i < left.size() || j < right.size()) {
        MusicEvent* next = name ? &*name : i < left.size() ? &left[i] : nullptr;
        const bool fromSource = !next || (j < right.size() && next->delta >= right[j].delta);
        MusicEvent& taken = fromSource ? right[j] : *next;
        if (fromSource) {
            if (next) next->delta -= taken.delta;
        } else if (j < right.size()) {
            right[j].delta -= taken.delta;
        }
        if (taken.IsOversize()) ++oversize;
        take(taken);
        if (fromSource)
            ++j;
        else if (name)
            name.reset();
        else
            ++i;
        skipRemoved();
    }
    // Releasing the two working copies reports their long events, as releasing any track does.
    for (; oversize > 0; --oversize) target.ReportError(mdtk::kCanNotAddData);

    // Exactly one End of Track, last.
    if (heldEnd) {
        merged.push_back(std::move(*heldEnd));
    } else {
        std::int32_t delta = 0;
        if (merged.size() >= limit) {  // a full table gives its last place to the end
            if (!full) target.ReportError(mdtk::kLargeData);
            delta = merged.back().delta;
            merged.pop_back();
        }
        merged.push_back(MusicEvent::MakeEndOfTrack(delta));
    }
    target.SetEvents(std::move(merged));
    // The old table's storage serves the next merge.
    scratch = std::move(left);
    scratch.clear();
}

}  // namespace rovanta

namespace rovanta {

namespace {

// Where an event stands in the merged song: by tick, then by track (the
// lower first), then by its place in its track. A joined name stands after
// its track's events at tick 0 and before the next track's.
struct MergeKey {
    std::int64_t tick;
    std::int32_t track;
    std::int32_t pos;
    auto operator<=>(const MergeKey&) const = default;
};
constexpr std::int32_t kJoinedName = std::numeric_limits<std::int32_t>::max();

struct NameMeta {
    std::string text;
    bool oversize = false;
};

// The one-sweep merge is exact while no table can overflow and every
// absolute tick fits a delta time; otherwise the tracks are merged one by one.
bool CanMergeInOneSweep(std::span<const MidiTrackData> tracks, std::size_t limit)
{
    // A merge holds at most every event but the End of Track events, the
    // End of Track events of one track, the song's End of Track and its name.
    std::size_t events = 0, ends = 0;
    for (const MidiTrackData& track : tracks) {
        if (track.State() != track_state::kPaired) continue;
        std::size_t endsHere = 0;
        std::int64_t tick = 0;
        for (const MusicEvent& e : track.Events()) {
            if (e.delta < 0) return false;
            tick += e.delta;
            if (e.IsEndOfTrack())
                ++endsHere;
            else
                ++events;
        }
        if (tick > kMaxTicks) return false;
        ends = std::max(ends, endsHere);
    }
    return events + ends + 2 <= limit;
}

}  // namespace

void MergeAllTracks(std::span<MidiTrackData> tracks, MidiTrackData& target)
{
    const std::size_t limit = static_cast<std::size_t>(target.MaxEvents());
    if (target.Count() != 0 || target.State() != track_state::kPaired || !CanMergeInOneSweep(tracks, limit)) {
        std::vector<MusicEvent> scratch;
        for (std::size_t t = tracks.size(); t-- > 0;) MergeTrack(target, tracks[t], scratch);
        return;
    }
    const std::size_t n = tracks.size();
    std::vector<std::vector<std::int32_t>> dropped(n);  // positions of names taken out of the song
    auto isDropped = [&](std::size_t t, std::size_t p) {
        return std::find(dropped[t].begin(), dropped[t].end(), static_cast<std::int32_t>(p)) != dropped[t].end();
    };

    // Replays the pairwise merges on what decides them: the song's name metas
    // (the first of them is replaced at every step), the End of Track that is
    // last, and the count of long events whose release is reported.
    std::map<MergeKey, NameMeta> names;
    std::ptrdiff_t oversizeInSong = 0;
    bool songEmpty = true;
    std::int64_t endTick = 0;
    const MusicEvent* endEvent = nullptr;  // none: an End of Track the merge adds
    for (std::size_t t = n; t-- > 0;) {
        const MidiTrackData& source = tracks[t];
        const bool paired = source.State() == track_state::kPaired;
        if (!paired) source.ReportError(mdtk::kInternalError);
        const auto events = paired ? source.Events() : std::span<const MusicEvent>{};

        std::string a;
        if (!names.empty()) {
            auto first = names.begin();
            a = first->second.text;
            if (first->second.oversize) --oversizeInSong;
            if (first->first.pos != kJoinedName)
                dropped[static_cast<std::size_t>(first->first.track)].push_back(first->first.pos);
            names.erase(first);
        }
        std::ptrdiff_t nameAt = -1;
        for (std::size_t p = 0; p < events.size() && nameAt < 0; ++p)
            if (events[p].IsMeta(meta::kTrackName)) nameAt = static_cast<std::ptrdiff_t>(p);
        std::string bText;
        if (nameAt >= 0) {
            bText = events[static_cast<std::size_t>(nameAt)].Text();
            dropped[t].push_back(static_cast<std::int32_t>(nameAt));
        }
        std::string joined = a.empty() ? bText : a + " / " + bText;
        if (joined.size() >= 128) joined = "long name";

        std::ptrdiff_t oversizeInSource = 0;
        std::ptrdiff_t lastAt = -1;
        std::int64_t lastTick = 0, tick = 0;
        for (std::size_t p = 0; p < events.size(); ++p) {
            tick += events[p].delta;
            if (static_cast<std::ptrdiff_t>(p) == nameAt) continue;
            if (events[p].IsOversize()) ++oversizeInSource;
            lastAt = static_cast<std::ptrdiff_t>(p);
            lastTick = tick;
        }
        for (auto k = oversizeInSong + oversizeInSource; k > 0; --k) target.ReportError(mdtk::kCanNotAddData);
        oversizeInSong += oversizeInSource;

        // What stands last after this merge: the song's End of Track at or
        // after the source's last event, else the source's last event (ties go
        // to the song), else the new name; an End of Track is added behind
        // anything else.
        if (!songEmpty && (lastAt < 0 || endTick >= lastTick)) {
            // the song's End of Track stays last
        } else if (lastAt >= 0 && !(songEmpty && !joined.empty() && lastTick == 0)) {
            const MusicEvent& last = events[static_cast<std::size_t>(lastAt)];
            endTick = lastTick;
            endEvent = last.IsEndOfTrack() ? &last : nullptr;
        } else {
            endTick = 0;
            endEvent = nullptr;
        }
        songEmpty = false;

        if (!joined.empty()) names[{0, static_cast<std::int32_t>(t), kJoinedName}] = {joined, false};
        tick = 0;
        for (std::size_t p = 0; p < events.size(); ++p) {
            tick += events[p].delta;
            if (static_cast<std::ptrdiff_t>(p) == nameAt || !events[p].IsMeta(meta::kTrackName)) continue;
            names[{tick, static_cast<std::int32_t>(t), static_cast<std::int32_t>(p)}] = {events[p].Text(),
                                                                                 events[p].IsOversize()};
        }
    }

    // The song: every event kept, in merge order, End of Track events aside;
    // the joined names still standing; one End of Track last.
    std::vector<MusicEvent> merged;
    // The song's table gets room for the note offs and placeholders its
    // unpairing and reversal add; room never written costs nothing.
    merged.reserve(std::accumulate(tracks.begin(), tracks.end(), std::size_t{0},
                                   [](std::size_t sum, const MidiTrackData& t) {
                                       if (t.State() != track_state::kPaired) return sum;
                                       return sum + t.Events().size() + CountPairedNotes(t.Events());
                                   }) +
                   names.size() + 1 + kReversalRoom);
    using Head = std::pair<MergeKey, std::size_t>;  // key, and the track (n: a joined name)
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads;
    std::vector<std::size_t> next(n, 0);
    std::vector<std::int64_t> before(n, 0);  // each track's tick before its next event
    auto size = [&](std::size_t t) {
        return tracks[t].State() == track_state::kPaired ? tracks[t].Events().size() : std::size_t{0};
    };
    auto pushNext = [&](std::size_t t) {
        const auto events = tracks[t].Events();
        while (next[t] < size(t) && (isDropped(t, next[t]) || events[next[t]].IsEndOfTrack()))
            before[t] += events[next[t]++].delta;
        if (next[t] < size(t))
            heads.push({{before[t] + events[next[t]].delta, static_cast<std::int32_t>(t),
                         static_cast<std::int32_t>(next[t])},
                        t});
    };
    for (std::size_t t = 0; t < n; ++t) pushNext(t);
    for (const auto& [key, name] : names)
        if (key.pos == kJoinedName) heads.push({key, n});
    std::int64_t previous = 0;
    while (!heads.empty()) {
        const auto [key, t] = heads.top();
        heads.pop();
        if (t == n) {
            MusicEvent name(0);
            name.kind = kind::kMeta;
            name.type = meta::kTrackName;
            const std::string& text = names.at(key).text;
            name.SetBytes(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::int32_t>(text.size()));
            merged.push_back(std::move(name));
        } else {
            before[t] += tracks[t].Events()[next[t]].delta;
            merged.push_back(std::move(tracks[t].Events()[next[t]]));
            ++next[t];
            pushNext(t);
        }
        merged.back().delta = ClampTicks(key.tick - previous);
        previous = key.tick;
    }
    merged.push_back(endEvent ? MusicEvent(*endEvent) : MusicEvent::MakeEndOfTrack(0));
    merged.back().delta = ClampTicks(endTick - previous);
    target.SetEvents(std::move(merged));
}

}  // namespace rovanta
