#include "mirror/ControlCurves.h"

#include <algorithm>
#include <array>
#include <optional>

namespace rovanta::curves {

namespace {

// Controllers that only mean something together with the events around them.
constexpr std::int32_t kBankMsb = 0;
constexpr std::int32_t kBankLsb = 32;
constexpr std::int32_t kDataMsb = 6;
constexpr std::int32_t kDataLsb = 38;
constexpr std::int32_t kDataIncrement = 96;
constexpr std::int32_t kDataDecrement = 97;
constexpr std::int32_t kNrpnLsb = 98;
constexpr std::int32_t kNrpnMsb = 99;
constexpr std::int32_t kRpnLsb = 100;
constexpr std::int32_t kRpnMsb = 101;

enum LaneType : std::uint32_t {
    kController,
    kBend,
    kChannelPressure,
    kKeyPressure,
    kProgram,
    kRegistered,
    kNonRegistered,
    kSelection,  // parameter selections without data, and data with nothing selected
};

std::uint32_t Lane(std::int32_t channel, LaneType type, std::int32_t param)
{
    return static_cast<std::uint32_t>(channel) << 24 | static_cast<std::uint32_t>(type) << 16 |
           static_cast<std::uint32_t>(param & 0xFFFF);
}

bool IsParameterController(std::int32_t number)
{
    switch (number) {
    case kDataMsb:
    case kDataLsb:
    case kDataIncrement:
    case kDataDecrement:
    case kNrpnLsb:
    case kNrpnMsb:
    case kRpnLsb:
    case kRpnMsb: return true;
    default: return false;
    }
}

struct ChannelState {
    std::vector<std::size_t> banks;     // bank selects waiting for their program change
    std::optional<std::size_t> open;    // the parameter unit still taking events
    std::int32_t rpn = -1, nrpn = -1;   // the parameters selected (MSB << 8 | LSB), -1 for none
    bool nrpnSelected = false;          // which of the two the data entries go to
};

}  // namespace

std::vector<Unit> FindUnits(const std::vector<MusicEvent>& events, const std::vector<std::int64_t>& ticks,
                            std::size_t end)
{
    std::vector<Unit> units;
    std::array<ChannelState, 16> channels;
    auto single = [&](std::uint32_t lane, std::size_t i) { units.push_back({lane, ticks[i], i, {i}}); };
    for (std::size_t i = 0; i < end; ++i) {
        const MusicEvent& e = events[i];
        if (e.kind == kind::kMeta || e.IsSysEx() || e.channel > 15) continue;
        ChannelState& ch = channels[static_cast<std::size_t>(e.channel)];
        const bool parameter = e.kind == kind::kControlChange && IsParameterController(e.type);
        // A parameter unit is the run of parameter controllers of its channel
        // within one tick, with no other event of the channel in between.
        if (ch.open && (!parameter || units[*ch.open].tick != ticks[i])) ch.open.reset();
        if (e.IsNote()) continue;
        switch (e.kind) {
        case kind::kControlChange:
            if (e.type == kBankMsb || e.type == kBankLsb) {
                ch.banks.push_back(i);
            } else if (parameter) {
                if (!ch.open) {
                    ch.open = units.size();
                    units.push_back({Lane(e.channel, kSelection, 0), ticks[i], i, {}});
                }
                Unit& unit = units[*ch.open];
                unit.at.push_back(i);
                const std::int32_t value = e.value & 0x7F;
                auto select = [&](std::int32_t& param, bool msb, bool nrpn) {
                    param = (param < 0 ? 0x7F7F : param) & (msb ? 0x00FF : 0xFF00);
                    param |= msb ? value << 8 : value;
                    ch.nrpnSelected = nrpn;
                };
                if (e.type == kRpnMsb || e.type == kRpnLsb) {
                    select(ch.rpn, e.type == kRpnMsb, false);
                } else if (e.type == kNrpnMsb || e.type == kNrpnLsb) {
                    select(ch.nrpn, e.type == kNrpnMsb, true);
                } else if (unit.lane == Lane(e.channel, kSelection, 0)) {
                    // The first data entry names the parameter the unit sets.
                    const std::int32_t param = ch.nrpnSelected ? ch.nrpn : ch.rpn;
                    if (param >= 0 && param != 0x7F7F)
                        unit.lane = Lane(e.channel, ch.nrpnSelected ? kNonRegistered : kRegistered, param);
                }
            } else {
                single(Lane(e.channel, kController, e.type), i);
            }
            break;
        case kind::kProgramChange:
            units.push_back({Lane(e.channel, kProgram, 0), ticks[i], i, std::move(ch.banks)});
            ch.banks.clear();
            units.back().at.push_back(i);
            break;
        case kind::kPitchBend: single(Lane(e.channel, kBend, 0), i); break;
        case kind::kChannelPressure: single(Lane(e.channel, kChannelPressure, 0), i); break;
        case kind::kPolyPressure: single(Lane(e.channel, kKeyPressure, e.note), i); break;
        default: break;
        }
    }
    // Bank selects no program change followed are controllers like any other.
    for (std::size_t c = 0; c < 16; ++c)
        for (std::size_t i : channels[c].banks) single(Lane(static_cast<std::int32_t>(c), kController, events[i].type), i);
    std::sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) { return a.effect < b.effect; });
    return units;
}

