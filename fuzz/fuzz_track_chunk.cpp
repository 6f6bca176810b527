// libFuzzer target: one track chunk through the reader, pairing, unpairing
// and the same-tick orders (TrackChunkPath.h describes the input).
//
//   fuzz_track_chunk CORPUS_DIR fuzz/corpus/fuzz_track_chunk   (flags: fuzz_track_chunk.options)

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTarget.h"
#include "fuzz/TrackChunkPath.h"

namespace {
volatile std::uint64_t g_digest = 0;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    g_digest = rovanta::fuzz::RunTrackChunkPath({data, size}, [](std::string_view step, std::string_view rule) {
                   rovanta::fuzz::Trap("fuzz_track_chunk", step, rule);
               }).digest;
    return 0;
}
