#pragma once
// The state that lives for one program run: where reports go, the reader's
// running-status byte and the once-only warning flags. The GUI owns one for its
// whole run; the command-line tool makes a fresh one per input file; tests make
// their own. The window (or job) thread touches the flags, except the device
// flag, which the player thread of a start uses while the window thread waits
// for that start; the sink may be called from any thread.

#include <cstdint>
#include <string_view>

#include "support/Report.h"

namespace rovanta {

class RunContext {
public:
    explicit RunContext(ReportSink& sink) : sink_(&sink) {}
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    void Show(std::string_view text) { sink_->Show(text); }
    ReportSink& Sink() { return *sink_; }

    // Shared by every track read in this run; starts at 0, never reset.
    std::uint8_t runningStatus = 0;

    OnceFlags trackWarnings;     // MDTK once-only warnings, re-armed per chunk
    OnceFlags songWarnings;      // M0DT 04000007, re-armed per song created
    OnceFlags formatOneWarnings; // M1DT once-only codes
    OnceFlags formatOneTrackWarnings;  // M1TK codes
    OnceFlags deviceWarnings;    // MDCT "no device", never re-armed
    OnceFlags pictureWarnings;   // OSPC code 1

private:
    ReportSink* sink_;
};

}  // namespace rovanta
