// Every struck note survives a load and a save, with and without Horizontal
// Reverse, and comes out in an order every player hears as written.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipelines/MirrorPipeline.h"
#include "common/SmfNotes.h"
#include "common/TestSinks.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfBytes.h"
#include "smf/SmfWriter.h"

namespace rovanta {
namespace {

using namespace test;
using Notes = std::vector<Note>;

struct Example {
    const char* name;
    Bytes file;
    Notes plain;     // the notes saved without a reversal
    Notes reversed;  // and with Horizontal Reverse
};

Note N(int key, std::int64_t start, std::int64_t end, int channel = 0) { return {channel, key, start, end}; }

// Loads the file and returns the saved mirror image.
Bytes Saved(const Bytes& file, bool horizontal)
{
    test::Recorded r;
    const TempDir dir;
    MidiFileLoader loader(r.ctx);
    loader.Load(dir.Write("song.mid", file));
    loader.BuildSong();
    if (!loader.Song()) return {};
    MidiF0Data copy = MirroredCopy(*loader.Song(), MirrorSettings{horizontal, false, 1, {}});
    Encode(copy);
    EXPECT_EQ(r.Take(), std::vector<std::string>{});
    return Bytes(copy.Block().data(), copy.Block().data() + copy.dataLength);
}

TEST(NotesKept, WorkedExamplesWithAndWithoutHorizontalReverse)
{
    const Example examples[] = {
        {"on, on, on, off",
         Smf(0, 480, {Chunk("00 90 3C 64 | 32 90 3C 64 | 81 16 90 3C 64 | 64 80 3C 40 | 00 FF 2F 00")}),
         {N(60, 0, 50), N(60, 50, 200), N(60, 200, 300)},
         {N(60, 0, 100), N(60, 100, 250), N(60, 250, 300)}},
        {"two overlapping notes of a key in one track: the second strike ends the first, the last off goes",
         Smf(0, 480, {Chunk("00 90 3C 64 | 3C 90 3C 64 | 81 0C 80 3C 40 | 64 80 3C 40 | 00 FF 2F 00")}),
         {N(60, 0, 60), N(60, 60, 200)},
         {N(60, 0, 140), N(60, 140, 200)}},
        {"the same two notes in two tracks stay as they are",
         Smf(1, 480, {Chunk("00 90 3C 64 | 81 48 80 3C 40 | 00 FF 2F 00"),
                      Chunk("3C 90 3C 64 | 81 70 80 3C 40 | 00 FF 2F 00")}),
         {N(60, 0, 200), N(60, 60, 300)},
         {N(60, 0, 240), N(60, 100, 300)}},
        {"the next note's on before the previous note's off in their tick",
         Smf(0, 480, {Chunk("00 90 3C 64 | 81 16 90 3C 64 | 00 80 3C 40 | 32 80 3C 40 | 00 FF 2F 00")}),
         {N(60, 0, 150), N(60, 150, 200)},
         {N(60, 0, 50), N(60, 50, 200)}},
        {"a zero-length drum hit",
         Smf(0, 480, {Chunk("00 90 3C 64 | 64 99 24 64 | 00 89 24 40 | 81 48 80 3C 40 | 00 FF 2F 00")}),
         {N(60, 0, 300), N(36, 100, 100, 9)},
         {N(60, 0, 300), N(36, 200, 200, 9)}},
        {"a zero-length note in the tick another note starts",
         Smf(0, 480, {Chunk("64 90 40 64 | 00 90 3C 64 | 00 80 3C 40 | 82 2C 80 40 40 | 00 FF 2F 00")}),
         {N(60, 100, 100), N(64, 100, 400)},
         {N(60, 300, 300), N(64, 0, 300)}},
        {"a note after a system exclusive read under running status",
         Smf(0, 96, {Chunk("00 F0 03 7E 7F F7 | 00 43 10 4C F7 | 00 90 3C 64 | 60 80 3C 40 | 00 FF 2F 00")}),
         {N(60, 0, 96)},
         {N(60, 0, 96)}},
        {"a note never released lasts until the End of Track",
         Smf(0, 480, {Chunk("00 90 3C 64 | 64 90 3E 64 | 64 80 3E 40 | 82 2C FF 2F 00")}),
         {N(60, 0, 500), N(62, 100, 200)},
         {N(60, 0, 500), N(62, 300, 400)}},
    };
    for (const Example& example : examples) {
        for (const bool horizontal : {false, true}) {
            SCOPED_TRACE(std::string(example.name) + (horizontal ? " (-H)" : ""));
            const auto tracks = test::ReadNoteTracks(Saved(example.file, horizontal));
            ASSERT_EQ(tracks.size(), 1u);
            Notes expected = horizontal ? example.reversed : example.plain;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(test::NotesHeard(tracks[0]), expected);
            EXPECT_EQ(test::Strikes(tracks[0]), static_cast<int>(expected.size()));
            EXPECT_EQ(test::EndsBehindRestrikes(tracks[0]), 0);
        }
    }
}

}  // namespace
}  // namespace rovanta
