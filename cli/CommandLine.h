#pragma once
// The command line of rovanta-cli: parses the arguments and runs the chosen
// command. Kept out of main() so tests can check usage errors and exit
// statuses without starting a process.

#include <ostream>

namespace rovanta::cli {

// Help, version and listings go to `out`, usage errors and reports to `err`.
// The exit status: 0 done, 1 nothing loaded or written or no output opened,
// 2 usage error, 130 playback stopped by Ctrl-C.
int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                   bool errIsTerminal);

}  // namespace rovanta::cli
