#pragma once
// The command-line tool's answers to the core's platform interfaces: reports
// become lines of text instead of message boxes, and the file dialogs answer
// with the paths given on the command line. The lines are those of
// support/ReportLines.h: a report about a file is followed by a detail line
// naming the file and the reason. A batch keeps each file's lines in a
// FileReports, so the lines of files processed in parallel never interleave.

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/FileChooser.h"
#include "support/Report.h"
#include "support/ReportLines.h"

namespace rovanta::cli {

// One line per report, written and flushed the moment it is raised, so a
// script sees a report even when the process is killed afterwards.
class StreamSink : public ReportSink {
public:
    explicit StreamSink(std::ostream& out) : out_(&out) {}
    void Show(std::string_view text) override
    {
        std::lock_guard lock(mutex_);
        *out_ << text << '\n' << std::flush;
    }
    void ShowFileFailure(const FileFailure& failure) override { Show(DetailLine(failure)); }

private:
    std::mutex mutex_;
    std::ostream* out_;
};

// Stands in for the open or save dialog: the user "chooses" the path given.
class FixedPathChooser : public FileChooser {
public:
    explicit FixedPathChooser(std::string path) : path_(std::move(path)) {}
    std::optional<FileDialogAnswer> Choose(const FileDialogRequest&) override
    {
        return FileDialogAnswer{path_, 1};
    }

private:
    std::string path_;
};

}  // namespace rovanta::cli
