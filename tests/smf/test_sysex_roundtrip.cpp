// System-exclusive messages that once swallowed the events behind them: read
// from elsewhere, and read back after a save.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/Events.h"
#include "common/SmfNotes.h"
#include "common/TestSinks.h"
#include "pipelines/MirrorPipeline.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfBytes.h"
#include "smf/SmfWriter.h"

namespace rovanta {
namespace {

// The events of the loaded song, in the words of the dump.
std::vector<std::string> Loaded(const test::Bytes& file, test::Bytes* saved)
{
    test::Recorded r;
    MidiFileLoader loader(r.ctx);
    loader.LoadBytes(file, "in.mid");
    if (loader.FileLength() == 0) return {"nothing loaded"};
    loader.BuildSong();
    if (!loader.Song()) return {"nothing built"};
    if (saved) {
        MidiF0Data copy = MirroredCopy(*loader.Song(), MirrorSettings{});
        Encode(copy);
        saved->assign(copy.Block().data(), copy.Block().data() + copy.dataLength);
    }
    return test::Described(loader.Song()->Track());
}

TEST(SysExRoundTrip, TheEventsBehindAMessageStayWhereTheyAre)
{
    const std::string data200(400, 'A');  // 200 bytes of 0xAA
    const struct {
        const char* name;
        std::string events;  // hex, after the chunk header
        std::string message;  // what the song holds for it, in the words of the dump
    } cases[] = {
        {"an escape of 200 bytes has a two-byte length",
         "00 F7 81 48" + data200 + " 00 90 3C 64 60 80 3C 00 00 FF 2F 00", "sysex-escape class=0 val=0 len=203"},
        {"an escape of 5 bytes", "00 F7 05 F0 7E 7F 09 01 00 90 3C 64 60 80 3C 00 00 FF 2F 00",
         "sysex-escape class=0 val=0 len=7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::Bytes file = test::Smf(0, 96, {test::Chunk(c.events)});
        test::Bytes saved;
        const std::vector<std::string> song = Loaded(file, &saved);
        ASSERT_GE(song.size(), 3u);
        EXPECT_NE(song[0].find(c.message), std::string::npos) << song[0];
        EXPECT_NE(song[1].find("paired ch=0 note=60 dur=96"), std::string::npos) << song[1];
        // Saved and read again by an independent reader: the note is there.
        const auto tracks = test::ReadNoteTracks(saved);
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_EQ(test::NotesHeard(tracks[0]), (std::vector<test::Note>{{0, 60, 0, 96}}));
        EXPECT_EQ(Loaded(saved, nullptr), song);
    }
}

TEST(SysExRoundTrip, AMessageCutOffByItsChunksEndIsSavedClosed)
{
    // The chunk ends inside the message: no F7, no End of Track.
    const test::Bytes file = test::Smf(0, 96, {test::Chunk("00 90 3C 64 60 80 3C 00 00 F0 05 7E 7F 09")});
    test::Bytes saved;
    const std::vector<std::string> song = Loaded(file, &saved);
    // Its length byte said five; the three bytes there are, then F7.
    const test::Bytes closed = test::Hex("F0 04 7E 7F 09 F7");
    EXPECT_NE(std::search(saved.begin(), saved.end(), closed.begin(), closed.end()), saved.end());
    const std::vector<std::string> again = Loaded(saved, nullptr);
    ASSERT_FALSE(again.empty());
    EXPECT_NE(again.back().find("end-of-track"), std::string::npos) << "the End of Track is read back";
    EXPECT_EQ(test::NotesHeard(test::ReadNoteTracks(saved).at(0)), (std::vector<test::Note>{{0, 60, 0, 96}}));
}

}  // namespace
}  // namespace rovanta
