#pragma once
// Controller state under Horizontal Reverse, mirrored as curves: the value in
// effect at T - t in the reversed song is the value in effect just before t
// in the original. Inside the mirror layer only.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "song/MusicEvent.h"

namespace rovanta::curves {

// One change of one lane (a controller of a channel, its pitch bend, channel
// pressure, one key's pressure, its program with the bank selects before it,
// or one registered or non-registered parameter with its selection), with
// the events that make it, in their order.
struct Unit {
    std::uint32_t lane;
    std::int64_t tick;             // where it takes effect
    std::size_t effect;            // the place of the event that makes it take effect
    std::vector<std::size_t> at;   // its events' places in the original, in order
};

// The changes of every lane of `events` (places before `end`, ticks in
// `ticks`), in the order they take effect.
std::vector<Unit> FindUnits(const std::vector<MusicEvent>& events, const std::vector<std::int64_t>& ticks,
                            std::size_t end);

// Where each change goes in a song reversed about `mirror` (the tick of the
// original's last event before its End of Track): for every tick t at which
// a lane changes, the lane's change in effect before t goes to mirror - t;
// the lane's last change before the mirror tick goes to tick 0. Before its first change
// a lane holds its reset value where controllers have one (pedals,
// modulation and pitch bend at rest, full expression, no pressure), and that
// value is set at the mirror of the first change (unless the lane holds it
// there already); a lane without one has nothing there. At most `extra` reset values are set. In the order of the
// output ticks, then of the original places.
struct Placed {
    std::int64_t tick;
    const Unit* unit;
    bool reset;  // the unit's one event with its lane's reset value, instead of the unit
};
std::vector<Placed> PlaceMirrored(const std::vector<Unit>& units, std::int64_t mirror, std::size_t extra,
                                  const std::vector<MusicEvent>& events);

// `e` (a lane's only event) with its lane's reset value.
MusicEvent WithResetValue(const MusicEvent& e);

}  // namespace rovanta::curves
