#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "pipelines/MirrorPipeline.h"
#include "common/Files.h"
#include "common/SmfNotes.h"
#include "common/TestSinks.h"
#include "smf/MidiFileLoader.h"
#include "smf/SmfWriter.h"

namespace rovanta {
namespace {

namespace fs = std::filesystem;
using test::Recorded;
using Strings = std::vector<std::string>;

Strings Split(const std::string& text, const std::string& by)
{
    Strings out;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t to = std::min(text.find(by, from), text.size());
        out.push_back(text.substr(from, to - from));
        from = to + by.size();
    }
    return out;
}

// Rows of a tab-separated file, the first row naming the columns.
std::vector<std::map<std::string, std::string>> ReadTsv(const fs::path& path)
{
    std::vector<std::map<std::string, std::string>> rows;
    std::ifstream in(path);
    Strings names;
    for (std::string line; std::getline(in, line);) {
        const Strings cells = Split(line, "\t");
        if (names.empty()) {
            names = cells;
            continue;
        }
        auto& row = rows.emplace_back();
        for (std::size_t i = 0; i < names.size(); ++i) row[names[i]] = i < cells.size() ? cells[i] : "";
    }
    return rows;
}

struct Outcome {
    bool loaded = false;  // for an expected result: the file was written
    Strings reports;
};

// What loading each file of an EXPECTED.tsv gives (its "none" rows): the
// reports of a whole load-and-save run, joined by " | ", without the writer's
// long-meta warning, as the writer is not part of a load.
std::map<std::string, Outcome> ExpectedLoads(const fs::path& tsv)
{
    std::map<std::string, Outcome> expected;
    for (auto& row : ReadTsv(tsv)) {
        if (row["setting"] != "none") continue;
        Outcome& outcome = expected[row["file"]];
        outcome.loaded = row["written"] == "yes";
        for (const std::string& line : Split(row["reports"], " | "))
            if (!line.empty() && !line.starts_with("MDTK0D00000B")) outcome.reports.push_back(line);
    }
    return expected;
}

// Loads the file with a fresh run context and checks what holds after every
// successful load: one paired track ending in its only End of Track, the
// header's division, no dropped or broken events.
Outcome LoadAndCheck(const fs::path& path, int division, int format)
{
    Recorded r;
    MidiFileLoader loader(r.ctx);
    loader.Load(path.string());
    EXPECT_EQ(loader.ProbeResult(), format);
    if (loader.FileLength() != 0) loader.BuildSong();
    // A damaged file that leaves nothing is a failed load.
    if (const MidiF0Data* song = loader.Song()) {
        EXPECT_EQ(song->State(), track_state::kPaired);
        EXPECT_EQ(song->division, division);
        const MidiTrackData& track = song->Track();
        EXPECT_EQ(track.State(), track_state::kPaired);
        int ends = 0, stray = 0, badNotes = 0, badChannels = 0, masterVolumes = 0;
        for (const MusicEvent& e : track.Events()) {
            ends += e.IsEndOfTrack();
            stray += e.kind == kind::kInvalid || e.kind == kind::kNoteOn || e.kind == kind::kNoteOff;
            badNotes += e.kind == kind::kPairedNote && e.duration < 0;
            badChannels += e.channel > 15 && e.channel != kNoChannel;
            masterVolumes += e.kind == kind::kSysEx && e.type == sysex::kMasterVolume;
            EXPECT_GE(e.delta, 0);
        }
        EXPECT_EQ(ends, 1);
        EXPECT_TRUE(track.Count() > 0 && track.At(track.Count() - 1).IsEndOfTrack());
        EXPECT_EQ(stray, 0);  // no invalid events, no unpaired note on or off
        EXPECT_EQ(badNotes, 0);
        EXPECT_EQ(badChannels, 0);
        // A format-1 load always carries a master volume, unless nothing could be read at all.
        if (format == 1 && track.Count() > 1) {
            EXPECT_GE(masterVolumes, 1);
        }
    }
    return {loader.Song() != nullptr, r.Take()};
}

const fs::path kShared = ROVANTA_SHARED_DIR;

// Loaded exactly when the independent results wrote it, with their reports.
TEST(Corpus, EveryManifestFileLoadsSoundly)
{
    const fs::path dir = kShared / "corpus";
    if (!fs::exists(dir / "MANIFEST.tsv")) GTEST_SKIP() << "no shared corpus at " << dir;
    const auto expected = ExpectedLoads(kShared / "expected" / "EXPECTED.tsv");
    const auto manifest = ReadTsv(dir / "MANIFEST.tsv");
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(expected.size(), manifest.size());
    for (const auto& row : manifest) {
        const std::string file = row.at("file");
        SCOPED_TRACE(file);
        EXPECT_EQ(fs::file_size(dir / file), std::stoul(row.at("size")));
        const Outcome o = LoadAndCheck(dir / file, std::stoi(row.at("division")), std::stoi(row.at("smf_format")));
        ASSERT_TRUE(expected.count(file));
        EXPECT_EQ(o.loaded, expected.at(file).loaded);
        EXPECT_EQ(o.reports, expected.at(file).reports);
    }
}

// --- notes: every struck note is written, in an order players hear -------------

// Checks one file in every setting: the strikes read equal the strikes
// written (outside a capacity cut), and no note end stands behind a re-strike
// of its key in its tick, where a player would silence the new note at once.
// (Where each note lands is the differential test's part: it compares the
// bytes written with independently computed ones.)
void CheckNotes(const fs::path& path, int& songs)
{
    SCOPED_TRACE(path.filename().string());
    test::Bytes bytes = test::ReadBytes(path);
    if (bytes.size() >= 132 && std::string(bytes.begin() + 128, bytes.begin() + 132) == "MThd")
        bytes.erase(bytes.begin(), bytes.begin() + 128);
    if (bytes.size() < 14) return;
    const int format = bytes[9];
    const int announced = bytes[10] << 8 | bytes[11];
    int read = 0;
    for (const test::NoteTrack& track : test::ReadNoteTracks(bytes, format == 0 ? 1 : announced > 63 ? 32 : announced))
        read += test::Strikes(track);

    Recorded r;
    MidiFileLoader loader(r.ctx);
    loader.Load(path.string());
    if (loader.FileLength() != 0) loader.BuildSong();
    const Strings loadReports = r.Take();
    if (!loader.Song()) return;
    ++songs;
    const MirrorSettings settings[] = {{false, false, 1}, {true, false, 1}, {false, true, 1}, {true, true, 1},
                                       {false, true, 0}};
    for (const MirrorSettings& setting : settings) {
        SCOPED_TRACE(testing::Message() << "-H " << setting.horizontal << " -V " << setting.vertical << " octave "
                                        << setting.raiseOctave);
        MidiF0Data copy = MirroredCopy(*loader.Song(), setting);
        Encode(copy);
        ASSERT_EQ(copy.State(), track_state::kEncoded);
        const auto output = test::ReadNoteTracks({copy.Block().data(), copy.Block().data() + copy.dataLength});
        EXPECT_EQ(output.size(), 1u);
        const Strings reports = r.Take();  // the load's or the save's cut: notes may be lost
        if (std::ranges::count(loadReports, "MDTK0D000006 Large data") == 0 &&
            std::ranges::count(reports, "MDTK0D00001A Can not add data!") == 0) {
            EXPECT_EQ(test::Strikes(output.at(0)), read);
        }
        EXPECT_EQ(test::EndsBehindRestrikes(output.at(0)), 0);
    }
}

TEST(CorpusNotes, EveryStruckNoteIsWrittenInAnOrderPlayersHear)
{
    int songs = 0;
    for (const auto& entry : fs::directory_iterator(ROVANTA_TEST_DATA))
        if (entry.path().extension() == ".mid" || entry.path().extension() == ".kar") CheckNotes(entry.path(), songs);
    EXPECT_EQ(songs, 11);
    const fs::path shared = kShared / "corpus";
    if (!fs::is_directory(shared)) {
        std::cout << "[ note ] no shared corpus at " << shared << ": checked the bundled files only\n";
        return;
    }
    for (const auto& entry : fs::directory_iterator(shared)) {
        const auto ext = entry.path().extension();
        if (ext == ".mid" || ext == ".midi" || ext == ".kar") CheckNotes(entry.path(), songs);
    }
    EXPECT_GT(songs, 60);
}

}  // namespace
}  // namespace rovanta
