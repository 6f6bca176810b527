#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "common/Events.h"
#include "common/Files.h"
#include "common/ScriptedChooser.h"
#include "common/SmfNotes.h"
#include "common/TestSinks.h"
#include "smf/SmfBytes.h"
#include "smf/SmfWriter.h"

namespace rovanta {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

Bytes Image(MidiF0Data& song)
{
    Encode(song);
    if (song.State() != track_state::kEncoded) return {};
    return Bytes(song.Block().data(), song.Block().data() + song.dataLength);
}

// The events of a one-track image, behind its headers: format 0, one track,
// 480 ticks per quarter, one chunk of exactly the bytes that follow.
Bytes Events(const Bytes& image)
{
    if (image.size() < 22) return {};
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 22),
              Cat({Text("MThd"), Hex("00 00 00 06 00 00 00 01 01 E0"), Text("MTrk"),
                   Be(static_cast<std::uint32_t>(image.size() - 22), 4)}));
    return Bytes(image.begin() + 22, image.end());
}

// A system-exclusive event as stored: its kind is its first byte.
MusicEvent Stored(const Bytes& bytes)
{
    MusicEvent e = test::SysEx(0, bytes);
    e.kind = bytes[0];
    return e;
}

TEST(Writer, EventsAreWrittenWithTheirOwnStatusInTheWritersOrder)
{
    MusicEvent paired = test::Paired(5, 0, 60, 10);  // never in event form: no bytes for it
    const Bytes end{0x00, 0xFF, 0x2F, 0x00};
    const struct {
        const char* name;
        std::vector<MusicEvent> events;
        Bytes written;
        Strings reports;
    } cases[] = {
        {"the smallest song", {Eot(0)}, {0x00, 0xFF, 0x2F, 0x00}, {}},
        {"note off with velocity 64",
         {On(0, 2, 60, 100), Off(480, 2, 60, 0), Eot(0)},
         {0x00, 0x92, 0x3C, 0x64, 0x83, 0x60, 0x82, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}, {}},
        {"deltas of one to four bytes",
         {test::Program(127, 0, 1), test::Program(128, 0, 1), test::Program(16383, 0, 1),
          test::Program(2097152, 0, 1), Eot(268435455)},
         {0x7F, 0xC0, 0x01, 0x81, 0x00, 0xC0, 0x01, 0xFF, 0x7F, 0xC0, 0x01, 0x81, 0x80, 0x80, 0x00, 0xC0, 0x01,
          0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0x00},
         {}},
        {"controls before notes, note offs before note ons",
         {On(0, 0, 60), test::Program(0, 0, 5), On(480, 0, 62), Off(0, 0, 60), Off(480, 0, 62), Eot(0)},
         {0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40, 0x00,
          0x90, 0x3E, 0x64, 0x83, 0x60, 0x80, 0x3E, 0x40, 0x00, 0xFF, 0x2F, 0x00}, {}},
        {"bad note numbers as zero; a kind without bytes keeps its time",
         {On(0, 1, 200), paired, Off(10, 1, 200), Eot(0)},
         {0x00, 0x91, 0x00, 0x64, 0x0F, 0x81, 0x00, 0x40, 0x00, 0xFF, 0x2F, 0x00},
         {"MDTK0D000002 Undefined Midi Event"}},
        // System exclusive without a length of its own gets one.
        {"read under running status after another", {Stored({0xF0, 0x43, 0x10, 0x4C, 0xF7}), Eot(0)},
         test::Cat({{0x00, 0xF0, 0x04, 0x43, 0x10, 0x4C, 0xF7}, end}), {}},
        {"ended elsewhere than its length said", {Stored({0xF0, 0x05, 0x01, 0x02, 0xF7}), Eot(0)},
         test::Cat({{0x00, 0xF0, 0x04, 0x05, 0x01, 0x02, 0xF7}, end}), {}},
        {"a length that matches", {Stored({0xF0, 0x03, 0x01, 0x02, 0xF7}), Eot(0)},
         test::Cat({{0x00, 0xF0, 0x03, 0x01, 0x02, 0xF7}, end}), {}},
        {"an escape whose length matches", {Stored({0xF7, 0x02, 0x01, 0x02}), Eot(0)},
         test::Cat({{0x00, 0xF7, 0x02, 0x01, 0x02}, end}), {}},
        {"a status alone", {Stored({0xF7}), Eot(0)}, test::Cat({{0x00, 0xF7, 0x00}, end}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        auto song = Song(r.ctx, c.events);
        EXPECT_EQ(Events(Image(song)), c.written);
        EXPECT_EQ(r.Take(), c.reports);
        EXPECT_FALSE(song.HasTrack());  // the track goes once it is encoded
    }
}

TEST(Writer, MetasAndTheirWarnings)
{
    Recorded r;
    MusicEvent text = test::Meta(0, meta::kText);
    const std::string body(200, 'x');
    text.SetBytes(reinterpret_cast<const std::uint8_t*>(body.data()), 200);
    MusicEvent signature = test::Meta(0, meta::kTimeSignature, 1028);  // written from its bytes, not its value
    const std::uint8_t sig[] = {6, 3, 24, 8};
    signature.SetBytes(sig, 4);
    MusicEvent tempo = test::Meta(0, meta::kTempo, 0x07A120);
    auto song = Song(r.ctx, {text, text, signature, tempo, Eot(0)});
    const Bytes events = Events(Image(song));
    ASSERT_EQ(events.size(), 2 * (1 + 2 + 2 + 200) + 8 + 7 + 4u);
    EXPECT_EQ(Bytes(events.begin(), events.begin() + 5), (Bytes{0x00, 0xFF, 0x01, 0x81, 0x48}));
    EXPECT_EQ(Bytes(events.end() - 19, events.end()),
              (Bytes{0x00, 0xFF, 0x58, 0x04, 6, 3, 24, 8, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00}));
    // Once only, however many long metas the song has.
    EXPECT_EQ(r.Take(), Strings{"MDTK0D00000B サイズが大きすぎるイベントが含まれています。"});

    // 128 bytes are not long yet.
    Recorded fresh;
    text.SetBytes(reinterpret_cast<const std::uint8_t*>(body.data()), 128);
    auto edge = Song(fresh.ctx, {text, Eot(0)});
    EXPECT_EQ(Events(Image(edge)).size(), 1 + 2 + 2 + 128 + 4u);
    EXPECT_TRUE(fresh.Take().empty());
}

TEST(Writer, ATrackThatCannotBeEncodedLeavesNothingToSave)
{
    Recorded r;
    auto noEnd = Song(r.ctx, {On(0, 0, 60), Off(10, 0, 60)});
    EXPECT_TRUE(Image(noEnd).empty());
    EXPECT_EQ(noEnd.State(), track_state::kEventForm);
    const test::TempDir dir;
    EXPECT_EQ(SaveToFile(noEnd, dir / "refused.mid"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "refused.mid"));

    auto paired = Song(r.ctx, {}, 480, track_state::kPaired);
    Encode(paired);
    EXPECT_EQ(r.Take(), (Strings{"MDTK0D000001 MidiTrackData Internal Error",
                                 "M0DT04000005 Internal error occured in MidiF0Data!",
                                 "M0DT04000005 Internal error occured in MidiF0Data!"}));
}

TEST(Writer, ACutChunkEndsEveryNoteStillSoundingAndThenItself)
{
    Recorded r;
    MidiF0Data song(r.ctx, kCapacity, track_state::kEventForm, 480);
    MidiTrackData& track = song.Track();
    for (const MusicEvent& e : {On(0, 0, 60), On(0, 1, 62), On(0, 0, 64), Off(1, 0, 60)}) track.AppendEvent(e);
    while (track.Count() < 110000) track.AppendEvent(test::Cc(1, 2, 7, 100));  // four bytes each: past the block
    track.AppendEvent(Eot(0));
    const Bytes image = Image(song);
    EXPECT_EQ(r.Take(), Strings{"MDTK0D00001A Can not add data!"});
    ASSERT_GT(image.size(), 22u);
    EXPECT_LE(image.size(), static_cast<std::size_t>(kCapacity));
    std::uint32_t chunkLength = 0;
    for (int i = 18; i < 22; ++i) chunkLength = chunkLength << 8 | image[static_cast<std::size_t>(i)];
    EXPECT_EQ(chunkLength, image.size() - 22);
    // After the last control change, note offs for the notes still sounding in
    // the order they were struck (60 has ended), then the End of Track, all at delta 0.
    EXPECT_EQ(Bytes(image.end() - 16, image.end()),
              (Bytes{0x01, 0xB2, 0x07, 0x64, 0x00, 0x81, 62, 0x40, 0x00, 0x80, 64, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
    const auto tracks = test::ReadNoteTracks(image);
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(test::NotesHeard(tracks[0]).size(), 3u);
}

TEST(Save, AsksForASaveNameOfAMidiFileAndACancelWritesNothing)
{
    Recorded r;
    auto song = Song(r.ctx, {Eot(0)});
    Encode(song);
    test::ScriptedChooser cancel;
    EXPECT_EQ(Save(song, cancel), 0);
    ASSERT_EQ(cancel.requests.size(), 1u);
    EXPECT_TRUE(cancel.requests[0].save);
    EXPECT_EQ(cancel.requests[0].defaultExtension, "*.mid");
    EXPECT_EQ(cancel.requests[0].filter, "SMF files|*.mid|");
    EXPECT_TRUE(r.Take().empty());
}

}  // namespace
}  // namespace rovanta
