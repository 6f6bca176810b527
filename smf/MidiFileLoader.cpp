#include "smf/MidiFileLoader.h"

#include "smf/Format0Reader.h"
#include "smf/SmfReader.h"
#include "song/TrackMerge.h"
#include "support/FileAccess.h"
#include "support/FileChooser.h"
#include "support/RunContext.h"

namespace rovanta {

namespace {
constexpr ErrorText kRows[] = {
    {0x17000001, "Internal error occured in MidiFileLoader!"},
    {0x17000002, "This is not a Midi file!"},
    {0x17000003, "Data are too large! MidiFileLoader can not load data!"},
};

bool HoldsOnlyEndOfTrack(const MidiTrackData& track)
{
    return track.Count() == 1 && track.At(0).IsEndOfTrack();
}
}  // namespace

const ErrorTable kLoaderErrors{"MDLD", kRows, "Error occured in MidiFileLoader!"};

void MidiFileLoader::ReportError(std::uint32_t code) const
{
    Report(*ctx_, kLoaderErrors, code);
}

void MidiFileLoader::AskAndLoad(FileChooser& chooser)
{
    std::string chosen;
    if (!AskOpenFileName(chooser, kOpenDefaultExtension, kSmfFilter, chosen, nullptr, nullptr)) {
        path_.clear();
        return;
    }
    Load(chosen);
}

void MidiFileLoader::Start(const std::string& path)
{
    path_ = path;
    formatData_.reset();
    song_.reset();
    fileLength_ = 0;
    reportsBeforeLoad_ = ctx_->ReportCount();
}

void MidiFileLoader::Load(const std::string& path)
{
    Start(path);
    int error = 0;
    if (!FileCanOpen(path, &error)) {
        ctx_->Show("Midiファイルが開けませんでした。" + path);
        ctx_->NoteFileError(path, error);
        return;
    }
    const std::uint32_t length = FileSizeOf(*ctx_, path);
    if (length >= kLoadLimit) {
        ReportError(mdld::kTooLarge);
        return;
    }
    fileBytes_ = AllocBlock(*ctx_, length);
    if (length > 0 && (!fileBytes_ || !ReadFileExact(*ctx_, path, fileBytes_.data(), length))) return;
    // Both readers work on this one copy of the file.
    Read({fileBytes_.data(), length});
}

void MidiFileLoader::LoadBytes(std::span<const std::uint8_t> bytes, const std::string& name)
{
    Start(name);
    if (bytes.size() >= kLoadLimit) {
        ReportError(mdld::kTooLarge);
        return;
    }
    Read(bytes);
}

void MidiFileLoader::Read(std::span<const std::uint8_t> file)
{
    const auto length = static_cast<std::uint32_t>(file.size());
    fileLength_ = length;
    probe_ = format_ = ProbeFormat(file.data(), length);
    if (format_ == 0) {
        Format0Result format0 = ReadFormat0(*ctx_, file, kCapacity);
        if (format0.song.State() == track_state::kPaired)
            formatData_ = MidiF1Data::CreateFromSong(format0.song, kCapacity);
        else if (format0.headerRefused)
            // Handed over once; the format-1 reader does not hand it back.
            formatData_ = MidiF1Data::CreateFromFile(*ctx_, file, kCapacity, false);
        format_ = 1;
    } else if (format_ == 1) {
        formatData_ = MidiF1Data::CreateFromFile(*ctx_, file, kCapacity);
    } else {
        ReportError(mdld::kNotMidi);
        ctx_->NoteFileRefused(path_, "not a Standard MIDI File");
        fileLength_ = 0;
        return;
    }
    if (!formatData_ || formatData_->TrackCount() == 0) {
        formatData_.reset();
        fileLength_ = 0;
    }
}

void MidiFileLoader::BuildSong()
{
    if (!formatData_ || formatData_->State() != track_state::kPaired) {
        ReportError(mdld::kInternalError);
        return;
    }
    song_.emplace(*ctx_, kCapacity, track_state::kPaired, 480);
    song_->division = formatData_->division;
    MergeAllTracks(formatData_->Tracks(), song_->Track());
    formatData_.reset();
    fileBytes_.Release();  // the tracks hold everything they read
    // A damaged file that left nothing but the End of Track has nothing to
    // play or save; loading it quietly would hide that the file is broken.
    // A file that really is empty loads without a report and stays loaded.
    if (ctx_->ReportCount() != reportsBeforeLoad_ && HoldsOnlyEndOfTrack(song_->Track())) {
        song_.reset();
        fileLength_ = 0;
    }
}

}  // namespace rovanta
