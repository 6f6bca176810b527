// The musical options of the mirror on tiny songs built in memory: controller
// curves under Horizontal Reverse, a chosen axis, diatonic inversion and the
// trimmed start. Every expectation is worked out by hand.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "mirror/Mirror.h"
#include "mirror/Pitch.h"
#include "pipelines/MirrorPipeline.h"

namespace rovanta {
namespace {

using test::Cc;
using test::Eot;
using test::Off;
using test::On;
using test::Program;
using test::Recorded;
using Strings = std::vector<std::string>;

MusicEvent Bend(std::int32_t delta, std::int32_t value)
{
    return test::Channel(kind::kPitchBend, delta, 0, value & 0x7F, value >> 7);
}

// "what=value@tick" for what the curves move, "on60@tick" for notes.
Strings Lanes(const MidiTrackData& track)
{
    Strings out;
    std::int64_t tick = 0;
    for (const MusicEvent& e : track.Events()) {
        tick += e.delta;
        std::string s;
        switch (e.kind) {
        case kind::kNoteOn: s = "on" + std::to_string(e.note); break;
        case kind::kNoteOff: s = "off" + std::to_string(e.note); break;
        case kind::kControlChange: s = "cc" + std::to_string(e.type) + "=" + std::to_string(e.value); break;
        case kind::kProgramChange: s = "pc" + std::to_string(e.value); break;
        case kind::kPitchBend: s = "bend=" + std::to_string(e.value << 7 | e.note); break;
        default: s = e.IsEndOfTrack() ? "eot" : "kind" + std::to_string(e.kind); break;
        }
        out.push_back(s + "@" + std::to_string(tick));
    }
    return out;
}

TEST(ControlCurves, WorkedExamples)
{
    const struct {
        const char* name;
        std::vector<MusicEvent> events;
        Strings reversed;
    } cases[] = {
        {"a pedal held from 240 to 720 of 1200 is held from 480 to 960",
         {On(0, 0, 60), Cc(240, 0, 64, 127), Off(240, 0, 60), Cc(240, 0, 64, 0), On(0, 0, 62), Off(480, 0, 62),
          Eot(0)},
         {"cc64=0@0", "on62@0", "cc64=127@480", "off62@480", "on60@720", "cc64=0@960", "off60@1200", "eot@1200"}},
        {"a pedal lifted at the start is not lifted again at the end",
         {Cc(0, 0, 64, 0), On(0, 0, 60), Cc(240, 0, 64, 127), Off(240, 0, 60), Cc(240, 0, 64, 0), Eot(0)},
         {"cc64=127@0", "on60@240", "cc64=0@480", "off60@720", "eot@720"}},
        {"a pedal pressed before the first note and lifted with the last: the song keeps its length",
         {Cc(0, 0, 64, 127), On(100, 0, 60), Off(380, 0, 60), Cc(0, 0, 64, 0), Eot(0)},
         {"cc64=127@0", "on60@0", "off60@380", "cc64=0@480", "eot@480"}},
        {"a volume set up at the start holds from the start; a controller never set stays unset",
         {Cc(0, 0, 7, 80), On(0, 0, 60), Off(480, 0, 60), On(0, 0, 62), Off(480, 0, 62), Eot(0)},
         {"cc7=80@0", "on62@0", "off62@480", "on60@480", "off60@960", "eot@960"}},
        {"a pitch-bend range set twice: each half keeps its range, each group in its order",
         {Cc(0, 0, 101, 0), Cc(0, 0, 100, 0), Cc(0, 0, 6, 12), Cc(0, 0, 38, 0), On(0, 0, 60), Cc(240, 0, 101, 0),
          Cc(0, 0, 100, 0), Cc(0, 0, 6, 2), Cc(0, 0, 38, 0), Off(240, 0, 60), Eot(0)},
         {"cc101=0@0", "cc100=0@0", "cc6=2@0", "cc38=0@0", "on60@0", "cc101=0@240", "cc100=0@240", "cc6=12@240",
          "cc38=0@240", "off60@480", "eot@480"}},
        {"bank selects travel with the program change they prepare",
         {Cc(0, 0, 0, 1), Cc(0, 0, 32, 0), Program(0, 0, 5), On(0, 0, 60), Off(480, 0, 60), Cc(0, 0, 0, 2),
          Program(0, 0, 9), On(0, 0, 62), Off(480, 0, 62), Eot(0)},
         {"cc0=2@0", "pc9@0", "on62@0", "cc0=1@480", "cc32=0@480", "pc5@480", "off62@480", "on60@480", "off60@960",
          "eot@960"}},
        {"a scoop up into a note becomes a fall away at its end, back at rest after it",
         {Bend(0, 4096), On(0, 0, 60), Bend(10, 6144), Bend(10, 8192), Off(460, 0, 60), Eot(0)},
         {"bend=8192@0", "on60@0", "bend=6144@460", "bend=4096@470", "bend=8192@480", "off60@480", "eot@480"}},
        {"changes within one tick count as the last of them; other channels keep their own curves",
         {Cc(0, 0, 7, 50), Cc(0, 1, 10, 20), On(0, 0, 60), Cc(240, 0, 7, 60), Cc(0, 0, 7, 70), Off(240, 0, 60),
          Eot(0)},
         {"cc10=20@0", "cc7=70@0", "on60@0", "cc7=50@240", "off60@480", "eot@480"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        MidiF0Data song(r.ctx, kCapacity, track_state::kEventForm, 480);
        for (const MusicEvent& e : c.events) song.Track().AppendEvent(e);
        ReverseHorizontal(song, ControlMirroring::kCurves);
        EXPECT_EQ(Lanes(song.Track()), c.reversed);
        EXPECT_TRUE(r.Take().empty());
    }
}

TEST(Pitch, AxesAndKeysAsTyped)
{
    const struct {
        const char* text;
        std::optional<std::int32_t> twiceAxis;
    } axes[] = {
        {"E4", 128}, {"e4", 128}, {"Bb3", 116}, {"F#-1", 12}, {"C-1", 0}, {"G9", 254}, {"64", 128},
        {"64.5", 129}, {"0.5", 1}, {"127", 254}, {"G#9", std::nullopt}, {"128", std::nullopt},
        {"127.5", std::nullopt}, {"64.25", std::nullopt}, {"-1", std::nullopt}, {"E", std::nullopt},
        {"E4x", std::nullopt}, {"H4", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& a : axes) EXPECT_EQ(ParseAxis(a.text), a.twiceAxis) << a.text;
    EXPECT_EQ(AxisName(128), "E4");
    EXPECT_EQ(AxisName(116), "A#3");
    EXPECT_EQ(AxisName(129), "64.5");
    EXPECT_EQ(AxisName(0), "C-1");

    const struct {
        const char* text;
        std::optional<MusicalKey> key;
        const char* name;  // as KeyName writes it back
    } keys[] = {
        {"C", MusicalKey{0, false}, "C"},  {"D", MusicalKey{2, false}, "D"},   {"Bb", MusicalKey{10, false}, "Bb"},
        {"F#m", MusicalKey{6, true}, "F#m"}, {"Am", MusicalKey{9, true}, "Am"}, {"Cb", MusicalKey{11, false}, "B"},
        {"Ebm", MusicalKey{3, true}, "Ebm"}, {"H", std::nullopt, ""},           {"Cmaj", std::nullopt, ""},
        {"", std::nullopt, ""},
    };
    for (const auto& k : keys) {
        EXPECT_EQ(ParseKey(k.text), k.key) << k.text;
        if (k.key) {
            EXPECT_EQ(KeyName(*k.key), k.name);
        }
    }
}

TEST(Pitch, TheKeyOfTheFirstKeySignature)
{
    auto keySignature = [](std::int8_t sharps, std::uint8_t minor) {
        MusicEvent e = test::Meta(0, meta::kKeySignature);
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(sharps), minor};
        e.SetBytes(bytes, 2);
        return e;
    };
    const struct {
        const char* name;
        std::vector<MusicEvent> events;
        MusicalKey key;
    } cases[] = {
        {"two flats, major", {keySignature(-2, 0), keySignature(3, 1)}, {10, false}},
        {"three sharps, minor", {On(0, 0, 60), keySignature(3, 1)}, {6, true}},
        {"none", {On(0, 0, 60)}, {0, false}},
        {"one that names no key", {keySignature(9, 0)}, {0, false}},
    };
    for (const auto& c : cases) {
        Recorded r;
        MidiTrackData track(r.ctx, track_state::kEventForm);
        for (const MusicEvent& e : c.events) track.AppendEvent(e);
        EXPECT_EQ(KeyOfTrack(track), c.key) << c.name;
    }
}

// The help page's examples, exactly.
TEST(Pitch, DiatonicInversionAsTheHelpPageShowsIt)
{
    const MusicalKey cMajor{0, false}, aMinor{9, true};
    const struct {
        const char* name;
        MusicalKey key;
        const char* axis;
        std::vector<std::int32_t> notes, inverted;
    } cases[] = {
        {"C major about C4: C4 D4 E4 F4 G4 give C4 B3 A3 G3 F3", cMajor, "C4", {60, 62, 64, 65, 67},
         {60, 59, 57, 55, 53}},
        {"A minor about A3: C4 gives F3, E4 gives D3", aMinor, "A3", {60, 64}, {53, 50}},
        {"C major about C4: F#4, a raised F, gives Gb3, a lowered G", cMajor, "C4", {66}, {54}},
        {"an axis outside the scale stands for the scale note below: C#4 in C major is C4", cMajor, "C#4", {62},
         {59}},
        {"halfway between E4 and F4 the two change places", cMajor, "64.5", {64, 65, 62}, {65, 64, 67}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int32_t axis = *ParseAxis(c.axis);
        std::vector<std::int32_t> inverted;
        for (std::int32_t n : c.notes) inverted.push_back(ReflectInKey(n, axis, c.key));
        EXPECT_EQ(inverted, c.inverted);
    }
}

TEST(ReverseVertical, AboutAChosenAxisOrWithinAKey)
{
    // Channel 0 spans 60 to 67 (its C is C4); channel 9 is drums.
    auto song = [](RunContext& ctx) {
        MidiF0Data s(ctx, kCapacity, track_state::kEventForm, 480);
        for (const MusicEvent& e : {On(0, 0, 60), On(0, 0, 62), On(0, 0, 64), On(0, 0, 67), On(0, 9, 36),
                                    On(0, 1, 127), Eot(0)})
            s.Track().AppendEvent(e);
        return s;
    };
    auto notes = [](const MidiF0Data& s) {
        std::vector<std::int32_t> out;
        for (const MusicEvent& e : s.Track().Events())
            if (e.IsNote()) out.push_back(e.note);
        return out;
    };
    const struct {
        const char* name;
        VerticalAxis axis;
        std::vector<std::int32_t> notes;
    } cases[] = {
        {"each channel's C, by half steps", {}, {60, 58, 56, 53, 36, 113}},
        {"about E4 for every channel", {128, std::nullopt}, {68, 66, 64, 61, 36, 1}},
        {"about 64.5, held within 0 to 127", {129, std::nullopt}, {69, 67, 65, 62, 36, 2}},
        {"within C major about each channel's C", {std::nullopt, MusicalKey{0, false}}, {60, 59, 57, 53, 36, 113}},
        {"within A minor about A3", {114, MusicalKey{9, true}}, {53, 52, 50, 47, 36, 0}},
    };
    for (const auto& c : cases) {
        Recorded r;
        MidiF0Data s = song(r.ctx);
        ReverseVertical(s, c.axis);
        EXPECT_EQ(notes(s), c.notes) << c.name;
    }
}

TEST(MirrorPipeline, TheSongsKeyAndTheTrimmedStart)
{
    Recorded r;
    auto build = [&](std::initializer_list<MusicEvent> events) {
        MidiF0Data s(r.ctx, kCapacity, track_state::kEventForm, 480);
        for (const MusicEvent& e : events) s.Track().AppendEvent(e);
        s.PairTrack();
        return s;
    };
    auto firstNoteTick = [](const MidiF0Data& s) {
        std::int64_t tick = 0;
        for (const MusicEvent& e : s.Track().Events()) {
            tick += e.delta;
            if (e.IsNoteOn()) return tick;
        }
        return std::int64_t{-1};
    };
    // A minor from its key signature (no sharps, minor), about A3: C4 to F3.
    MusicEvent aMinor = test::Meta(0, meta::kKeySignature);
    const std::uint8_t bytes[] = {0, 1};
    aMinor.SetBytes(bytes, 2);
    const MidiF0Data keyed = build({aMinor, On(0, 0, 60), Off(480, 0, 60), Eot(0)});
    MirrorSettings diatonic{false, true, 0, {}};
    diatonic.options.diatonic = true;
    diatonic.options.twiceAxis = 114;
    const MidiF0Data inverted = MirroredCopy(keyed, diatonic);
    EXPECT_EQ(test::Picture(inverted.Track())[1], "on53@0");

    // Reversed, a long trailing wait comes first; trimmed, whole 4/4 measures
    // of 1,920 ticks go: the note at 4,320 comes to 480.
    const MidiF0Data waiting = build({test::Meta(0, meta::kTimeSignature, 4 << 8 | 4), On(0, 0, 60),
                                      Off(480, 0, 60), Cc(4320, 0, 7, 100), Eot(0)});
    MirrorSettings reversed{true, false, 1, {}};
    EXPECT_EQ(firstNoteTick(MirroredCopy(waiting, reversed)), 4320);
    reversed.options.trim = true;
    EXPECT_EQ(firstNoteTick(MirroredCopy(waiting, reversed)), 480);
    EXPECT_TRUE(r.Take().empty());
}

}  // namespace
}  // namespace rovanta
