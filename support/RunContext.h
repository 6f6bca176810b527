#pragma once
// The state that lives for one program run: where reports go, the reader's
// running-status byte and the once-only warning flags. The GUI owns one for its
// whole run; the command-line tool makes a fresh one per input file; tests make
// their own. The window (or job) thread touches the flags, except the device
// flag, which the player thread of a start uses while the window thread waits
// for that start; the sink may be called from any thread.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "support/Report.h"

namespace rovanta {

class RunContext {
public:
    explicit RunContext(ReportSink& sink) : sink_(&sink) {}
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    void Show(std::string_view text)
    {
        reportCount_.fetch_add(1, std::memory_order_relaxed);
        sink_.load()->Show(text);
    }
    ReportSink& Sink() { return *sink_.load(); }
    // A report raised meanwhile on another thread goes to either sink, so
    // both must outlive every user of the context.
    void SetSink(ReportSink& sink) { sink_.store(&sink); }

    // Reports shown so far; a caller compares two readings to learn whether
    // an operation raised any.
    std::uint64_t ReportCount() const { return reportCount_.load(std::memory_order_relaxed); }

    // Called right after a file report: remembers which file failed and why,
    // and hands that to the sink. Thread of the load or save.
    void NoteFileError(std::string path, int error)
    {
        NoteFileFailure({std::move(path), error, std::generic_category().message(error)});
    }
    // The file was read but its content is refused.
    void NoteFileRefused(std::string path, std::string reason)
    {
        NoteFileFailure({std::move(path), 0, std::move(reason)});
    }
    const std::optional<FileFailure>& LastFileFailure() const { return lastFileFailure_; }

    // Shared by every track read in this run; starts at 0, never reset.
    std::uint8_t runningStatus = 0;

    OnceFlags trackWarnings;     // MDTK once-only warnings, re-armed per chunk
    OnceFlags songWarnings;      // M0DT 04000007, re-armed per song created
    OnceFlags formatOneWarnings; // M1DT once-only codes
    OnceFlags formatOneTrackWarnings;  // M1TK codes
    OnceFlags deviceWarnings;    // MDCT "no device", never re-armed
    OnceFlags pictureWarnings;   // OSPC code 1

private:
    void NoteFileFailure(FileFailure failure)
    {
        sink_.load()->ShowFileFailure(failure);
        lastFileFailure_ = std::move(failure);
    }

    std::atomic<ReportSink*> sink_;
    std::atomic<std::uint64_t> reportCount_{0};
    std::optional<FileFailure> lastFileFailure_;
};

}  // namespace rovanta
