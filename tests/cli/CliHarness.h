#pragma once
// What the command-line tests share: a way to run the tool in-process with
// its output captured.

#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "common/Files.h"

namespace rovanta::cli::harness {

using test::TempDir;

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// Runs `rovanta-cli ARGS...` in-process (stderr is not a terminal).
inline CliRun Cli(std::vector<std::string> args)
{
    args.insert(args.begin(), "rovanta-cli");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return {status, out.str(), err.str()};
}

}  // namespace rovanta::cli::harness
