#pragma once
// The command-line tool's answers to the core's platform interfaces: reports
// become lines of text instead of message boxes, and the file dialogs answer
// with the paths given on the command line. A report about a file is followed
// by a detail line naming the file and the reason, indented by two blanks so
// that scripts can tell it from the report lines.

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/CollectingSink.h"
#include "support/FileChooser.h"
#include "support/Report.h"

namespace rovanta::cli {

// "  out/x.mid: No such file or directory"
inline std::string DetailLine(const FileFailure& failure)
{
    return "  " + failure.path + ": " + failure.reason;
}

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

// Keeps the reports of one file, so a batch can print each file's reports as
// one block instead of interleaving the lines of files processed in parallel.
class FileReports : public CollectingSink {
public:
    void ShowFileFailure(const FileFailure& failure) override { Show(DetailLine(failure)); }
};

// For reports nobody is left to read.
class DiscardingSink : public ReportSink {
public:
    void Show(std::string_view) override {}
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
