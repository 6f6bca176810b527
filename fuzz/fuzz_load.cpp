// libFuzzer target: arbitrary bytes as a file the user loads, through the
// load path, both reversals and the writer (LoadPath.h). The loader reads by
// path, so each input goes to a scratch memory file first (ScratchFile.h);
// that costs a few microseconds of the hundreds an input takes.
//
//   fuzz_load CORPUS_DIR fuzz/corpus           (flags: fuzz_load.options)
//   fuzz_load -minimize_crash=1 -runs=20000 -exact_artifact_path=OUT CRASH_FILE

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTarget.h"
#include "fuzz/LoadPath.h"
#include "fuzz/ScratchFile.h"

namespace {
// Keeps the report digest alive, so reading the report texts is not optimised away.
volatile std::uint64_t g_digest = 0;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static rovanta::fuzz::ScratchFile scratch;
    const std::string& path = scratch.Write({data, size});
    g_digest = rovanta::fuzz::RunLoadPath(path, [](std::string_view step, std::string_view rule) {
                   rovanta::fuzz::Trap("fuzz_load", step, rule);
               }).digest;
    return 0;
}
