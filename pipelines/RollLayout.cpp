#include "pipelines/RollLayout.h"

#include <algorithm>
#include <cmath>

#include "mirror/Mirror.h"

namespace rovanta {

namespace {

constexpr double kDefaultSecondsPerQuarter = 0.5;

Roll RollOf(const MidiF0Data& paired, std::uint32_t drums)
{
    Roll roll;
    if (!paired.HasTrack()) return roll;
    const MidiTrackData& track = paired.Track();
    const TempoMap time(track, paired.division);
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        if (e.kind != kind::kPairedNote || e.velocity == 0) continue;
        const bool drum = e.channel <= 15 && ((drums >> e.channel) & 1u);
        roll.notes.push_back(
            {time.Seconds(tick), time.Seconds(tick + std::max(e.duration, 0)), e.note, e.channel, e.velocity, drum});
    }
    const std::int64_t end = std::max<std::int64_t>(tick, 0);
    roll.seconds = time.Seconds(end);
    for (const RollNote& n : roll.notes) roll.seconds = std::max(roll.seconds, n.end);
    // A bar of the first time signature, else of 4/4, at the song's division.
    std::int32_t signature = 4 << 8 | 4;
    std::int32_t found = 0;
    if (track.FindTimeSignature(&found) && (found >> 8) > 0 && (found & 0xFF) > 0) signature = found;
    const std::int64_t measure =
        std::int64_t{paired.division} * 4 * (signature >> 8) / std::max(signature & 0xFF, 1);
    for (std::int64_t bar = measure; measure > 0 && bar < end && roll.bars.size() < 100000; bar += measure)
        roll.bars.push_back(time.Seconds(bar));
    return roll;
}

}  // namespace

TempoMap::TempoMap(const MidiTrackData& track, std::int32_t division)
{
    const double perTick = division > 0 ? 1.0 / division : 0.0;
    changes_.push_back({0, 0.0, kDefaultSecondsPerQuarter * perTick});
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        if (!e.IsMeta(meta::kTempo) || e.value <= 0) continue;
        const Change& last = changes_.back();
        const double at = last.seconds + static_cast<double>(tick - last.tick) * last.secondsPerTick;
        const Change change{tick, at, e.value / 1e6 * perTick};
        if (last.tick == tick)
            changes_.back() = change;
        else
            changes_.push_back(change);
    }
}

double TempoMap::Seconds(std::int64_t tick) const
{
    const auto after = std::upper_bound(changes_.begin(), changes_.end(), tick,
                                        [](std::int64_t t, const Change& c) { return t < c.tick; });
    const Change& c = *std::prev(after);
    return c.seconds + static_cast<double>(tick - c.tick) * c.secondsPerTick;
}

RollPair LayOutRolls(const MidiF0Data& loaded, const MirrorSettings& settings)
{
    RollPair rolls;
    if (!loaded.HasTrack()) return rolls;
    const std::uint32_t drums = loaded.Track().DrumChannels();
    rolls.before = RollOf(loaded, drums);
    MidiF0Data mirror = MirroredCopy(loaded, settings);
    mirror.PairTrack();
    rolls.after = RollOf(mirror, drums);
    if (settings.vertical) {
        const auto axes = ChannelAxes(loaded.Track(), VerticalAxis{settings.options.twiceAxis, std::nullopt});
        const double raise = settings.raiseOctave == 1 ? 12.0 : 0.0;
        for (std::size_t c = 0; c < 16; ++c) {
            if (!axes[c]) continue;
            rolls.before.axes[c] = *axes[c] / 2.0;
            rolls.after.axes[c] = *axes[c] / 2.0 + raise;
        }
    }
    return rolls;
}