namespace {

// The value a lane holds before anything set it, for the lanes a reset of all
// controllers sets back (and so every player assumes at the start).
std::optional<std::int32_t> ResetValue(const MusicEvent& e)
{
    switch (e.kind) {
    case kind::kPitchBend: return 0x2000;
    case kind::kChannelPressure: return 0;
    case kind::kControlChange:
        switch (e.type) {
        case 1:   // modulation
        case 64:  // sustain pedal
        case 65:  // portamento
        case 66:  // sostenuto
        case 67:  // soft pedal
            return 0;
        case 11:  // expression
            return 127;
        default: return std::nullopt;
        }
    default: return std::nullopt;
    }
}

bool IsResetValue(const MusicEvent& e)
{
    const std::optional<std::int32_t> reset = ResetValue(e);
    if (!reset) return false;
    const std::int32_t value = e.kind == kind::kPitchBend ? (e.value << 7 | e.note) : e.value;
    return value == *reset;
}

}  // namespace

MusicEvent WithResetValue(const MusicEvent& e)
{
    MusicEvent reset = e;
    const std::int32_t value = ResetValue(e).value_or(0);
    if (e.kind == kind::kPitchBend) {
        reset.note = value & 0x7F;
        reset.value = value >> 7;
    } else {
        reset.value = value;
    }
    return reset;
}

std::vector<Placed> PlaceMirrored(const std::vector<Unit>& units, std::int64_t mirror, std::size_t extra,
                                  const std::vector<MusicEvent>& events)
{
    // Each lane's changes, in the order they take effect.
    std::vector<const Unit*> byLane;
    byLane.reserve(units.size());
    for (const Unit& u : units) byLane.push_back(&u);
    std::stable_sort(byLane.begin(), byLane.end(), [](const Unit* a, const Unit* b) { return a->lane < b->lane; });

    std::vector<Placed> placed;
    for (std::size_t from = 0, to = 0; from < byLane.size(); from = to) {
        const Unit* first = byLane[from];
        // The value the lane's first tick leaves behind; setting the rest value
        // where the lane already holds it would change nothing.
        const Unit* firstTickLast = first;
        for (std::size_t k = from; k < byLane.size() && byLane[k]->lane == first->lane &&
                                   byLane[k]->tick == first->tick;
             ++k)
            firstTickLast = byLane[k];
        if (extra > 0 && first->at.size() == 1 && ResetValue(events[first->at.front()]) &&
            !(firstTickLast->at.size() == 1 && IsResetValue(events[firstTickLast->at.front()]))) {
            placed.push_back({mirror - first->tick, first, true});
            --extra;
        }
        const Unit* before = nullptr;  // the change in effect before the current tick
        std::int64_t tick = 0;
        for (to = from; to < byLane.size() && byLane[to]->lane == first->lane;) {
            tick = byLane[to]->tick;
            if (before) placed.push_back({mirror - tick, before, false});
            for (; to < byLane.size() && byLane[to]->lane == first->lane && byLane[to]->tick == tick; ++to)
                before = byLane[to];
        }
        // Changes at the mirror tick itself take effect after the reversed
        // song's start: what held before them holds there.
        if (tick < mirror) placed.push_back({0, before, false});
    }
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.unit->effect < b.unit->effect;
    });
    return placed;
}

}  // namespace rovanta::curves
