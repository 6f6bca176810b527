#pragma once
// Reports as lines of text, for the front ends without message boxes (the
// command-line tool, the Python module): each report is one line, and a report
// about a file is followed by a detail line naming the file and the reason,
// indented by two blanks so that scripts can tell it from the report lines.

#include <string>

#include "support/CollectingSink.h"
#include "support/Report.h"

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

}  // namespace rovanta
