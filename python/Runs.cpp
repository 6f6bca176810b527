#include "python/Runs.h"

#include <optional>
#include <string_view>
#include <utility>

#include "smf/MidiFileLoader.h"
#include "smf/SmfWriter.h"
#include "song/MidiF0Data.h"
#include "support/FileChooser.h"
#include "support/ReportLines.h"
#include "support/RunContext.h"

namespace rovanta::python {

namespace {

// The save dialog's answer: the path the caller gave.
class GivenPath : public FileChooser {
public:
    explicit GivenPath(std::string path) : path_(std::move(path)) {}
    std::optional<FileDialogAnswer> Choose(const FileDialogRequest&) override { return FileDialogAnswer{path_, 1}; }

private:
    std::string path_;
};

// The end of Load once the bytes are read: true when a song was built.
bool BuildSong(MidiFileLoader& loader)
{
    if (loader.FileLength() == 0) return false;
    loader.BuildSong();
    return loader.Song() != nullptr;
}

// Save on the loaded song itself, as SaveMirrored does for the command line,
// with the image kept in memory where Save would write it to a file.
bool SaveMirroredImage(MidiF0Data&& loaded, const MirrorSettings& settings, std::vector<std::uint8_t>& image)
{
    MidiF0Data song = EncodeMirrored(std::move(loaded), settings);
    // SaveToFile's own test of what it is handed.
    if (song.State() != track_state::kEncoded || !song.Block()) {
        song.ReportError(m0dt::kInternalError);
        return false;
    }
    const std::uint8_t* bytes = song.Block().data();
    image.assign(bytes, bytes + song.dataLength);
    return true;
}

void Collect(const MidiF0Data& song, SongNotes& out)
{
    out.division = song.division;
    if (!song.HasTrack()) return;
    std::int64_t tick = 0;
    for (const MusicEvent& e : song.Track().Events()) {
        tick += e.delta;
        if (e.kind == kind::kPairedNote)
            out.notes.push_back({tick, e.duration, e.channel, e.note, e.velocity});
        else if (e.IsMeta(meta::kTempo))
            out.tempos.push_back({tick, e.value});
    }
}

}  // namespace

MirrorOutcome MirrorBytes(std::span<const std::uint8_t> file, const std::string& name,
                          const MirrorSettings& settings)
{
    MirrorOutcome outcome;
    FileReports sink;
    {
        RunContext ctx(sink);  // outlives the loader, whose release may still report
        MidiFileLoader loader(ctx);
        const QuietRelease quiet(ctx);
        loader.LoadBytes(file, name);
        if (BuildSong(loader)) outcome.written = SaveMirroredImage(std::move(*loader.TakeSong()), settings, outcome.image);
    }
    outcome.lines = sink.Take();
    return outcome;
}

MirrorOutcome MirrorFile(const std::string& input, const std::string& output, const MirrorSettings& settings)
{
    MirrorOutcome outcome;
    FileReports sink;
    {
        RunContext ctx(sink);
        MidiFileLoader loader(ctx);
        const QuietRelease quiet(ctx);
        loader.Load(input);
        if (BuildSong(loader)) {
            GivenPath chooser(output);
            // Nothing needs the loaded song after this save: it is mirrored itself.
            outcome.written = SaveMirrored(std::move(*loader.TakeSong()), settings, chooser) == 1;
        }
    }
    outcome.lines = sink.Take();
    return outcome;
}

SongNotes NotesOf(std::span<const std::uint8_t> file, const std::string& name, const MirrorSettings& settings)
{
    SongNotes out;
    FileReports sink;
    {
        RunContext ctx(sink);
        MidiFileLoader loader(ctx);
        const QuietRelease quiet(ctx);
        loader.LoadBytes(file, name);
        out.loaded = BuildSong(loader);
        if (out.loaded && (settings.horizontal || settings.vertical)) {
            // The copy Play makes and plays.
            MidiF0Data copy = MirroredCopy(*loader.Song(), settings);
            copy.PairTrack();
            Collect(copy, out);
        } else if (out.loaded) {
            Collect(*loader.Song(), out);
        }
    }
    out.lines = sink.Take();
    return out;
}

}  // namespace rovanta::python
