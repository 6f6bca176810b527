#pragma once
// The Load command's driver: asks for a file, probes its format, has it read
// by the matching reader and builds the one-track song that Play and Save work
// on. Owns the file copy it probes, the intermediate tracks and the song.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <string>

#include "smf/MidiF1Data.h"
#include "song/MidiF0Data.h"
#include "support/MemoryBlock.h"
#include "support/Report.h"

namespace rovanta {

class FileChooser;
class RunContext;

namespace mdld {
inline constexpr std::uint32_t kInternalError = 0x17000001;
inline constexpr std::uint32_t kNotMidi = 0x17000002;
inline constexpr std::uint32_t kTooLarge = 0x17000003;
}  // namespace mdld

extern const ErrorTable kLoaderErrors;

// The largest file the loader takes is one byte below this.
inline constexpr std::uint32_t kLoadLimit = 0xF0000;

class MidiFileLoader {
public:
    explicit MidiFileLoader(RunContext& ctx) : ctx_(&ctx) {}

    // Asks with the open dialog, then loads the chosen file; a cancelled
    // dialog leaves nothing loaded and shows nothing.
    void AskAndLoad(FileChooser& chooser);
    void Load(const std::string& path);
    // Loads a file already in memory, as Load loads one read from `name`. The
    // bytes are read during the call only.
    void LoadBytes(std::span<const std::uint8_t> bytes, const std::string& name);
    // Merges the tracks read into the song; then only the song is kept. When
    // Load and the merge raised reports and the song holds nothing but its End
    // of Track, nothing is kept: the load failed (Song() null, FileLength() 0).
    void BuildSong();

    // 0 when nothing was loaded.
    std::uint32_t FileLength() const { return fileLength_; }
    MidiF0Data* Song() { return song_ ? &*song_ : nullptr; }
    // Hands the song over; nothing is loaded afterwards.
    std::optional<MidiF0Data> TakeSong() { return std::exchange(song_, std::nullopt); }
    const MidiF0Data* Song() const { return song_ ? &*song_ : nullptr; }
    const std::string& Path() const { return path_; }
    int Format() const { return format_; }
    int ProbeResult() const { return probe_; }

    void ReportError(std::uint32_t code) const;

private:
    void Start(const std::string& path);
    void Read(std::span<const std::uint8_t> file);

    RunContext* ctx_;
    std::uint32_t fileLength_ = 0;
    MemoryBlock fileBytes_;
    std::optional<MidiF1Data> formatData_;
    std::optional<MidiF0Data> song_;
    int format_ = -1;
    int probe_ = -1;
    std::string path_;
    std::uint64_t reportsBeforeLoad_ = 0;
};

}  // namespace rovanta
