#pragma once
// Reports as lines of text, for the front ends without message boxes (the
// command-line tool, the Python module): each report is one line, and a report
// about a file is followed by a detail line naming the file and the reason,
// indented by two blanks so that scripts can tell it from the report lines.

#include <string>

#include <string_view>

#include "support/CollectingSink.h"
#include "support/Report.h"
#include "support/RunContext.h"

namespace rovanta {

// "  out/x.mid: No such file or directory"
inline std::string DetailLine(const FileFailure& failure)
{
    return "  " + failure.path + ": " + failure.reason;
}

// Keeps the lines of one file's reports in the order raised, detail lines
// included, for whoever shows them later as one block.
class FileReports : public CollectingSink {
public:
    void ShowFileFailure(const FileFailure& failure) override { Show(DetailLine(failure)); }
};

// For reports nobody is left to read.
class DiscardingSink : public ReportSink {
public:
    void Show(std::string_view) override {}
};

// From the moment it goes, or Now() is called, the context's reports go
// nowhere: the release of the songs may still report (a long event, say),
// but the command's work is done and nobody is waiting for that. Declared
// right after the loader, it acts just before the loader goes.
class QuietRelease {
public:
    explicit QuietRelease(RunContext& ctx) : ctx_(&ctx) {}
    ~QuietRelease() { Now(); }
    void Now()
    {
        static DiscardingSink discard;  // outlives every context
        ctx_->SetSink(discard);
    }
    QuietRelease(const QuietRelease&) = delete;
    QuietRelease& operator=(const QuietRelease&) = delete;

private:
    RunContext* ctx_;
};

}  // namespace rovanta
