// The before-and-after piano roll: laid out in seconds and keys, placed on a
// picture, drawn, and written by `rovanta-cli roll`.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cli/CliHarness.h"
#include "common/Events.h"
#include "common/Files.h"
#include "common/TestSinks.h"
#include "pipelines/RollLayout.h"

namespace rovanta {
namespace {

using test::Eot;
using test::Off;
using test::On;
using Note = std::tuple<double, double, int, int, bool>;  // start, end, key, channel, drum

// At 480 ticks a quarter and no tempo event, a quarter lasts half a second:
// C4 then E4 on channel 0, a drum hit at the start on channel 9.
MidiF0Data Song(RunContext& ctx)
{
    MidiF0Data song(ctx, kCapacity, track_state::kEventForm, 480);
    for (const MusicEvent& e : {On(0, 0, 60), On(0, 9, 36), Off(120, 9, 36), Off(360, 0, 60), On(0, 0, 64),
                                Off(480, 0, 64), Eot(0)})
        song.Track().AppendEvent(e);
    song.PairTrack();
    return song;
}

std::vector<Note> Notes(const Roll& roll)
{
    std::vector<Note> out;
    for (const RollNote& n : roll.notes) out.emplace_back(n.start, n.end, n.key, n.channel, n.drum);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(RollLayout, NotesInSecondsAndKeysWithAndWithoutEachReversal)
{
    const std::vector<Note> original{{0, 0.125, 36, 9, true}, {0, 0.5, 60, 0, false}, {0.5, 1.0, 64, 0, false}};
    const struct {
        const char* name;
        MirrorSettings settings;
        std::vector<Note> after;
        std::optional<double> axisBefore, axisAfter;  // channel 0's
    } cases[] = {
        {"no reversal", {false, false, 1, {}}, original, std::nullopt, std::nullopt},
        {"Horizontal Reverse: the drum hit ends the song",
         {true, false, 1, {}},
         {{0, 0.5, 64, 0, false}, {0.5, 1.0, 60, 0, false}, {0.875, 1.0, 36, 9, true}},
         std::nullopt,
         std::nullopt},
        {"Vertical Reverse about C4, an octave up; the drums stay",
         {false, true, 1, {}},
         {{0, 0.125, 36, 9, true}, {0, 0.5, 72, 0, false}, {0.5, 1.0, 68, 0, false}},
         60.0,
         72.0},
        {"Vertical Reverse about 64.5 without the octave",
         {false, true, 0, {ControlMirroring::kInstants, 129, false, std::nullopt, false}},
         {{0, 0.125, 36, 9, true}, {0, 0.5, 69, 0, false}, {0.5, 1.0, 65, 0, false}},
         64.5,
         64.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::Recorded r;
        const RollPair rolls = LayOutRolls(Song(r.ctx), c.settings);
        EXPECT_EQ(Notes(rolls.before), original);
        EXPECT_EQ(Notes(rolls.after), c.after);
        EXPECT_EQ(rolls.before.axes[0], c.axisBefore);
        EXPECT_EQ(rolls.after.axes[0], c.axisAfter);
        EXPECT_FALSE(rolls.before.axes[9]) << "no axis for the drums";
        EXPECT_DOUBLE_EQ(rolls.after.seconds, 1.0);
        // 4/4 at 480: a bar is two seconds, longer than the song.
        EXPECT_TRUE(rolls.before.bars.empty());
    }
}

TEST(RollLayout, PlacedAndDrawnHighNotesOnTopDrumsAsDiamonds)
{
    test::Recorded r;
    const RollPair rolls = LayOutRolls(Song(r.ctx), MirrorSettings{false, true, 1, {}});
    const RollPicture picture = PlaceRolls(rolls, 400, 300);
    auto find = [&](std::size_t roll, int channel, bool drum, std::size_t nth) {
        std::vector<RollRect> found;
        for (const RollRect& n : picture.notes)
            if (n.channel == channel && n.drum == drum && n.y >= picture.frames[roll].y &&
                n.y < picture.frames[roll].y + picture.frames[roll].h)
                found.push_back(n);
        std::sort(found.begin(), found.end(), [](const RollRect& a, const RollRect& b) { return a.x < b.x; });
        return found.at(nth);
    };
    const RollRect c4 = find(0, 0, false, 0), e4 = find(0, 0, false, 1), drum = find(0, 9, true, 0);
    // A second across the plot's 384 pixels, from 8 pixels in.
    EXPECT_EQ(c4.x, 8);
    EXPECT_EQ(c4.w, 192);
    EXPECT_EQ(e4.x, 200);
    EXPECT_LT(e4.y, c4.y) << "E4 above C4";
    EXPECT_GT(drum.y, c4.y) << "the low drum below";
    ASSERT_EQ(picture.axes.size(), 2u);
    EXPECT_GT(picture.axes[0].y0, e4.y);
    EXPECT_LE(picture.axes[0].y0, c4.y + c4.h) << "the upper axis runs through C4's row";
    EXPECT_TRUE(picture.frames[1].y > picture.frames[0].y + picture.frames[0].h);

    const RgbImage image = DrawRolls(picture);
    EXPECT_EQ(image.At(c4.x + c4.w / 2, c4.y + c4.h / 2), ChannelColour(0));
    EXPECT_EQ(image.At(drum.x + drum.w / 2, drum.y + drum.h / 2), ChannelColour(9));
    EXPECT_NE(image.At(drum.x, drum.y), ChannelColour(9)) << "a diamond leaves its corners";
    EXPECT_EQ(image.At(picture.frames[0].x + 300, picture.frames[0].y + 1), 0xF4F4F0u) << "an empty part of the roll";
}

TEST(RollLayout, ThePlayPositionRunsDownTheLowerRollWhereANoteStartingThenWouldStart)
{
    test::Recorded r;
    // Horizontal Reverse: E4 from 0 s, C4 from 0.5 s, the drum hit at 0.875 s.
    const RollPicture picture = PlaceRolls(LayOutRolls(Song(r.ctx), MirrorSettings{true, false, 1, {}}), 400, 300);
    const RollRect& lower = picture.frames[1];
    std::vector<RollRect> mirrored;
    for (const RollRect& n : picture.notes)
        if (n.y >= lower.y && !n.drum) mirrored.push_back(n);
    std::sort(mirrored.begin(), mirrored.end(), [](const RollRect& a, const RollRect& b) { return a.x < b.x; });
    ASSERT_EQ(mirrored.size(), 2u);
    const struct {
        double seconds;
        std::int32_t x;
    } cases[] = {
        {0.0, mirrored[0].x}, {0.5, mirrored[1].x}, {1.0, lower.x + lower.w},
        {-3.0, lower.x}, {60.0, lower.x + lower.w},  // held at the frame's edges
    };
    for (const auto& c : cases) {
        const RollLine line = PlayPositionLine(picture, c.seconds);
        EXPECT_EQ(line.x0, c.x) << c.seconds;
        EXPECT_EQ(line.x1, c.x) << c.seconds;
        EXPECT_EQ(line.y0, lower.y) << c.seconds;
        EXPECT_EQ(line.y1, lower.y + lower.h) << c.seconds;
    }
}

// The pixels of a PNG this program wrote (8-bit RGB, unfiltered rows).
std::vector<std::uint8_t> Pixels(const test::Bytes& png, std::uint32_t& width, std::uint32_t& height)
{
    auto be32 = [&](std::size_t at) {
        return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 | std::uint32_t{png[at + 2]} << 8 |
               png[at + 3];
    };
    width = be32(16);
    height = be32(20);
    std::vector<std::uint8_t> packed;
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::uint32_t length = be32(at);
        if (std::string(png.begin() + static_cast<std::ptrdiff_t>(at) + 4, png.begin() + static_cast<std::ptrdiff_t>(at) + 8) == "IDAT")
            packed.insert(packed.end(), png.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                          png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
        at += 12 + length;
    }
    std::vector<std::uint8_t> raw((std::size_t{width} * 3 + 1) * height);
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, packed.data(), packed.size()) != Z_OK) return {};
    return raw;
}

TEST(RollLayout, TheCommandWritesAPictureOfTheAskedSizeWithNotesOnIt)
{
    test::TempDir dir;
    const std::string in = std::string(ROVANTA_TEST_DATA) + "/mma--twinkle-kar.kar";
    const auto run = cli::harness::Cli({"roll", "-H", "-V", in, "-o", dir / "roll.png", "--size", "640x360"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::uint32_t width = 0, height = 0;
    const std::vector<std::uint8_t> raw = Pixels(test::ReadBytes(dir / "roll.png"), width, height);
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 360u);
    ASSERT_EQ(raw.size(), (640u * 3 + 1) * 360u);
    int coloured = 0;
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0, at = y * (width * 3 + 1) + 1; x < width; ++x, at += 3)
            coloured += raw[at] != raw[at + 1] || raw[at + 1] != raw[at + 2];
    EXPECT_GT(coloured, 2000) << "notes in colour";
    EXPECT_EQ(cli::harness::Cli({"roll", in, "-o", dir / "x.png", "--size", "12x9999999"}).status, 2);
}

}  // namespace
}  // namespace rovanta