RollPicture PlaceRolls(const RollPair& rolls, std::int32_t width, std::int32_t height)
{
    RollPicture picture;
    picture.width = width;
    picture.height = height;
    constexpr std::int32_t kLeft = 8, kRight = 8, kTitle = 16, kScale = 18, kGap = 6;
    const std::int32_t rollHeight = std::max((height - 2 * (kTitle + kScale) - kGap) / 2, 8);
    const std::int32_t plotWidth = std::max(width - kLeft - kRight, 8);

    // One key range and one time scale for both, so the two line up.
    std::int32_t low = 127, high = 0;
    for (const Roll* roll : {&rolls.before, &rolls.after}) {
        for (const RollNote& n : roll->notes) low = std::min(low, n.key), high = std::max(high, n.key);
        for (const auto& axis : roll->axes)
            if (axis) {
                low = std::min(low, static_cast<std::int32_t>(std::floor(*axis)));
                high = std::max(high, static_cast<std::int32_t>(std::ceil(*axis)));
            }
    }
    if (low > high) low = 48, high = 72;
    low = std::max(low - 1, 0);
    high = std::min(high + 1, 127);
    const double seconds = std::max({rolls.before.seconds, rolls.after.seconds, 1.0});
    picture.span = seconds;
    const double keyHeight = static_cast<double>(rollHeight) / (high - low + 1);
    auto x = [&](double s) { return kLeft + static_cast<std::int32_t>(std::lround(s / seconds * plotWidth)); };

    // Seconds marks at least 64 pixels apart (a label is up to 40 wide).
    double step = 1;
    for (double s : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 1800.0, 3600.0}) {
        step = s;
        if (s / seconds * plotWidth >= 64) break;
    }

    const std::array<const Roll*, 2> order{&rolls.before, &rolls.after};
    const std::array<const char*, 2> names{"ORIGINAL", "MIRROR"};
    for (std::size_t r = 0; r < 2; ++r) {
        const Roll& roll = *order[r];
        const std::int32_t top = kTitle + static_cast<std::int32_t>(r) * (rollHeight + kTitle + kScale + kGap);
        picture.frames[r] = {kLeft, top, plotWidth, rollHeight, -1, false};
        picture.labels.push_back({kLeft, top - kTitle + 2, names[r]});
        auto y = [&](double key) { return top + static_cast<std::int32_t>(std::lround((high - key) * keyHeight)); };
        for (double bar : roll.bars) picture.bars.push_back({x(bar), top, x(bar), top + rollHeight});
        for (double s = 0; s <= seconds + 1e-9; s += step) {
            picture.seconds.push_back({x(s), top + rollHeight, x(s), top + rollHeight + 3});
            const auto whole = static_cast<long>(std::lround(s));
            const std::string text = std::to_string(whole / 60) + ":" + (whole % 60 < 10 ? "0" : "") +
                                     std::to_string(whole % 60);
            picture.labels.push_back({x(s), top + rollHeight + 5, text});
        }
        for (std::size_t c = 0; c < 16; ++c) {
            if (!roll.axes[c]) continue;
            // Through the middle of the axis key's row.
            const std::int32_t at = y(*roll.axes[c] + 0.5) + static_cast<std::int32_t>(keyHeight / 2);
            picture.axes.push_back({kLeft, at, kLeft + plotWidth, at});
            picture.axisChannels.push_back(static_cast<std::int32_t>(c));
        }
        for (const RollNote& n : roll.notes) {
            const std::int32_t x0 = x(n.start);
            const std::int32_t x1 = std::max(x(n.end), x0 + 2);
            const std::int32_t y0 = y(n.key);
            const std::int32_t h = std::max(static_cast<std::int32_t>(std::lround(keyHeight)), 1);
            if (n.drum) {
                // A diamond as wide as it is high, centred on the hit.
                picture.notes.push_back({x0 - h / 2, y0, std::max(h, 3), h, n.channel, true});
            } else {
                picture.notes.push_back({x0, y0, x1 - x0, h, n.channel, false});
            }
        }
    }
    return picture;
}

RollLine PlayPositionLine(const RollPicture& picture, double seconds)
{
    const RollRect& frame = picture.frames[1];
    const double share = picture.span > 0 ? std::clamp(seconds / picture.span, 0.0, 1.0) : 0.0;
    // As PlaceRolls places a note starting at `seconds`.
    const std::int32_t x = frame.x + static_cast<std::int32_t>(std::lround(share * frame.w));
    return {x, frame.y, x, frame.y + frame.h};
}

std::uint32_t ChannelColour(std::int32_t channel)
{
    static constexpr std::array<std::uint32_t, 16> kColours{
        0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd, 0x8c564b, 0xe377c2, 0x7f7f7f,
        0xbcbd22, 0x444444, 0x17becf, 0xaec7e8, 0xffbb78, 0x98df8a, 0xff9896, 0xc5b0d5};
    return kColours[static_cast<std::size_t>(channel) & 15u];
}

RgbImage DrawRolls(const RollPicture& picture)
{
    RgbImage image(picture.width, picture.height, 0xFFFFFF);
    for (const RollRect& frame : picture.frames) {
        image.FillRect(frame.x, frame.y, frame.w, frame.h, 0xF4F4F0);
        image.Line(frame.x, frame.y + frame.h, frame.x + frame.w, frame.y + frame.h, 0x808080);
    }
    for (const RollLine& bar : picture.bars) image.Line(bar.x0, bar.y0, bar.x1, bar.y1, 0xD0D0D0);
    for (const RollLine& tick : picture.seconds) image.Line(tick.x0, tick.y0, tick.x1, tick.y1, 0x808080);
    for (std::size_t i = 0; i < picture.axes.size(); ++i) {
        const RollLine& axis = picture.axes[i];
        const std::uint32_t colour = ChannelColour(picture.axisChannels[i]);
        for (std::int32_t x = axis.x0; x <= axis.x1; x += 6) image.Line(x, axis.y0, std::min(x + 3, axis.x1), axis.y0, colour);
    }
    for (const RollRect& note : picture.notes) {
        const std::uint32_t colour = ChannelColour(note.channel);
        if (!note.drum) {
            image.FillRect(note.x, note.y, note.w, note.h, colour);
            continue;
        }
        // A diamond: rows widen to the middle and narrow again.
        const std::int32_t half = std::max(note.h / 2, 1);
        const std::int32_t middle = note.x + note.w / 2;
        for (std::int32_t row = 0; row < note.h; ++row) {
            const std::int32_t reach = half - std::abs(row - half) + (note.h % 2 == 0 && row >= half ? 1 : 0);
            image.Line(middle - reach, note.y + row, middle + reach, note.y + row, colour);
        }
    }
    for (const RollLabel& label : picture.labels) image.Text(label.x, label.y, label.text, 0x303030, 2);
    return image;
}

}  // namespace rovanta
