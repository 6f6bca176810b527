#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Events.h"
#include "common/TestSinks.h"
#include "smf/SmfBytes.h"
#include "smf/Format0Reader.h"
#include "smf/MidiF1Data.h"
#include "smf/SmfReader.h"
#include "song/MidiF0Data.h"

namespace rovanta {
namespace {

using namespace test;
using Strings = std::vector<std::string>;

const std::string kInternal = "MDTK0D000001 MidiTrackData Internal Error";
const std::string kUndefined = "MDTK0D000002 Undefined Midi Event";

// Reads the events as one chunk held in a buffer of exactly its size, so any
// read past the chunk is a read past the allocation.
MidiTrackData Read(RunContext& ctx, const Bytes& events)
{
    const Bytes chunk = Chunk(events);
    std::uint32_t size = 0;
    MidiTrackData track = ReadTrackChunk(ctx, chunk.data(), static_cast<std::uint32_t>(chunk.size()), 0, kCapacity, size);
    EXPECT_EQ(size, chunk.size());
    EXPECT_EQ(track.State(), track_state::kEventForm);
    return track;
}
MidiTrackData Read(RunContext& ctx, std::string_view hex) { return Read(ctx, Hex(hex)); }

Bytes Of(const MusicEvent& e) { return Bytes(e.Bytes().begin(), e.Bytes().end()); }

// --- header and chunk checks -------------------------------------------------

TEST(Header, FormatOneHeaderChecksReportTheirRefusals)
{
    const std::string notMidi = "M1DT03000004 This is not Midi file!";
    struct Case {
        Bytes bytes;
        std::uint32_t length;  // as the caller passes it
        bool accepted;
        int tracks;
        Strings reports;
    };
    const Case cases[] = {
        {test::Header(1, 64, 480), 14, true, 32, {"M1DT03000001 The number of Track is too many!"}},
        {test::Header(1, 63, 480), 14, true, 63, {}},
        {test::WithPrefix(test::Header(1, 2, 480)), 142, true, 2, {}},
        {test::Header(0, 1, 480), 14, false, 0, {"M1DT03000002 This file is not format 1 of midi."}},
        {Bytes(200, 0x11), 200, false, 0, {notMidi}},
        {Hex("4D 54 68 64 00 00 00 06 00 01"), 10, false, 0, {notMidi}},
        {Hex("4D 54 68 64"), 0, false, 0, {}},  // an empty file fails silently
    };
    for (const Case& c : cases) {
        Recorded r;
        F1Header h;
        EXPECT_EQ(ReadF1Header(r.ctx, std::span(c.bytes.data(), c.length), h), c.accepted) << c.length;
        if (c.accepted) {
            EXPECT_EQ(h.tracks, c.tracks);
            EXPECT_EQ(h.division, 480);
            EXPECT_EQ(h.base, c.length == 142 ? 128u : 0u);
        }
        EXPECT_EQ(r.Take(), c.reports) << c.length;
    }
}

TEST(Header, FormatZeroHeaderSkipsThePrefixAndReportsOnlyWhenAsked)
{
    Recorded r;
    const Bytes prefixed = test::WithPrefix(Cat({test::Header(0, 1, 0x8060), Chunk("00 FF 2F 00")}));
    F0Header header;
    ASSERT_TRUE(ReadF0Header(r.ctx, prefixed, header, false));
    EXPECT_EQ(header.base, 128u);
    EXPECT_EQ(header.division, 0x8060);  // a time-code division is taken as ticks

    for (bool report : {false, true}) {
        for (const Bytes& file : {test::Header(1, 1, 96), test::Header(0, 2, 96), test::Header(0, 0, 96), Bytes(300, 0x11)}) {
            EXPECT_FALSE(ReadF0Header(r.ctx, file, header, report));
        }
    }
    EXPECT_EQ(r.Take(), (Strings{"M0DT04000001 This file is not Format 0!",
                                 "M0DT04000003 The number of track is invalid! in MidiF0Data!",
                                 "M0DT04000003 The number of track is invalid! in MidiF0Data!",
                                 "M0DT04000004 This is not a MIDI file. Or maybe mac binary is attached to the file!"}));
}

TEST(Header, ChunkIdsAndChunksThatRunPastTheFile)
{
    Bytes cut = Chunk("00 FF 2F 00");
    cut.pop_back();
    struct Case {
        Bytes bytes;
        std::uint32_t size;  // how far the caller advances; 0 when refused
        Strings outcome;     // the events read, then the reports
    };
    const Case cases[] = {
        {Chunk(Hex("00 FF 05 02 6C 61 | 00 FF 2F 00"), "XFKM"), 18, {"meta5@0", "eot@0"}},
        {Chunk(Hex("00 FF 2F 00"), "JUNK"), 0, {"MDTK0D000007 This is not a midi file."}},
        {cut, 0, {kInternal}},
        {Hex("4D 54 72 6B 00 00"), 0, {kInternal}},  // the length field itself is cut
        {Chunk(Bytes{}), 8, {}},
    };
    for (const Case& c : cases) {
        Recorded r;
        std::uint32_t size = 99;
        MidiTrackData t = ReadTrackChunk(r.ctx, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), 0, kCapacity, size);
        EXPECT_EQ(size, c.size);
        Strings seen = Picture(t);
        for (const std::string& report : r.Take()) seen.push_back(report);
        EXPECT_EQ(seen, c.outcome);
    }
}

// --- events as read ---------------------------------------------------------

TEST(Events, EachKindReadsWithItsFieldsAndRepairs)
{
    const std::string timeSign = "MDTK0D000027 Error occured in time sign!";
    const std::string noteRepaired =
        "MDTK0D000017 内部処理のエラーでノートナンバーが異常になりましたので０に修正しました。";
    const struct {
        const char* name;
        const char* hex;
        Strings events;
        Strings reports;
        const char* next = nullptr;  // a chunk read next in the same run, its events marked "then"
    } cases[] = {
        {"channel messages", "00 81 3C 40 | 00 A1 3C 11 | 00 B2 07 64 | 00 C3 05 | 00 D4 22 | 00 E5 01 40 | 00 FF 2F 00",
         {"0 note-off ch=1 note=60 vel=64", "0 poly-pressure ch=1 note=60 val=17", "0 cc ch=2 ctrl=7 val=100",
          "0 program ch=3 prog=5", "0 channel-pressure ch=4 val=34", "0 pitch-bend ch=5 lsb=1 msb=64", "0 end-of-track"},
         {}},
        {"velocity 1 sounds, velocity 0 ends", "00 90 3C 01 | 00 90 3C 00",
         {"0 note-on ch=0 note=60 vel=1", "0 note-off ch=0 note=60 vel=0"}, {}},
        {"data bytes repeat the status", "00 90 3C 40 | 10 3E 40 | 10 3C 00",
         {"0 note-on ch=0 note=60 vel=64", "16 note-on ch=0 note=62 vel=64", "32 note-off ch=0 note=60 vel=0"}, {}},
        {"running status survives a meta event", "00 91 3C 40 | 00 FF 01 01 41 | 60 3C 00 | 00 FF 2F 00",
         {"0 note-on ch=1 note=60 vel=64", R"(0 meta type=0x01 text="A")", "96 note-off ch=1 note=60 vel=0",
          "96 end-of-track"},
         {}},
        {"after a system exclusive a data byte starts another one a byte earlier",
         "00 F0 03 01 02 F7 | 00 05 06 F7 | 00 FF 2F 00",
         {"0 sysex class=0 val=0 len=5 bytes=F0 03 01 02 F7", "0 sysex class=0 val=0 len=4 bytes=F0 05 06 F7",
          "0 end-of-track"},
         {}},
        {"undefined status bytes, no running status yet", "00 F4 00 F9 00 FF 2F 00",
         {"0 invalid", "0 invalid", "0 end-of-track"}, Strings(2, kUndefined)},
        {"running status carries into the next track of the run", "00 C2 01 | 00 FF 2F 00",
         {"0 program ch=2 prog=1", "0 end-of-track", "then 0 program ch=2 prog=5", "then 0 end-of-track"}, {},
         "00 05 | 00 FF 2F 00"},
        {"a fresh run has none", "00 05 | 00 FF 2F 00", {"0 invalid", "0 end-of-track"}, {kUndefined}},
        {"note bytes above 127 become a silent 0, warned once a chunk",
         "00 90 80 40 | 00 80 FF 40 | 00 90 3C 40",
         {"0 note-on ch=0 note=0 vel=0", "0 note-off ch=0 note=0 vel=0", "0 note-on ch=0 note=60 vel=64",
          "then 0 note-on ch=0 note=0 vel=0"},
         {noteRepaired, noteRepaired}, "00 90 80 40"},
        {"a note on of velocity 0 is a note off, its number untested", "00 90 85 00",
         {"0 note-off ch=0 note=133 vel=0"}, {}},
        {"a zero tempo becomes 500000", "00 FF 51 03 00 00 00 | 00 FF 51 03 07 A1 1F",
         {"0 meta type=0x51 tempo=500000", "0 meta type=0x51 tempo=499999"}, {"MDTK0D000005 Tempo is wrong."}},
        {"time signatures from their bytes; a zero numerator or denominator repaired, exponents capped at 30",
         "00 FF 58 04 03 00 18 08 | 00 FF 58 04 06 03 18 08 | 00 FF 58 04 00 02 18 08 | 00 FF 58 04 04 1F 18 08",
         {"0 meta type=0x58 value=1028 bytes=03 00 18 08", "0 meta type=0x58 value=1544 bytes=06 03 18 08",
          "0 meta type=0x58 value=1028 bytes=00 02 18 08", "0 meta type=0x58 value=1073742848 bytes=04 1F 18 08"},
         Strings(2, timeSign)},
        {"fixed metas take their own size and keep no numbers",
         "00 FF 00 02 00 07 | 00 FF 20 01 05 | 00 FF 54 05 01 02 03 04 05 | 00 FF 59 02 FD 01 | 00 FF 2F 00",
         {"0 meta type=0x00 len=2 bytes=00 00", "0 meta type=0x20 len=1 bytes=00",
          "0 meta type=0x54 len=5 bytes=00 00 00 00 00", "0 meta type=0x59 len=2 bytes=FD 01", "0 end-of-track"},
         {}},
        {"texts; an empty one is one zero byte; type 9 reads as 4",
         "00 FF 03 00 | 00 FF 03 04 42 61 73 73 | 00 FF 09 02 47 53 | 00 FF 7F 01 00 | 00 FF 2F 00",
         {R"(0 meta type=0x03 text="\x00")", R"(0 meta type=0x03 text="Bass")", R"(0 meta type=0x04 text="GS")",
          "0 meta type=0x7F len=1 bytes=00", "0 end-of-track"},
         {}},
        {"a program above 127 becomes 0", "00 C0 80 | 00 C0 7F | 00 FF 2F 00",
         {"0 program ch=0 prog=0", "0 program ch=0 prog=127", "0 end-of-track"},
         {"MDTK0D00000C Wrong program change is modified to zero."}},
        {"an escape keeps its bytes", "00 F7 02 01 02 | 00 FF 2F 00",
         {"0 sysex-escape class=0 val=0 len=4 bytes=F7 02 01 02", "0 end-of-track"}, {}},
        {"master volume and drum part classified",
         "00 F0 07 7F 7F 04 01 00 64 F7 | 00 F0 0A 41 10 42 12 40 1A 15 02 0F F7",
         {"0 sysex class=1 val=100 len=9 bytes=F0 07 7F 7F 04 01 00 64 F7",
          "0 sysex ch=10 class=18 val=2 len=12 bytes=F0 0A 41 10 42 12 40 1A 15 02 0F F7"},
         {}},
        {"the longest delta of four bytes", "FF FF FF 7F FF 2F 00", {"268435455 end-of-track"}, {}},
        {"longer ones saturate", "87 FF FF FF 7F FF 2F 00", {"2147483647 end-of-track"}, {}},
        {"also when a fifth byte follows", "88 80 80 80 00 FF 2F 00", {"2147483647 end-of-track"}, {}},
        {"or many", "FF FF FF FF FF FF FF FF 7F FF 2F 00", {"2147483647 end-of-track"}, {}},
        {"or zero groups after a one", "81 80 80 80 80 80 80 00 FF 2F 00", {"2147483647 end-of-track"}, {}},
        {"other meta types are invalid and keep their time", "10 FF 21 01 00 | 05 FF 08 02 41 42 | 20 FF 2F 00",
         {"16 invalid", "21 invalid", "53 end-of-track"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r;
        Strings events = test::Described(Read(r.ctx, c.hex));
        if (c.next)
            for (const std::string& e : test::Described(Read(r.ctx, c.next))) events.push_back("then " + e);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(r.Take(), c.reports);
    }
}

TEST(RunningStatus, MalformedBytesAreSkippedOneByOne)
{
    Recorded r;
    auto t = Read(r.ctx, Bytes(1000, 0x3C));  // delta, data byte, delta, data byte ...
    EXPECT_EQ(t.Count(), 500);
    EXPECT_EQ(r.Take(), Strings(500, kUndefined));
}

// --- system-exclusive classification ------------------------------------------

TEST(SysExClass, RulesByManufacturerAndAddress)
{
    struct Case {
        const char* hex;
        int type, value, channel;
    };
    const Case cases[] = {
        {"F0 08 7F 7F 04 01 00 64 00 F7", 0, 0, 255},         // no F7 at index 8
        {"F0 07 7F 7F 04 02 00 50 F7", 0x28, 0x50, 255},
        {"F0 0A 41 10 42 12 40 00 04 64 58 F7", 1, 0x64, 255},
        {"F0 0A 41 10 42 12 40 01 30 05 0A F7", 0x14, 5, 255},
        {"F0 0A 41 10 42 12 40 01 40 05 0A F7", 0x29, 5, 255},
        {"F0 0A 41 10 42 12 40 01 5A 07 0A F7", 0x40, 7, 255},
        {"F0 0A 41 10 42 12 40 01 36 05 0A F7", 0, 5, 255},   // value kept whatever the type
        {"F0 0A 41 10 42 12 40 02 03 09 0A F7", 0x44, 9, 255},
        {"F0 0A 41 10 42 12 40 10 15 01 0A F7", 0x12, 1, 9},
        {"F0 0A 41 10 42 12 40 11 15 01 0A F7", 0x12, 1, 0},
        {"F0 0A 41 10 42 12 40 1F 15 01 0A F7", 0x12, 1, 15},
        {"F0 0A 41 10 42 12 40 12 16 01 0A F7", 0, 1, 255},
        {"F0 0A 41 10 42 12 40 40 20 03 0A F7", 0x45, 3, 9},
        {"F0 0A 41 10 42 12 40 4A 20 03 0A F7", 0x45, 3, 10},
        {"F0 0A 41 10 42 12 40 00 7F 00 41 F7", 0, 0, 255},   // GS reset: other address
        {"F0 0A 41 10 42 12 00 00 7F 00 01 F7", 0x13, 0, 255},
        {"F0 07 43 79 06 7F 00 00 F7", 127, 0, 255},
        {"F0 08 43 79 06 7F 00 00 00 F7", 0, 0, 255},
        {"F0 05 7E 7F 09 01 F7", 9, 0, 255},
        {"F0 03 41 10 F7", 0, 0, 255},                        // short: the spare room reads 0
    };
    for (const Case& c : cases) {
        MusicEvent e = test::SysEx(0, Hex(c.hex));
        ClassifySysEx(e);
        EXPECT_EQ((std::vector<int>{e.type, e.value, e.channel}), (std::vector<int>{c.type, c.value, c.channel})) << c.hex;
    }
}

// --- repairs and reads that must stay inside the chunk ------------------------

TEST(Repairs, TruncatedEventsEndAtTheChunk)
{
    struct Case {
        const char* hex;
        Strings reports;
        Strings picture;
    };
    const std::string tempo = "MDTK0D000005 Tempo is wrong.";
    const Case cases[] = {
        {"00 FF 01 05 41 42", {kInternal}, {"meta1@0"}},
        {"00 FF 03 81", {kInternal, kInternal}, {"meta3@0"}},  // text length cut inside its VLQ
        {"00 F7 05 01 02", {kInternal}, {"kind247@0"}},
        {"00 FF 51 03 07 A1", {kInternal}, {"meta81@0"}},
        {"00 FF 51", {kInternal, tempo}, {"meta81@0"}},
        {"00 FF 58 04 03", {kInternal, "MDTK0D000027 Error occured in time sign!"}, {"meta88@0"}},
        {"00 F0 03 01 02", {kInternal}, {"sysex@0"}},
        {"00 FF", {kInternal}, {"invalid@0"}},
        {"00 C0 01 81", {kInternal, kInternal}, {"pc1@0", "invalid@1"}},  // delta cut, then nothing left
        {"00 90 3C", {}, {"off60@0"}},  // a cut channel message reads zeros and is not reported
    };
    for (const Case& c : cases) {
        Recorded r;
        auto t = Read(r.ctx, c.hex);
        EXPECT_EQ(Picture(t), c.picture) << c.hex;
        EXPECT_EQ(r.Take(), c.reports) << c.hex;
    }
    Recorded r;
    auto t = Read(r.ctx, "00 FF 51 03 07 A1");
    EXPECT_EQ(t.At(0).value, 0x07A100);
    auto s = Read(r.ctx, "00 F0 03 01 02");
    EXPECT_EQ(Of(s.At(0)), Hex("F0 03 01 02"));
    auto e = Read(r.ctx, "00 F7 05 01 02");
    EXPECT_EQ(Of(e.At(0)), Hex("F7 05 01 02"));
}

TEST(Repairs, AFullTableKeeps131072EventsAndStopsReading)
{
    Recorded r;
    auto events = [](std::size_t n) {  // one program change, then n - 1 more under running status
        Bytes b = Hex("00 C0 00");
        for (std::size_t i = 1; i < n; ++i) b.insert(b.end(), {0x00, 0x01});
        return b;
    };
    auto full = Read(r.ctx, events(131072));
    EXPECT_EQ(full.Count(), 131072);
    EXPECT_TRUE(r.Take().empty());
    auto over = Read(r.ctx, Cat({events(131072), Hex("00 02 00 FF 2F 00")}));
    EXPECT_EQ(over.Count(), 131072);
    EXPECT_EQ(over.At(131071).value, 1);
    EXPECT_EQ(r.Take(), Strings{"MDTK0D000006 Large data"});
}

}  // namespace
}  // namespace rovanta
