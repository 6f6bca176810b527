#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "smf/MidiF1Data.h"
#include "song/TrackMerge.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfBytes.h"

namespace rovanta {
namespace {

using namespace test;
using Strings = std::vector<std::string>;

constexpr auto kPaired = track_state::kPaired;
const std::string kInternal = "MDTK0D000001 MidiTrackData Internal Error";

// A file on disk and the loader that read it; the song is built when the load succeeded.
struct Loaded {
    Loaded(RunContext& ctx, const Bytes& bytes) : loader(ctx)
    {
        loader.Load(dir.Write("song.mid", bytes));
        if (loader.FileLength() != 0) loader.BuildSong();
    }
    const MidiTrackData& Track() const { return loader.Song()->Track(); }
    Strings Pic() const { return Picture(Track()); }

    TempDir dir;
    MidiFileLoader loader;
};

// A track that plays one note of the given number from tick 0 to 16.
Bytes NoteTrack(int note)
{
    const std::uint8_t n = static_cast<std::uint8_t>(note);
    return Chunk(Bytes{0x00, 0x90, n, 0x40, 0x10, 0x80, n, 0x00, 0x00, 0xFF, 0x2F, 0x00});
}

Bytes NamedTrack(const std::string& name)
{
    if (name.empty()) return Chunk("00 FF 2F 00");
    return Chunk(Cat({Hex("00 FF 03"), test::Vlq(static_cast<std::uint32_t>(name.size())), test::Text(name),
                      Hex("00 FF 2F 00")}));
}

// A format-0 file of exactly `size` bytes whose one chunk fills it.
Bytes FillingFormat0(std::size_t size)
{
    return Cat({test::Header(0, 1, 96), test::Text("MTrk"), test::Be(static_cast<std::uint32_t>(size - 22), 4),
                Bytes(size - 22, 0)});
}

int CountMetas(const MidiTrackData& track, std::int32_t type)
{
    int n = 0;
    for (const MusicEvent& e : track.Events()) n += e.IsMeta(type);
    return n;
}

// --- limits and refusals -------------------------------------------------------

// Files over a limit, files that are not MIDI and damage that leaves nothing
// but an End of Track load nothing; damage that leaves something, and a file
// that really is that empty, load.
TEST(LoaderLimits, WhatLoadsAndWhatIsRefused)
{
    const Bytes note = Hex("00 90 3C 40 | 60 80 3C 00");
    auto format1 = [&](std::size_t size) {
        return Smf(1, 96, {Chunk(Cat({note, test::Padding(size - 22 - 12), Hex("00 FF 2F 00")}))});
    };
    const Bytes header = test::Header(0, 1, 96);
    Bytes junk0(131, 0x55), junk1(131, 0x55);
    junk0[8] = junk0[9] = 0;  // the probe says format 0; neither reader finds "MThd"
    junk1[8] = 0;
    junk1[9] = 1;
    Bytes prefixedCut = test::WithPrefix(header);
    prefixedCut.resize(135);
    Bytes cut = NoteTrack(60);
    cut.pop_back();
    const std::string notMidi = "MDLD17000002 This is not a Midi file!", notF1 = "M1DT03000004 This is not Midi file!";
    const std::string notTrack = "MDTK0D000007 This is not a midi file.", undefined = "MDTK0D000002 Undefined Midi Event";
    const struct {
        const char* name;
        Bytes file;
        Strings reports;
        Strings loaded;  // the song, empty when nothing is loaded
    } cases[] = {
        {"983,040 bytes are over the loader's limit", FillingFormat0(983040),
         {"MDLD17000003 Data are too large! MidiFileLoader can not load data!"}, {}},
        // The format-0 reader sees only the first 393,216 bytes and refuses the chunk that runs past them.
        {"983,039 bytes pass the loader", FillingFormat0(983039), Strings(2, kInternal), {}},
        {"393,217 bytes are over the format-1 reader's limit", format1(393217), {"M1DT03000019 Data is too large!"}, {}},
        {"393,216 bytes fit", format1(393216), {}, {"sysex@0", "note60/96@0", "eot@96"}},
        {"an empty file", Bytes{}, {notMidi}, {}},
        {"a header cut short", Bytes(header.begin(), header.begin() + 13), {notMidi}, {}},
        {"a header cut short behind a prefix", prefixedCut, {notMidi}, {}},
        {"format 2", Smf(2, 96, {NoteTrack(60)}), {notMidi}, {}},
        {"no MThd, format 0 by the probe", junk0, {notF1}, {}},
        {"no MThd, format 1 by the probe", junk1, {notF1}, {}},
        {"format 0 with two tracks", Smf(0, 96, {NoteTrack(60), NoteTrack(62)}),
         {"M1DT03000002 This file is not format 1 of midi."}, {}},
        // refused chunk, pairing a track that was never read, merging it
        {"a chunk cut short", Smf(1, 96, {cut}), Strings(3, kInternal), {}},
        {"a chunk that is not a track", Smf(1, 96, {Chunk(Hex("00 FF 2F 00"), "JUNK")}, 2),
         {notTrack, notTrack, kInternal, kInternal, kInternal, kInternal}, {}},
        {"notes without a status byte to belong to", Smf(0, 96, {Chunk("00 3C 64 | 60 3C 00 | 00 FF 2F 00")}),
         Strings(3, undefined), {}},
        {"the same after a tempo", Smf(0, 96, {Chunk("00 FF 51 03 07 A1 20 | 00 3C 64 | 60 3C 00 | 00 FF 2F 00")}),
         Strings(3, undefined), {"meta81@0", "eot@160"}},
        {"a song of nothing but its End of Track", Smf(0, 96, {NamedTrack("")}), {}, {"eot@0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        Loaded l(r.ctx, c.file);
        EXPECT_EQ(r.Take(), c.reports);
        EXPECT_EQ(l.loader.FileLength() != 0, !c.loaded.empty());
        ASSERT_EQ(l.loader.Song() != nullptr, !c.loaded.empty());
        if (!c.loaded.empty()) {
            EXPECT_EQ(l.Pic(), c.loaded);
        }
    }
}

// (A missing file's report is checked with the command line's file failures.)
TEST(LoaderLimits, BuildingWithoutDataReports)
{
    Recorded r;
    MidiFileLoader loader(r.ctx);
    loader.Load("/nonexistent-rovanta-dir/none.mid");
    r.Take();
    loader.BuildSong();
    EXPECT_EQ(loader.Song(), nullptr);
    EXPECT_EQ(r.Take(), Strings{"MDLD17000001 Internal error occured in MidiFileLoader!"});
}

// --- what a load makes of a file --------------------------------------------------

TEST(Loads, SongsAsLoaded)
{
    const std::string added = "0 sysex class=1 val=127 len=9 bytes=F0 07 7F 7F 04 01 00 7F F7";
    const Bytes lyric = Chunk(Hex("00 FF 05 01 6C | 00 FF 2F 00"), "XFKM");
    const struct {
        const char* name;
        Bytes file;
        Strings song;
        Strings reports;
    } cases[] = {
        {"format 0 is split by channel and merged back: metas, system exclusive, then by channel; no master volume added",
         Smf(0, 96, {Chunk("00 92 3C 40 | 00 F0 05 7E 7F 09 01 F7 | 00 90 40 40 | 00 FF 51 03 07 A1 20 |"
                           "60 82 3C 00 | 00 80 40 00 | 00 FF 2F 00")}),
         {"0 meta type=0x51 tempo=500000", "0 sysex class=9 val=0 len=7 bytes=F0 05 7E 7F 09 01 F7",
          "0 paired ch=0 note=64 dur=96 vel=64", "0 paired ch=2 note=60 dur=96 vel=64", "96 end-of-track"},
         {}},
        {"format 1 tracks on one channel interleave, the lower track first at equal times",
         Smf(1, 96, {Chunk("00 90 3C 40 | 32 80 3C 00 | 81 16 90 3E 40 | 32 80 3E 00 |"
                           "81 16 90 40 40 | 0A 80 40 00 | 00 FF 2F 00"),
                     Chunk("64 90 3D 40 | 32 80 3D 00 | 81 16 90 3F 40 | 32 80 3F 00 |"
                           "32 90 41 40 | 0A 80 41 00 | 00 FF 2F 00")}),
         {added, "0 paired ch=0 note=60 dur=50 vel=64", "100 paired ch=0 note=61 dur=50 vel=64",
          "200 paired ch=0 note=62 dur=50 vel=64", "300 paired ch=0 note=63 dur=50 vel=64",
          "400 paired ch=0 note=64 dur=10 vel=64", "400 paired ch=0 note=65 dur=10 vel=64", "410 end-of-track"},
         {}},
        {"fewer chunks than announced", Smf(1, 96, {NoteTrack(60), NoteTrack(62)}, 3),
         {added, "0 paired ch=0 note=60 dur=16 vel=64", "0 paired ch=0 note=62 dur=16 vel=64", "16 end-of-track"},
         {"M1DT00000000 MidiF1Data Error!"}},
        {"chunks beyond the announced count are not read", Smf(1, 96, {NoteTrack(60), lyric}, 1),
         {added, "0 paired ch=0 note=60 dur=16 vel=64", "16 end-of-track"}, {}},
        {"an XFKM chunk is read", Smf(1, 96, {NoteTrack(60), lyric}),
         {added, "0 paired ch=0 note=60 dur=16 vel=64", R"(0 meta type=0x05 text="l")", "16 end-of-track"}, {}},
        {"a missing master volume goes silently to the first track with channel events",
         Smf(1, 96, {Chunk("00 FF 51 03 07 A1 20 | 00 FF 2F 00"), Chunk("00 90 3C 40 | 60 80 3C 00 | 00 FF 2F 00")}),
         {"0 meta type=0x51 tempo=500000", added, "0 paired ch=0 note=60 dur=96 vel=64", "96 end-of-track"}, {}},
        {"or to the first track", Smf(1, 96, {Chunk("00 FF 51 03 07 A1 20 | 00 FF 2F 00")}),
         {added, "0 meta type=0x51 tempo=500000", "0 end-of-track"}, {}},
        {"two tracks with a master volume report once and keep both",
         Smf(1, 96, {Chunk("00 F0 07 7F 7F 04 01 00 64 F7 | 00 FF 2F 00"),
                     Chunk("00 F0 07 7F 7F 04 01 00 5A F7 | 00 90 3C 40 | 60 80 3C 00 | 00 FF 2F 00")}),
         {"0 sysex class=1 val=100 len=9 bytes=F0 07 7F 7F 04 01 00 64 F7",
          "0 sysex class=1 val=90 len=9 bytes=F0 07 7F 7F 04 01 00 5A F7", "0 paired ch=0 note=60 dur=96 vel=64",
          "96 end-of-track"},
         {"M1DT03000006 There are more than two master volume!"}},
        {"two in one track warn once",
         Smf(1, 96, {Chunk("00 F0 07 7F 7F 04 01 00 64 F7 | 10 F0 07 7F 7F 04 01 00 5A F7 |"
                           "00 90 3C 40 | 60 80 3C 00 | 00 FF 2F 00")}),
         {"0 sysex class=1 val=100 len=9 bytes=F0 07 7F 7F 04 01 00 64 F7",
          "16 sysex class=1 val=90 len=9 bytes=F0 07 7F 7F 04 01 00 5A F7", "16 paired ch=0 note=60 dur=96 vel=64",
          "112 end-of-track"},
         {"MDTK0D000011 複数のマスターボリュームが設定されています。"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        Loaded l(r.ctx, c.file);
        ASSERT_NE(l.loader.Song(), nullptr);
        EXPECT_EQ(test::Described(l.Track()), c.song);
        EXPECT_EQ(r.Take(), c.reports);
    }
}

// --- format 0: split by channel and merged back ----------------------------------

TEST(Format0Split, SeventeenTracksEachEndAtTheSongsEnd)
{
    Recorded r;
    MusicEvent drumPart = test::SysEx(10, Hex("F0 0A 41 10 42 12 40 1A 15 02 0F F7"));
    drumPart.type = 0x12;
    drumPart.channel = 10;
    MidiF0Data song(r.ctx, kCapacity, kPaired, 96);
    song.SetTrack(test::Track(r.ctx, kPaired,
                              {test::Meta(0, meta::kTempo, 500000), test::Paired(0, 0, 60, 10),
                               test::Paired(20, 5, 62, 10), drumPart, test::SysEx(10, Hex("F0 05 7E 7F 09 01 F7")),
                               test::Eot(60), test::Eot(10)}));  // a second End of Track ends nothing more
    MidiF1Data split = MidiF1Data::CreateFromSong(song, kCapacity);
    ASSERT_EQ(split.TrackCount(), 17);
    EXPECT_EQ(split.State(), kPaired);
    EXPECT_EQ(split.division, 96);
    for (int t = 0; t < 17; ++t) {
        Strings expected{"eot@100"};
        if (t == 0) expected = {"meta81@0", "eot@100"};
        if (t == 1) expected = {"note60/10@0", "sysex@40", "eot@100"};
        if (t == 6) expected = {"note62/10@20", "eot@100"};
        if (t == 11) expected = {"sysex@30", "eot@100"};
        EXPECT_EQ(Picture(split.Track(t)), expected) << t;
    }
    EXPECT_EQ(split.Track(5).At(0).Bytes().size(), 3u);  // FF 2F 00
    EXPECT_TRUE(r.Take().empty());
}

// --- format 1: tracks merged by time ---------------------------------------------

TEST(Format1Merge, SixtyFourAnnouncedTracksReadThirtyTwo)
{
    Bytes file = test::Header(1, 64, 96);
    for (int t = 0; t < 40; ++t) file = Cat({file, NoteTrack(20 + t)});
    Recorded r;
    Loaded l(r.ctx, file);
    int notes = 0;
    for (const MusicEvent& e : l.Track().Events()) notes += e.kind == kind::kPairedNote;
    EXPECT_EQ(notes, 32);
    EXPECT_TRUE(l.Track().At(l.Track().Count() - 1).IsEndOfTrack());
    EXPECT_EQ(r.Take(), Strings{"M1DT03000001 The number of Track is too many!"});
}

TEST(Format1Merge, LongEventsWarnOnceAChunkAndAreReportedWhenEachTrackHoldingThemIsReleased)
{
    const Bytes text = Cat({Hex("00 FF 01 82 2C"), Bytes(300, 'x')});
    const std::string cut = "MDTK0D00001A Can not add data!";
    Recorded r;
    {
        Loaded l(r.ctx, Smf(1, 96, {NoteTrack(60), Chunk(Cat({text, text, Hex("00 FF 2F 00")}))}));
        // One warning for the chunk; each of the two is released with the
        // working copies of both merges and with the format-1 tracks.
        EXPECT_EQ(r.Take(), (Strings{"MDTK0D00000B サイズが大きすぎるイベントが含まれています。", cut, cut, cut, cut,
                                     cut, cut}));
    }
    EXPECT_EQ(r.Take(), Strings(2, cut));  // the song itself
}

// --- track names -------------------------------------------------------------------

// The song's one name, joined from the names of its tracks.
TEST(Names, TrackNamesJoinInReverseTrackOrderUntilTheyGetLong)
{
    const std::string a(60, 'a'), b(64, 'b');
    const std::pair<Strings, std::string> cases[] = {
        {{"Song", "Piano", "Bass"}, "Bass / Piano / Song"},
        {{"Song", "", ""}, "Song"},
        {{"", "Piano"}, "Piano / "},
        {{"", ""}, ""},
        {{a, b}, b + " / " + a},           // 127 characters
        {{a, b + "b"}, "long name"},  // 128
    };
    for (const auto& [names, joined] : cases) {
        Bytes file = test::Header(1, static_cast<int>(names.size()), 96);
        for (const std::string& n : names) file = Cat({file, NamedTrack(n)});
        Recorded r;
        Loaded l(r.ctx, file);
        std::string name;
        l.Track().GetMetaText(meta::kTrackName, name);
        EXPECT_EQ(name, joined);
        EXPECT_LE(CountMetas(l.Track(), meta::kTrackName), 1) << joined;
        EXPECT_TRUE(r.Take().empty()) << joined;
    }
}

}  // namespace
}  // namespace rovanta
